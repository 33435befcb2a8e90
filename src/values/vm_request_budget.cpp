// VmRequestBudget and its scope (see header).
#include "values/vm_request_budget.hpp"

#include "values/vm_limits.hpp"

namespace veln {

VmExecutionError VmRequestBudget::error() const {
  return vm_error(std::string(failure_ == VmBudgetFailure::Work ? kVmWorkMessage : kVmMemoryMessage));
}

bool VmRequestBudget::refuse_memory() {
  fail(VmBudgetFailure::Memory);
  return false;
}

uint64_t VmRequestBudget::allowance() const {
  // A host may charge transaction sizes near 2^63: the sum saturates.
  uint64_t raw = finished_raw_;
  for (const Link* l = links_; l != nullptr; l = l->outer)
    if (l->raw_cost != nullptr) raw = vm_saturating_add(raw, *l->raw_cost);
  const uint64_t chi = raw / kVmRawCostPerChi;
  // Saturates: the budget of a chi count beyond 2^48 is unbounded anyway.
  if (chi > (UINT64_MAX - kVmBaseWorkSteps) / kVmWorkStepsPerChi) return UINT64_MAX;
  return kVmBaseWorkSteps + chi * kVmWorkStepsPerChi;
}

bool VmRequestBudget::steps_passed() {
  if (failure_ != VmBudgetFailure::None) return false;
  if (metered_) {
    step_limit_ = allowance();
    if (steps_ <= step_limit_) return true;
    fail(VmBudgetFailure::Work);
    return false;
  }
  step_limit_ = UINT64_MAX;  // unmetered: no allowance
  return true;
}

bool VmRequestBudget::steps_fit(uint64_t n) {
  if (failure_ != VmBudgetFailure::None) return false;
  if (!metered_) return true;
  if (n <= step_limit_ && steps_ <= step_limit_ - n) return true;
  step_limit_ = allowance();
  return n <= step_limit_ && steps_ <= step_limit_ - n;
}

void VmRequestBudget::fail(VmBudgetFailure failure) {
  if (failure_ == VmBudgetFailure::None) failure_ = failure;
  step_limit_ = 0;  // every further count reaches steps_passed, which refuses
  memory_limit_ = 0;
  for (Link* l = links_; l != nullptr; l = l->outer)
    if (l->charge_limit != nullptr) *l->charge_limit = 0;
}

void VmRequestBudget::attach(Link& link) {
  link.outer = links_;
  links_ = &link;
  if (failure_ != VmBudgetFailure::None && link.charge_limit != nullptr) *link.charge_limit = 0;
}

void VmRequestBudget::detach(Link& link) {
  // Links leave in the reverse order of their arrival.
  if (link.raw_cost != nullptr) finished_raw_ = vm_saturating_add(finished_raw_, *link.raw_cost);
  links_ = link.outer;
}

VmRequestBudgetScope::VmRequestBudgetScope(bool metered)
    : own_(metered), budget_(detail::tl_request_budget != nullptr ? detail::tl_request_budget : &own_),
      outer_(detail::tl_request_budget) {
  detail::tl_request_budget = budget_;
}

VmRequestBudgetScope::~VmRequestBudgetScope() {
  leave();
  detail::tl_request_budget = outer_;
}

void VmRequestBudgetScope::join(const uint64_t* raw_cost, uint64_t* charge_limit) {
  if (joined_) return;
  link_.raw_cost = raw_cost;
  link_.charge_limit = charge_limit;
  budget_->attach(link_);
  joined_ = true;
}

void VmRequestBudgetScope::leave() {
  if (!joined_) return;
  budget_->detach(link_);
  joined_ = false;
}

}  // namespace veln
