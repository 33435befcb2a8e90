// The engine's version tags and the execution policies it supports, as the
// host reads them: the runtime-information JSON text and the policy check.
// Pure data and string work: no Python, no allocation beyond the result text.
#pragma once

#include <string>
#include <string_view>

#include "lib/version_tags.hpp"

namespace veln {

inline constexpr std::string_view kBytecodeVersion = "vvm-1";
inline constexpr std::string_view kGasSchedule = "vvm-gas-1";

// One compact JSON object (no whitespace, keys in ascending byte order) naming
// the version tags, the supported bytecode versions and gas schedules.
std::string runtime_info_json_text();

// True exactly for the one supported pair, compared byte for byte.
bool supports_execution_policy(std::string_view bytecode_version, std::string_view gas_schedule);

}  // namespace veln
