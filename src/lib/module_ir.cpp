// Reading of the module IR records straight from the text: one table of
// fields per record drives both the object form (members in text order,
// unknown ones skipped, repeats refused as soon as the key is read) and the
// array form (fields in declaration order). Nothing here validates values.
#include "lib/module_ir.hpp"

#include <array>

#include "lib/json_reader.hpp"
#include "lib/key_bytes.hpp"

namespace veln {
namespace {

template <class R>
struct FieldSpec {
  std::string_view key;
  bool optional;  // may be missing from the object form
  JsonReadStatus (*read)(JsonReader&, R&);
};

template <class R, size_t N>
struct RecordSpec {
  std::string_view name;
  std::array<FieldSpec<R>, N> fields;
};

// Fills `record` (default-constructed) in place.
template <class R, size_t N>
JsonReadStatus read_record(JsonReader& r, const RecordSpec<R, N>& spec, R& record) {
  static_assert(N <= 32, "field bitmask");
  const int c = r.peek_after_whitespace();
  if (c < 0) return r.error_at_peek("EOF while parsing a value");
  if (c != '{' && c != '[') return r.invalid_type_here("struct " + std::string(spec.name));
  VELN_CHECK(r.enter_level());
  r.eat();
  bool first = true;
  if (c == '[') {
    for (size_t i = 0; i < N; ++i) {
      VELN_TRY(const bool more, r.has_next_element(first));
      if (!more) {
        r.eat();  // the ']' just seen
        return r.error_here("invalid length " + std::to_string(i) + ", expected struct " + std::string(spec.name) +
                            " with " + std::to_string(N) + " elements");
      }
      VELN_CHECK(spec.fields[i].read(r, record));
    }
    VELN_CHECK(r.end_array());
    r.leave_level();
    return Ok{};
  }
  std::uint32_t seen = 0;
  // Writers put the fields in declaration order: the one after the last
  // field read is tried first, and a full search is made only when it fails.
  size_t expected = 0;
  for (;;) {
    std::string_view key;
    VELN_TRY(const bool more, r.next_key(first, key));
    if (!more) break;
    size_t idx = N;
    if (expected < N && same_key_bytes(spec.fields[expected].key, key)) {
      idx = expected;
    } else {
      for (size_t i = 0; i < N; ++i) {
        if (same_key_bytes(spec.fields[i].key, key)) {
          idx = i;
          break;
        }
      }
    }
    expected = idx + 1;
    if (idx == N) {
      VELN_CHECK(r.expect_colon());
      VELN_CHECK(r.skip_value());
      continue;
    }
    const std::uint32_t bit = std::uint32_t{1} << idx;
    if ((seen & bit) != 0) return r.error_here("duplicate field `" + std::string(key) + "`");  // just after the key
    seen |= bit;
    VELN_CHECK(r.expect_colon());
    VELN_CHECK(spec.fields[idx].read(r, record));
  }
  r.eat();  // the '}' just seen
  for (size_t i = 0; i < N; ++i) {
    if ((seen & (std::uint32_t{1} << i)) == 0 && !spec.fields[i].optional) {
      return r.error_here("missing field `" + std::string(spec.fields[i].key) + "`");
    }
  }
  r.leave_level();
  return Ok{};
}

// Elements are built in place (a moved record or JsonValue is not free):
// read_into(reader, slot) fills a default-constructed slot.
template <class T, class ReadInto>
JsonReadStatus read_sequence(JsonReader& r, std::vector<T>& out, ReadInto read_into) {
  const int c = r.peek_after_whitespace();
  if (c < 0) return r.error_at_peek("EOF while parsing a value");
  if (c != '[') return r.invalid_type_here("a sequence");
  VELN_CHECK(r.enter_level());
  r.eat();
  bool first = true;
  for (;;) {
    VELN_TRY(const bool more, r.has_next_element(first));
    if (!more) break;
    // Room for a few at once: growing one by one moves the first records
    // twice and allocates three times.
    if (out.empty()) out.reserve(4);
    out.emplace_back();
    VELN_CHECK(read_into(r, out.back()));
  }
  VELN_CHECK(r.end_array());
  r.leave_level();
  return Ok{};
}

JsonReadStatus read_values(JsonReader& r, std::vector<JsonValue>& out) {
  return read_sequence(r, out, [](JsonReader& rr, JsonValue& v) { return rr.read_value_into(v); });
}

template <class R, size_t N>
JsonReadStatus read_records(JsonReader& r, std::vector<R>& out, const RecordSpec<R, N>& spec) {
  return read_sequence(r, out, [&spec](JsonReader& rr, R& rec) { return read_record(rr, spec, rec); });
}

// An optional field: JSON null makes it absent, anything else is read in
// place by read_into.
template <class T, class ReadInto>
JsonReadStatus read_optional(JsonReader& r, std::optional<T>& out, ReadInto read_into) {
  VELN_TRY(const bool is_null, r.read_null_if_present());
  if (is_null) {
    out.reset();
    return Ok{};
  }
  return read_into(r, out.emplace());
}

// Field readers, one per field type.
#define VELN_STRING_FIELD(R, member) [](JsonReader& r, R& rec) -> JsonReadStatus { return r.read_string_into(rec.member); }
#define VELN_OPT_STRING_FIELD(R, member) \
  [](JsonReader& r, R& rec) -> JsonReadStatus { return r.read_optional_string_into(rec.member); }
#define VELN_U64_FIELD(R, member) \
  [](JsonReader& r, R& rec) -> JsonReadStatus { VELN_TRY(rec.member, r.read_u64()); return Ok{}; }
#define VELN_VALUES_FIELD(R, member) \
  [](JsonReader& r, R& rec) -> JsonReadStatus { return read_values(r, rec.member); }
#define VELN_SPAN_FIELD(R) [](JsonReader& r, R& rec) -> JsonReadStatus { return read_span(r, rec.span); }

constexpr RecordSpec<Span, 4> kSpanSpec{"Span",
                                    {{{"line", false, VELN_U64_FIELD(Span, line)},
                                      {"col", false, VELN_U64_FIELD(Span, col)},
                                      {"end_line", false, VELN_U64_FIELD(Span, end_line)},
                                      {"end_col", false, VELN_U64_FIELD(Span, end_col)}}}};

JsonReadStatus read_span(JsonReader& r, Span& span) {
  if (std::uint64_t values[4]; r.read_compact_span(values)) {
    span = Span{values[0], values[1], values[2], values[3]};
    return Ok{};
  }
  return read_record(r, kSpanSpec, span);
}

constexpr RecordSpec<ImportIr, 4> kImportSpec{"ImportIr",
                                          {{{"node", false, VELN_STRING_FIELD(ImportIr, node)},
                                            {"span", false, VELN_SPAN_FIELD(ImportIr)},
                                            {"module", false, VELN_STRING_FIELD(ImportIr, module)},
                                            {"alias", true, VELN_OPT_STRING_FIELD(ImportIr, alias)}}}};

constexpr RecordSpec<DecoratorIr, 5> kDecoratorSpec{"DecoratorIr",
                                                {{{"node", false, VELN_STRING_FIELD(DecoratorIr, node)},
                                                  {"span", false, VELN_SPAN_FIELD(DecoratorIr)},
                                                  {"name", false, VELN_STRING_FIELD(DecoratorIr, name)},
                                                  {"args", false, VELN_VALUES_FIELD(DecoratorIr, args)},
                                                  {"keywords", false, VELN_VALUES_FIELD(DecoratorIr, keywords)}}}};

constexpr RecordSpec<ParameterIr, 5> kParameterSpec{
    "ParameterIr",
    {{{"name", false, VELN_STRING_FIELD(ParameterIr, name)},
      {"kind", false, VELN_STRING_FIELD(ParameterIr, kind)},
      {"annotation", true, VELN_OPT_STRING_FIELD(ParameterIr, annotation)},
      {"default", true,
       [](JsonReader& r, ParameterIr& rec) {
         return read_optional(r, rec.default_value, [](JsonReader& rr, JsonValue& v) { return rr.read_value_into(v); });
       }},
      {"span", false, VELN_SPAN_FIELD(ParameterIr)}}}};

constexpr RecordSpec<FunctionIr, 9> kFunctionSpec{
    "FunctionIr",
    {{{"node", false, VELN_STRING_FIELD(FunctionIr, node)},
      {"span", false, VELN_SPAN_FIELD(FunctionIr)},
      {"name", false, VELN_STRING_FIELD(FunctionIr, name)},
      {"visibility", false, VELN_STRING_FIELD(FunctionIr, visibility)},
      {"decorator", true,
       [](JsonReader& r, FunctionIr& rec) {
         return read_optional(r, rec.decorator,
                              [](JsonReader& rr, DecoratorIr& d) { return read_record(rr, kDecoratorSpec, d); });
       }},
      {"docstring", true, VELN_OPT_STRING_FIELD(FunctionIr, docstring)},
      {"parameters", false,
       [](JsonReader& r, FunctionIr& rec) -> JsonReadStatus {
         return read_records(r, rec.parameters, kParameterSpec);
       }},
      {"returns", true, VELN_OPT_STRING_FIELD(FunctionIr, returns)},
      {"body", false, VELN_VALUES_FIELD(FunctionIr, body)}}}};

constexpr RecordSpec<HostDependency, 4> kHostDependencySpec{
    "HostDependency",
    {{{"binding", false, VELN_STRING_FIELD(HostDependency, binding)},
      {"id", false, VELN_STRING_FIELD(HostDependency, id)},
      {"kind", false, VELN_STRING_FIELD(HostDependency, kind)},
      {"category", false, VELN_STRING_FIELD(HostDependency, category)}}}};

constexpr RecordSpec<ModuleIr, 11> kModuleSpec{
    "ModuleIr",
    {{{"ir_version", false, VELN_STRING_FIELD(ModuleIr, ir_version)},
      {"vm_profile", false, VELN_STRING_FIELD(ModuleIr, vm_profile)},
      {"host_catalog_version", false, VELN_STRING_FIELD(ModuleIr, host_catalog_version)},
      {"module_name", false, VELN_STRING_FIELD(ModuleIr, module_name)},
      {"source_hash", false, VELN_STRING_FIELD(ModuleIr, source_hash)},
      {"docstring", true, VELN_OPT_STRING_FIELD(ModuleIr, docstring)},
      {"imports", false,
       [](JsonReader& r, ModuleIr& rec) -> JsonReadStatus {
         return read_records(r, rec.imports, kImportSpec);
       }},
      {"global_declarations", false, VELN_VALUES_FIELD(ModuleIr, global_declarations)},
      {"functions", false,
       [](JsonReader& r, ModuleIr& rec) -> JsonReadStatus {
         const auto* listener = static_cast<const FunctionListener*>(r.listener);
         return read_sequence(r, rec.functions, [listener, &rec](JsonReader& rr, FunctionIr& f) -> JsonReadStatus {
           VELN_CHECK(read_record(rr, kFunctionSpec, f));
           if (listener != nullptr) listener->on_function(listener->context, f, rec.functions.size() - 1);
           return Ok{};
         });
       }},
      {"module_body", false, VELN_VALUES_FIELD(ModuleIr, module_body)},
      {"host_dependencies", false,
       [](JsonReader& r, ModuleIr& rec) -> JsonReadStatus {
         return read_records(r, rec.host_dependencies, kHostDependencySpec);
       }}}}};

#undef VELN_STRING_FIELD
#undef VELN_OPT_STRING_FIELD
#undef VELN_U64_FIELD
#undef VELN_VALUES_FIELD
#undef VELN_SPAN_FIELD

// A Span member read from a value tree.
Result<std::uint64_t, std::string> u64_from_json_value(const JsonValue& v) {
  switch (v.kind()) {
    case JsonKind::u64: return v.as_u64();
    case JsonKind::i64: return "invalid value: " + describe_json_value(v) + ", expected u64";
    default: return "invalid type: " + describe_json_value(v) + ", expected u64";
  }
}

}  // namespace

Result<ModuleIr, std::string> read_module_ir(std::string_view text) {
  return read_module_ir_listening(text, FunctionListener{nullptr, nullptr});
}

JsonReadStatus read_module_ir_record(JsonReader& reader, ModuleIr& module, const FunctionListener& listener) {
  const void* outer_listener = reader.listener;
  JsonArena* outer_arena = reader.arena;
  reader.listener = listener.on_function != nullptr ? &listener : nullptr;
  reader.arena = module.arenas.fresh();
  if (reader.text_holder != nullptr) module.arenas.share(reader.text_holder);
  auto status = read_record(reader, kModuleSpec, module);
  if (!status.ok()) reader.drop_unfinished();
  reader.listener = outer_listener;
  reader.arena = outer_arena;
  return status;
}

// The module keeps a copy of its text: most strings and keys of its values
// are seen in it.
Result<ModuleIr, std::string> read_module_ir_listening(std::string_view text, const FunctionListener& listener) {
  auto holder = std::make_shared<JsonArena>();
  JsonReader reader(holder->copy_of(text));
  reader.text_holder = std::move(holder);
  ModuleIr module;
  auto status = read_module_ir_record(reader, module, listener);
  if (!status.ok()) return json_positioned_message(text, status.error());
  auto end = reader.end_document();
  if (!end.ok()) return json_positioned_message(text, end.error());
  return module;
}

Result<Span, std::string> span_from_json_value(const JsonValue& value) {
  static constexpr std::uint64_t Span::*kFields[4] = {&Span::line, &Span::col, &Span::end_line, &Span::end_col};
  static constexpr std::string_view kNames[4] = {"line", "col", "end_line", "end_col"};
  // The index of the field a key names, 4 for any other key.
  const auto field_of = [](std::string_view key) {
    size_t i = 0;
    while (i < 4 && key != kNames[i]) ++i;
    return i;
  };
  if (const JsonValue::Entry* numbers = value.span_numbers()) {
    return Span{numbers[0].second.as_u64(), numbers[1].second.as_u64(), numbers[2].second.as_u64(),
                numbers[3].second.as_u64()};
  }
  Span span;
  if (value.is_array()) {
    const auto& elements = value.as_array();
    for (size_t i = 0; i < 4; ++i) {
      if (i >= elements.size()) {
        return "invalid length " + std::to_string(elements.size()) + ", expected struct Span with 4 elements";
      }
      VELN_TRY(span.*kFields[i], u64_from_json_value(elements[i]));
    }
    if (elements.size() > 4) {
      return "invalid length " + std::to_string(elements.size()) + ", expected fewer elements in array";
    }
    return span;
  }
  if (!value.is_object()) return "invalid type: " + describe_json_value(value) + ", expected struct Span";
  // The usual span: exactly the four fields (keys are distinct), each an
  // unsigned integer, in whatever order the object keeps them.
  unsigned found = 0;
  size_t count = 0;
  value.for_each_member([&](std::string_view key, const JsonValue& member) {
    ++count;
    const size_t i = field_of(key);
    if (i < 4 && member.is_u64()) {
      span.*kFields[i] = member.as_u64();
      found |= 1u << i;
    }
  });
  if (count == 4 && found == 15u) return span;
  bool seen[4] = {false, false, false, false};
  // Members come in ascending key order, so the first bad one in that order wins.
  for (const auto& [key, member] : value.as_object()) {
    const size_t i = field_of(key);
    if (i == 4) continue;
    VELN_TRY(span.*kFields[i], u64_from_json_value(member));
    seen[i] = true;
  }
  for (size_t i = 0; i < 4; ++i) {
    if (!seen[i]) return "missing field `" + std::string(kNames[i]) + "`";
  }
  return span;
}

}  // namespace veln
