// Runtime information and the execution policy: the cases of
// bridge/runtime_info.cases.
#include "python_bindings/runtime_info/runtime_info.hpp"

#include <gtest/gtest.h>

#include "case_file.hpp"

namespace veln {
namespace {

using namespace cases;

TEST(RuntimeInfo, Cases) {
  run_case_file("bridge/runtime_info.cases",
                {
                    {"runtime_info", [](const Case&) { return outcome(runtime_info_json_text()); }},
                    {"policy", [](const Case& c) { return outcome(supports_execution_policy(c[0].text(), c[1].text())); }},
                });
}

}  // namespace
}  // namespace veln
