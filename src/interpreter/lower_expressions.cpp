// Lowering of expression nodes: the price of each kind (charged before the
// node's own work, or a Fail before any charge when the price cannot be
// computed) and the code of every kind evaluated in place. Names, calls and
// comprehensions have their own files.
#include <array>
#include <string>

#include "interpreter/constants.hpp"
#include "interpreter/host_bindings.hpp"
#include "interpreter/lowering.hpp"
#include "interpreter_support/ir_argument_readers.hpp"

namespace veln {
namespace {

// Nesting beyond what a module IR document can hold (127 JSON levels) only
// comes from trees built in memory; lowering refuses it instead of recursing.
constexpr uint32_t kMaxLoweringNesting = 1024;

constexpr std::array<uint64_t, kExpressionKindCount> kFixedPrices = {
    kNameReadPrice,
    kConstantPrice,
    128,   // list
    128,   // tuple
    608,   // dict
    5000,  // call
    96,    // attribute
    96,    // subscript
    96,    // slice
    0,     // compare: by operators
    0,     // bool_op: by values
    64,    // unary_op
    96,    // bin_op
    96,    // if_expr
    224,   // list_comp
    288,   // dict_comp
    0,     // f_string: by values
    96,    // formatted_value
    1280,  // storage_get
};

uint64_t count_price(size_t count) { return 96 * static_cast<uint64_t>(count > 1 ? count : 1); }

// The price of a node whose kind is known, or the price error.
VmResult<uint64_t> expression_price(ExpressionKind kind, const JsonValue& node) {
  switch (kind) {
    case ExpressionKind::Compare: {
      const JsonValue::Array* ops = node.find_array("operators");
      if (ops == nullptr) return vm_error(array_field_message("operators"));
      return count_price(ops->size());
    }
    case ExpressionKind::BoolOp: {
      const JsonValue::Array* values = node.find_array("values");
      if (values == nullptr) return vm_error(array_field_message("values"));
      return count_price(values->size() > 0 ? values->size() - 1 : 0);
    }
    case ExpressionKind::FString: {
      const JsonValue::Array* values = node.find_array("values");
      if (values == nullptr) return vm_error(array_field_message("values"));
      return count_price(values->size());
    }
    default:
      return kFixedPrices[static_cast<size_t>(kind)];
  }
}

class ExpressionLowering {
 public:
  ExpressionLowering(Lowerer& l, const JsonValue& node, uint64_t price)
      : l_(l), node_(node), price_(price), base_(l.depth()) {}

  // Ends the node with a deferred error after what was emitted so far.
  void fail(std::string message) {
    l_.fail(std::move(message));
    done();
  }
  void done() { l_.set_depth(base_ + 1); }
  void charge() { l_.emit(Op::Charge, 0, price_); }
  // A required member evaluated as an expression; false after a Fail.
  bool operand(std::string_view key) {
    if (l_.member_expression(node_, key)) return true;
    fail(missing_field_message(key));
    return false;
  }

  void name() {
    const JsonText* id = node_.find_string("id");
    if (id == nullptr) {
      charge();
      return fail(string_field_message("id"));
    }
    l_.emit(Op::LoadName, l_.name_site(*id, &node_), price_);
    l_.push();
  }

  void constant() {
    VmResult<VmValue> value = eval_constant(node_);
    if (!value.ok()) {
      charge();
      return fail(value.error().message);
    }
    l_.emit(Op::LoadConst, l_.constant(std::move(value).value()), price_);
    l_.push();
  }

  void sequence(Op build) {
    charge();
    const JsonValue::Array* elements = node_.find_array("elements");
    if (elements == nullptr) return fail(array_field_message("elements"));
    for (const JsonValue& element : *elements) l_.expression(element);
    l_.emit(build, static_cast<uint32_t>(elements->size()));
    l_.set_depth(base_);
    l_.push();
  }

  void dict() {
    charge();
    const JsonValue::Array* entries = node_.find_array("entries");
    if (entries == nullptr) return fail(array_field_message("entries"));
    // The entry count sizes the new dict: its pairs are then never moved.
    l_.emit(Op::NewDict, static_cast<uint32_t>(entries->size()));
    l_.push();
    for (const JsonValue& entry : *entries) {
      if (!entry.is_object()) return fail(object_message(entry, "dict entry"));
      if (const JsonValue* unpack = entry.find("unpack")) {
        l_.expression(*unpack);
        l_.emit(Op::DictUnpack);
        l_.pop();
        continue;
      }
      const JsonValue* key = entry.find("key");
      if (key == nullptr) return fail(missing_field_message("key"));
      l_.expression(*key);
      const JsonValue* value = entry.find("value");
      if (value == nullptr) return fail(missing_field_message("value"));
      l_.expression(*value);
      l_.emit(Op::DictAppend);
      l_.pop(2);
    }
  }

