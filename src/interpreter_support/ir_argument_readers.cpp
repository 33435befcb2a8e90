// IR field and call-argument readers. The messages are part of the
// contract-visible behaviour; each reader reports exactly one of them and
// never modifies the JSON tree or the arguments.
#include "interpreter_support/ir_argument_readers.hpp"

#include "values/bigint.hpp"

namespace veln {
namespace {

VmExecutionError field_error(std::string_view key, std::string_view what) {
  std::string message = "field '";
  message.append(key);
  message += "' must be ";
  message.append(what);
  return vm_error(std::move(message));
}

// Base-10 integer text: optional sign, a digit, then digits or "_". Returns
// false on any other shape.
bool parse_integer_text(std::string_view text, mpz_class& out) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
  std::string digits;
  digits.reserve(text.size() - i + 1);
  if (negative) digits += '-';
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digits += c;
    } else if (c != '_') {
      return false;
    }
  }
  // Only validated digits reach GMP, so its white-space skipping never applies.
  return out.set_str(digits, 10) == 0;
}

}  // namespace

VmResult<const JsonValue*> required_value(const JsonValue& object, std::string_view key) {
  const JsonValue* v = object.find(key);
  if (v == nullptr) {
    std::string message = "missing field '";
    message.append(key);
    message += '\'';
    return vm_error(std::move(message));
  }
  return v;
}

VmResult<std::string_view> required_string(const JsonValue& object, std::string_view key) {
  const JsonText* s = object.find_string(key);
  if (s == nullptr) return field_error(key, "a string");
  return std::string_view(*s);
}

VmResult<std::span<const JsonValue>> required_array(const JsonValue& object, std::string_view key) {
  const JsonValue::Array* a = object.find_array(key);
  if (a == nullptr) return field_error(key, "an array");
  return std::span<const JsonValue>(*a);
}

VmResult<double> required_f64(const JsonValue& object, std::string_view key) {
  const JsonValue* v = object.find(key);
  if (v != nullptr) {
    switch (v->kind()) {
      case JsonKind::u64:
        return static_cast<double>(v->as_u64());
      case JsonKind::i64:
        return static_cast<double>(v->as_i64());
      case JsonKind::f64:
        return v->as_f64();
      default:
        break;
    }
  }
  return field_error(key, "a float");
}

VmResult<mpz_class> required_bigint(const JsonValue& object, std::string_view key) {
  const JsonValue* v = object.find(key);
  if (v != nullptr) {
    switch (v->kind()) {
      case JsonKind::u64: {
        static_assert(sizeof(unsigned long) == sizeof(std::uint64_t), "GMP's unsigned long must hold 64 bits");
        return mpz_class(static_cast<unsigned long>(v->as_u64()));
      }
      case JsonKind::i64: {
        mpz_class out;
        bigint_set_i64(out, v->as_i64());
        return out;
      }
      case JsonKind::string: {
        mpz_class out;
        if (parse_integer_text(v->as_string(), out)) return out;
        break;
      }
      default:  // a double's text always has a point or an exponent
        break;
    }
  }
  return field_error(key, "an int");
}

std::optional<std::string_view> optional_string(const JsonValue& object, std::string_view key) {
  const JsonText* s = object.find_string(key);
  if (s == nullptr) return std::nullopt;
  return std::string_view(*s);
}

VmResult<const JsonValue*> as_object(const JsonValue& value, std::string_view label) {
  if (value.is_object()) return &value;
  std::string message(label);
  message += " must be an object, got ";
  value.append_compact_json(message);
  return vm_error(std::move(message));
}

VmResult<std::vector<std::string_view>> as_string_list(const VmValue& value, std::string_view label) {
  if (value.is(VmKind::List) || value.is(VmKind::Tuple)) {
    std::vector<std::string_view> out;
    out.reserve(value.item_count());
    bool all_str = true;
    for (const VmValue& item : value.items()) {
      if (!item.is(VmKind::String)) {
        all_str = false;
        break;
      }
      out.push_back(item.text());
    }
    if (all_str) return out;
  }
  std::string message(label);
  message += " must be a list of strings";
  return vm_error(std::move(message));
}

const VmValue* find_keyword(VmKeywordArgs kwargs, std::string_view name) {
  for (const VmKeywordArg& kw : kwargs) {
    if (kw.name == name) return &kw.value;
  }
  return nullptr;
}

VmResult<std::optional<int64_t>> optional_positional_or_keyword_i64(VmPositionalArgs args, VmKeywordArgs kwargs,
                                                                    std::size_t index, std::string_view name) {
  const VmValue* v = index < args.size() ? &args[index] : find_keyword(kwargs, name);
  if (v == nullptr) return std::optional<int64_t>();
  VELN_TRY(int64_t i, v->as_i64());
  return std::optional<int64_t>(i);
}

VmResult<int64_t> positional_or_keyword_i64(VmPositionalArgs args, VmKeywordArgs kwargs, std::size_t index,
                                            std::string_view name) {
  VELN_TRY(std::optional<int64_t> v, optional_positional_or_keyword_i64(args, kwargs, index, name));
  if (!v) {
    std::string message = "missing required argument '";
    message.append(name);
    message += '\'';
    return vm_error(std::move(message));
  }
  return *v;
}

VmStatus expect_positional_count(VmPositionalArgs args, VmKeywordArgs kwargs, std::size_t count,
                                 std::string_view arity_message) {
  if (!kwargs.empty() || args.size() != count) return vm_error(std::string(arity_message));
  return Ok{};
}

VmResult<std::string_view> string_arg(const VmValue& value) {
  if (!value.is(VmKind::String)) {
    std::string message = "expected string value, got ";
    message.append(value.type_name());
    return vm_error(std::move(message));
  }
  return value.text();
}

VmResult<std::string> resolve_contract_import_arg(VmPositionalArgs args, VmKeywordArgs kwargs) {
  const VmValue* v = find_keyword(kwargs, "module");
  if (v == nullptr) v = find_keyword(kwargs, "name");
  if (v == nullptr) {
    if (args.empty()) return vm_error("contract.import expects a module name");
    v = &args.front();
  }
  VELN_TRY(std::string_view name, string_arg(*v));
  return std::string(name);
}

VmValue option_string_value(const std::optional<std::string>& text) {
  return text ? VmValue::str(*text) : VmValue::none();
}

VmResult<VmValue> option_entry_value(const std::optional<std::pair<std::string, std::string>>& entry) {
  if (!entry) return VmValue::none();
  std::vector<VmValue> items;
  items.reserve(2);
  VELN_TRY(VmValue module, VmValue::make_str(entry->first));
  VELN_TRY(VmValue function, VmValue::make_str(entry->second));
  items.push_back(std::move(module));
  items.push_back(std::move(function));
  return VmValue::make_tuple(std::move(items));
}

}  // namespace veln
