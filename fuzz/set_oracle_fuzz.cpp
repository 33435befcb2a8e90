// The differential of set_differential.hpp driven by the fuzzer's bytes: the
// bytes choose the round's values, sets and calls, and every outcome of the
// engine must equal the reference's. A disagreement is printed and aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "../tests/cpp/support/set_differential.hpp"
#include "fuzz_input.hpp"

namespace {

class ByteChoices : public veln::set_differential::Choices {
 public:
  explicit ByteChoices(FuzzInput in) : in_(in) {}
  uint32_t next() override { return in_.byte() | static_cast<uint32_t>(in_.byte()) << 8; }
  bool spent() const override { return in_.n == 0; }

 private:
  FuzzInput in_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteChoices choices(FuzzInput{data, size});
  const auto faults = veln::set_differential::Round(choices).run(24);
  for (const std::string& fault : faults) std::fprintf(stderr, "%s\n", fault.c_str());
  if (!faults.empty()) std::abort();
  return 0;
}