  void attribute() {
    charge();
    if (const JsonText* binding = node_.find_string("host_binding_id")) return host_attribute(*binding);
    ordinary_attribute();
  }

  void ordinary_attribute() {
    if (!operand("value")) return;
    const JsonText* attr = node_.find_string("attr");
    if (attr == nullptr) return fail(string_field_message("attr"));
    l_.emit(Op::Attribute, l_.text(*attr));
    l_.set_depth(base_ + 1);
  }

  // The attribute chain is walked to its root name; a root bound in the
  // locals or module globals makes this an ordinary attribute.
  void host_attribute(const std::string& binding) {
    HostAttrSite site;
    const JsonValue* step = node_.find("value");
    if (step == nullptr) return fail(missing_field_message("value"));
    while (true) {
      if (!step->is_object()) return fail(object_message(*step, "expression"));
      const JsonText* kind = node_kind(*step);
      if (kind == nullptr) return fail(string_field_message("node"));
      if (*kind != "attribute" && *kind != "subscript") break;
      step = step->find("value");
      if (step == nullptr) return fail(missing_field_message("value"));
    }
    if (*node_kind(*step) == "name") {
      const JsonText* id = step->find_string("id");
      if (id == nullptr) return fail(string_field_message("id"));
      site.root_is_name = true;
      site.slot = l_.read_slot(*id);
      site.global = l_.module().names.intern(*id);
    }
    if (const std::optional<HostBindingId> id = host_binding_from_id(binding)) {
      site.binding_ok = true;
      site.binding = static_cast<uint32_t>(*id);
    } else {
      site.binding_error = l_.text(unsupported_host_binding_message(binding));
    }
    l_.code().host_attrs.push_back(site);
    const uint32_t check = l_.emit(Op::HostAttribute, static_cast<uint32_t>(l_.code().host_attrs.size() - 1));
    if (site.root_is_name) ordinary_attribute();
    l_.code().instrs[check].b = l_.here();
    l_.mark_target(l_.here());
    done();
  }

  void subscript() {
    charge();
    if (!operand("value")) return;
    const JsonValue* slice = node_.find("slice");
    if (slice == nullptr) return fail(missing_field_message("slice"));
    if (slice->is_object() && slice->contains("node")) {
      const JsonText* kind = node_kind(*slice);
      if (kind == nullptr) return fail(string_field_message("node"));
      if (*kind == "slice") return slice_read(*slice);
    }
    l_.expression(*slice);
    l_.emit(Op::Subscript);
    l_.set_depth(base_ + 1);
  }

  void slice_read(const JsonValue& slice) {
    uint8_t mask = 0;
    static constexpr std::array<std::string_view, 3> kBounds = {"lower", "upper", "step"};
    for (size_t i = 0; i < kBounds.size(); ++i) {
      const JsonValue* bound = slice.find(kBounds[i]);
      if (bound == nullptr || bound->is_null()) continue;
      l_.expression(*bound);
      l_.emit(Op::SliceBound);
      mask = static_cast<uint8_t>(mask | (1u << i));
    }
    l_.emit(Op::SliceSubscript, 0, 0, mask);
    l_.set_depth(base_ + 1);
  }

  void compare() {
    charge();
    if (!operand("left")) return;
    const JsonValue::Array& ops = *node_.find_array("operators");
    const JsonValue::Array* comparators = node_.find_array("comparators");
    if (comparators == nullptr) return fail(array_field_message("comparators"));
    if (comparators->size() != ops.size()) return fail("compare operator/comparator count mismatch");
    if (ops.empty()) {
      l_.emit(Op::Pop);
      l_.emit(Op::PushBool, 0, 0, 1);
      return done();
    }
    std::vector<uint32_t> false_exits;
    for (size_t i = 0; i < ops.size(); ++i) {
      l_.expression((*comparators)[i]);
      if (!ops[i].is_string()) return fail("value must be a string");
      const bool last = i + 1 == ops.size();
      const std::optional<CompareOperator> op = compare_operator_from_name(ops[i].as_string());
      if (op) {
        const uint32_t at = l_.emit(last ? Op::CompareLast : Op::Compare, 0, 0, static_cast<uint8_t>(*op));
        if (!last) false_exits.push_back(at);
      } else {
        const uint32_t at = l_.emit(last ? Op::CompareLastNamed : Op::CompareNamed, 0, l_.text(ops[i].as_string()));
        if (!last) false_exits.push_back(at);
      }
      l_.pop();
    }
    for (uint32_t at : false_exits) l_.patch(at, l_.here());
    done();
  }

