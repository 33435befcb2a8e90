// VmTimeDelta: a signed 64-bit count of seconds, the duration of contract
// code, with its checked arithmetic and its text ("1 day, 2:03:04",
// "-0:00:05"). Whole seconds only; there is no sub-second part and no day
// field. Must not depend on VmValue.
#pragma once

#include <compare>
#include <cstdint>
#include <string>

#include "values/vm_execution_error.hpp"

namespace veln {

struct VmTimeDelta {
  int64_t raw_seconds = 0;

  // Checked on signed 64-bit overflow: "timedelta overflow".
  static VmResult<VmTimeDelta> add(VmTimeDelta a, VmTimeDelta b);
  static VmResult<VmTimeDelta> sub(VmTimeDelta a, VmTimeDelta b);
  static VmResult<VmTimeDelta> mul(VmTimeDelta a, int64_t factor);

  // Text: sign, then days ("1 day, " / "N days, ") and h:mm:ss of the
  // magnitude; the most negative value has no positive counterpart and is
  // laid out from its unsigned magnitude.
  std::string to_string() const;
  void append_text(std::string& out) const;
  // Field form of the record: "VmTimeDelta { raw_seconds: 5 }".
  void append_diagnostic(std::string& out) const;

  friend bool operator==(VmTimeDelta, VmTimeDelta) = default;
  friend auto operator<=>(VmTimeDelta, VmTimeDelta) = default;
};

}  // namespace veln
