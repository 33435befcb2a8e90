// Assignment write-back and destructuring (see header).
#include "interpreter/target_ops.hpp"

#include <string>

#include "interpreter_support/subscripts.hpp"

namespace veln {
namespace {

// Cell positions of level j (1-based) of a resolved target.
size_t index_cell(const TargetSite& site, uint32_t level) { return (site.root_cell ? 1 : 0) + 2 * (level - 1); }
size_t current_cell(const TargetSite& site, uint32_t level) { return index_cell(site, level) + 1; }

// Replaces container[index] by None when the position exists, so the value
// taken from there is no longer shared with the container.
void detach_item(VmValue& container, const VmValue& index) {
  if (container.is(VmKind::List)) {
    if (!index.is(VmKind::Int) || !index.int_is_small()) return;
    int64_t at = index.small_int();
    const int64_t count = static_cast<int64_t>(container.item_count());
    if (at < 0) at += count;
    if (at < 0 || at >= count) return;
    (void)container.seq_set(static_cast<size_t>(at), VmValue());
  } else if (container.is(VmKind::Dict)) {
    if (const std::optional<size_t> at = container.dict_find_structural(index)) {
      (void)container.dict_set_value(*at, VmValue());
    }
  }
}

}  // namespace

bool writes_module_scope(VmRun& run, const TargetSite& site, const Slot* slots) {
  if (!site.root_is_name) return false;
  return !slots[site.slot].bound && run.instance.globals[site.global].bound;
}

void detach_resolved(VmRun& run, const TargetSite& site, VmValue* cells, Slot* slots, bool module_scope) {
  if (!site.root_is_name || !site.root_cell) return;
  Slot& root = module_scope ? run.instance.globals[site.global] : slots[site.slot];
  if (root.bound) root.value = VmValue();
  for (uint32_t level = 1; level <= site.levels; ++level) {
    VmValue& container = level == 1 ? cells[0] : cells[current_cell(site, level - 1)];
    detach_item(container, cells[index_cell(site, level)]);
  }
}

VmStatus store_resolved(VmRun& run, const LoweredCode& code, const TargetSite& site, VmValue* cells, VmValue value,
                        Slot* slots, bool module_scope) {
  detach_resolved(run, site, cells, slots, module_scope);
  for (uint32_t level = site.levels; level >= 1; --level) {
    VmValue& container = level == 1 ? cells[0] : cells[current_cell(site, level - 1)];
    if (container.is(VmKind::ForeignStorageRef)) return vm_error("cannot write to foreign storage");
    VELN_TRY(value, assign_subscript(std::move(container), cells[index_cell(site, level)], std::move(value)));
  }
  if (!site.root_is_name) return vm_error(code.texts[site.unsupported_text]);
  Slot& root = module_scope ? run.instance.globals[site.global] : slots[site.slot];
  root.value = std::move(value);
  root.bound = true;
  return Ok{};
}

VmStatus check_destructurable(const VmValue& value) {
  if (value.is(VmKind::List) || value.is(VmKind::Tuple)) return Ok{};
  return vm_error("cannot destructure " + std::string(value.type_name()));
}

VmStatus unpack_value(const VmValue& value, uint32_t n, VmValue* out) {
  VELN_CHECK(check_destructurable(value));
  const auto items = value.items();
  if (items.size() != n) return vm_error("destructuring target count does not match value length");
  for (uint32_t i = 0; i < n; ++i) out[n - 1 - i] = items[i];
  return Ok{};
}

}  // namespace veln