  void bool_op() {
    charge();
    const JsonText* op = node_.find_string("operator");
    if (op == nullptr) return fail(string_field_message("operator"));
    const JsonValue::Array& values = *node_.find_array("values");
    const std::optional<BoolOperator> kind = bool_operator_from_name(*op);
    if (!kind) return fail("unsupported bool operator '" + op->str() + "'");
    const bool is_or = *kind == BoolOperator::Or;
    if (values.empty()) {
      l_.emit(Op::PushBool, 0, 0, is_or ? 0 : 1);
      return done();
    }
    std::vector<uint32_t> exits;
    for (size_t i = 0; i < values.size(); ++i) {
      l_.expression(values[i]);
      if (i + 1 < values.size()) {
        exits.push_back(l_.emit(is_or ? Op::JumpIfTrueOrPop : Op::JumpIfFalseOrPop));
        l_.pop();
      }
    }
    for (uint32_t at : exits) l_.patch(at, l_.here());
    done();
  }

  void unary_op() {
    charge();
    if (!operand("operand")) return;
    const JsonText* op = node_.find_string("operator");
    if (op == nullptr) return fail(string_field_message("operator"));
    if (const std::optional<UnaryOperator> kind = unary_operator_from_name(*op)) {
      l_.emit(Op::Unary, 0, 0, static_cast<uint8_t>(*kind));
    } else {
      l_.emit(Op::UnaryNamed, l_.text(*op));
    }
    done();
  }

  void bin_op() {
    charge();
    if (!operand("left")) return;
    if (!operand("right")) return;
    const JsonText* op = node_.find_string("operator");
    if (op == nullptr) return fail(string_field_message("operator"));
    if (l_.release_before_binary == &node_) l_.emit(Op::ReleaseLocal, l_.release_slot);
    if (const std::optional<BinaryOperator> kind = binary_operator_from_name(*op)) {
      l_.emit(Op::Binary, 0, 0, static_cast<uint8_t>(*kind));
    } else {
      l_.emit(Op::BinaryNamed, l_.text(*op));
    }
    done();
  }

  void if_expr() {
    charge();
    if (!operand("test")) return;
    const uint32_t to_else = l_.emit(Op::JumpIfFalse);
    l_.pop();
    const JsonValue* body = node_.find("body");
    if (body == nullptr) {
      l_.fail(missing_field_message("body"));
    } else {
      l_.expression(*body);
    }
    const uint32_t to_end = l_.emit(Op::Jump);
    l_.patch(to_else, l_.here());
    l_.set_depth(base_);
    const JsonValue* orelse = node_.find("orelse");
    if (orelse == nullptr) {
      l_.fail(missing_field_message("orelse"));
    } else {
      l_.expression(*orelse);
    }
    l_.patch(to_end, l_.here());
    done();
  }

  void f_string() {
    charge();
    const JsonValue::Array& values = *node_.find_array("values");
    for (const JsonValue& value : values) l_.expression(value);
    l_.emit(Op::FString, static_cast<uint32_t>(values.size()));
    done();
  }

  void formatted_value() {
    charge();
    if (node_.find_string("conversion") != nullptr) {
      return fail("f-string conversions are not supported in veln-vm-core");
    }
    const JsonValue* spec = node_.find("format_spec");
    if (spec != nullptr && !spec->is_null()) {
      return fail("f-string format specifications are not supported in veln-vm-core");
    }
    if (!operand("value")) return;
    l_.emit(Op::FormatValue);
    done();
  }

  void storage_get() {
    charge();
    const JsonText* binding = node_.find_string("binding");
    if (binding == nullptr) return fail(string_field_message("binding"));
    if (!operand("key")) return;
    l_.emit(Op::StorageGet, l_.text(*binding), l_.storage_binding(*binding));
    done();
  }

  void slice() {
    charge();
    fail("slice expressions are only supported as subscripts");
  }

