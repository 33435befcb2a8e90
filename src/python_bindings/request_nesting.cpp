// RequestNesting (see header): the thread's innermost request.
#include "python_bindings/request_nesting.hpp"

namespace veln {
namespace {

// The one piece of per-thread state of the bridge. A request started from
// a host method reaches the engine through Python with nothing that links
// it to the request whose host method runs, yet the calls it may make
// depend on the calls active on that thread: only the thread itself can
// say which request is its innermost. The pointer is set and put back by
// RequestNesting only, strictly nested, so every exit of a request (a
// failure, an exception raised by host code, a conversion refused)
// restores the outer request's place; a thread that runs no request holds
// nullptr.
thread_local RequestNesting* innermost_request = nullptr;

}  // namespace

RequestNesting::RequestNesting()
    : outer_(innermost_request), calls_before_(outer_ != nullptr ? outer_->active_calls() : 0) {
  innermost_request = this;
}

RequestNesting::~RequestNesting() { innermost_request = outer_; }

}  // namespace veln