 private:
  Lowerer& l_;
  const JsonValue& node_;
  uint64_t price_;
  uint32_t base_;
};

}  // namespace

std::optional<EventFieldKeys> Lowerer::event_field_values(const JsonValue& display) {
  if (!display.is_object() || nesting_ + 2 >= kMaxLoweringNesting) return std::nullopt;
  const JsonText* kind = node_kind(display);
  if (kind == nullptr || expression_kind_from_name(*kind) != ExpressionKind::Dict) return std::nullopt;
  const JsonValue::Array* entries = display.find_array("entries");
  if (entries == nullptr || entries->empty() || entries->size() > kMaxEventFieldKeys) return std::nullopt;
  std::vector<VmValue> keys;
  for (const JsonValue& entry : *entries) {
    if (!entry.is_object() || entry.find("unpack") != nullptr || entry.find("value") == nullptr) return std::nullopt;
    const JsonValue* key = entry.find("key");
    if (key == nullptr || !key->is_object()) return std::nullopt;
    const JsonText* key_kind = node_kind(*key);
    if (key_kind == nullptr || expression_kind_from_name(*key_kind) != ExpressionKind::Constant) return std::nullopt;
    VmResult<VmValue> value = eval_constant(*key);
    if (!value.ok() || !value->is(VmKind::String)) return std::nullopt;
    for (const VmValue& earlier : keys) {
      if (earlier.text() == value->text()) return std::nullopt;
    }
    keys.push_back(std::move(value).value());
  }
  EventFieldKeys out{static_cast<uint32_t>(code_.constants.size()), static_cast<uint8_t>(keys.size())};
  for (VmValue& key : keys) constant(std::move(key));
  // The display's own price; then per entry the key's price (with, from the
  // second entry on, the limits of the dict so far checked first), then the
  // value at the display's nesting.
  const uint64_t key_price = kFixedPrices[static_cast<size_t>(ExpressionKind::Constant)];
  emit(Op::Charge, 0, kFixedPrices[static_cast<size_t>(ExpressionKind::Dict)]);
  ++nesting_;
  for (uint32_t i = 0; i < entries->size(); ++i) {
    if (i == 0) {
      emit(Op::Charge, 0, key_price);
    } else {
      emit(Op::EventFieldKey, out.first, key_price, static_cast<uint8_t>(i));
    }
    expression(*(*entries)[i].find("value"));
  }
  --nesting_;
  return out;
}

void Lowerer::expression(const JsonValue& node) {
  const uint32_t base = depth_;
  if (nesting_ >= kMaxLoweringNesting) {
    fail("recursion limit exceeded");
    set_depth(base + 1);
    return;
  }
  ++nesting_;
  struct Unnest {
    uint32_t& n;
    ~Unnest() { --n; }
  } unnest{nesting_};

  if (!node.is_object()) {
    fail(object_message(node, "expression"));
    return set_depth(base + 1);
  }
  const JsonText* kind_text = node_kind(node);
  if (kind_text == nullptr) {
    fail(string_field_message("node"));
    return set_depth(base + 1);
  }
  const std::optional<ExpressionKind> kind = expression_kind_from_name(*kind_text);
  if (!kind) {
    fail("unsupported expression node '" + kind_text->str() + "'");
    return set_depth(base + 1);
  }
  VmResult<uint64_t> price = expression_price(*kind, node);
  if (!price.ok()) {
    fail(price.error().message);
    return set_depth(base + 1);
  }
  ExpressionLowering e(*this, node, *price);
  switch (*kind) {
    case ExpressionKind::Name: e.name(); break;
    case ExpressionKind::Constant: e.constant(); break;
    case ExpressionKind::List: e.sequence(Op::BuildList); break;
    case ExpressionKind::Tuple: e.sequence(Op::BuildTuple); break;
    case ExpressionKind::Dict: e.dict(); break;
    case ExpressionKind::Call:
      e.charge();
      call(node);
      break;
    case ExpressionKind::Attribute: e.attribute(); break;
    case ExpressionKind::Subscript: e.subscript(); break;
    case ExpressionKind::Slice: e.slice(); break;
    case ExpressionKind::Compare: e.compare(); break;
    case ExpressionKind::BoolOp: e.bool_op(); break;
    case ExpressionKind::UnaryOp: e.unary_op(); break;
    case ExpressionKind::BinOp: e.bin_op(); break;
    case ExpressionKind::IfExpr: e.if_expr(); break;
    case ExpressionKind::ListComp:
      e.charge();
      list_comprehension(node);
      break;
    case ExpressionKind::DictComp:
      e.charge();
      dict_comprehension(node);
      break;
    case ExpressionKind::FString: e.f_string(); break;
    case ExpressionKind::FormattedValue: e.formatted_value(); break;
    case ExpressionKind::StorageGet: e.storage_get(); break;
  }
  set_depth(base + 1);
}

}  // namespace veln
