// The lowered form of a module's code: each function body (with its
// parameter defaults) and the module-level code become a flat list of
// instructions over a value stack, with every node's price, every deferred
// reading error and every name resolution decided once. Evaluation never
// recurses on the native stack for nested expressions or statements; only
// named calls (at most 256 active) nest native frames.
// Plain data, immutable once built; it must not evaluate anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "interpreter/builtins.hpp"
#include "interpreter/syscall_site.hpp"
#include "interpreter/type_annotations.hpp"
#include "interpreter_support/native_methods.hpp"
#include "lib/ir_node_kinds.hpp"
#include "lib/json_value.hpp"
#include "lib/module_ir.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The fixed prices of reading a name and of a constant: the price table of
// expressions lists them, and the fused instructions that read a name or a
// constant without its own instruction charge them themselves.
inline constexpr uint64_t kNameReadPrice = 64;
inline constexpr uint64_t kConstantPrice = 32;
inline constexpr uint32_t kNoSlot = UINT32_MAX;

// Instructions, in dispatch-table order. The operands are in Instr: a8, a, b.
#define VELN_FOR_EACH_OP(X) \
  /* --- control --------------------------------------------------------------- */ \
  X(Charge) /* charge b */ \
  X(Stmt) /* charge b, then the statement trace line (a8 = StatementKind) */ \
  X(Fail) /* deferred error: texts[a] */ \
  X(Pop) \
  X(Dup) \
  X(Jump) /* to a */ \
  X(JumpIfFalse) /* pops; to a when falsy */ \
  X(JumpIfTrue) /* pops; to a when truthy */ \
  X(JumpIfTrueOrPop) /* keeps the top and jumps to a when truthy, else pops */ \
  X(JumpIfFalseOrPop) /* keeps the top and jumps to a when falsy, else pops */ \
  X(Return) /* pops the result */ \
  X(ReturnNone) \
  /* --- values and names ---------------------------------------------------------- */ \
  X(PushConst) /* constants[a] */ \
  X(LoadConst) /* charge b, then constants[a] */ \
  X(PushNone) \
  X(PushBool) /* a8 */ \
  X(LoadName) /* charge b, then names[a] looked up */ \
  X(LoadName2) /* LoadName names[a], LoadName names[b] (64 each) */ \
  X(LoadNameConst) /* LoadName names[a] (64), LoadConst constants[b] (32) */ \
  X(StoreLocal) /* pops into slot a */ \
  /* --- operators ---------------------------------------------------------------- */ \
  X(Binary) /* a8 = BinaryOperator */ \
  X(BinaryNamed) /* texts[a] names an operator the tables do not know */ \
  X(Unary) /* a8 = UnaryOperator */ \
  X(UnaryNamed) /* texts[a] */ \
  X(Compare) /* a8 = CompareOperator; false: pushes False and jumps to a */ \
  X(CompareNamed) /* texts[b]; as Compare */ \
  X(CompareLast) /* a8; pushes the outcome as a bool */ \
  X(CompareLastNamed) /* texts[b] */ \
  X(ReleaseLocal) /* slot a is about to be overwritten: drops its buffer reference */ \
  X(BinaryStore) /* ReleaseLocal a, Binary a8, StoreLocal a */ \
  X(CompareJump) /* CompareLast (a8 & 127), then JumpIfFalse a (JumpIfTrue a when a8 & 128) */ \
  X(BinaryJump) /* Binary (a8 & 127), then JumpIfFalse a (JumpIfTrue a when a8 & 128) */ \
  X(NameConstCompareJump) /* LoadNameConst names[b & 0xffffffff], constants[b >> 32], then CompareJump a8 to a */ \
  X(Name2CompareJump) /* LoadName2 names[b & 0xffffffff], names[b >> 32], then CompareJump a8 to a */ \
  X(NameConstBinary) /* LoadNameConst names[a], constants[b], then Binary a8 */ \
  X(NameConstBinaryStore) /* LoadNameConst names[a], constants[b & 0xffffffff], then BinaryStore a8 into slot b >> 32 */ \
  X(ConstBinary) /* LoadConst constants[a] (32), then Binary a8 */ \
  X(ConstBinaryStore) /* LoadConst constants[a] (32), then BinaryStore a8 into slot b */ \
  X(NameConstBinaryJump) /* LoadNameConst names[b & 0xffffffff], constants[b >> 32], then BinaryJump a8 to a */ \
  /* --- containers and reads ------------------------------------------------------ */ \
  X(BuildList) /* a items */ \
  X(BuildTuple) /* a items */ \
  X(NewList) \
  X(NewDict) \
  X(DictAppend) /* [dict][key][value] -> [dict] */ \
  X(DictUnpack) /* [dict][mapping] -> [dict] */ \
  X(FString) /* a parts */ \
  X(FormatValue) \
  X(Subscript) /* [container][index] -> [item] */ \
  X(Name2Subscript) /* LoadName2 names[a], names[b], then Subscript */ \
  X(SliceBound) /* converts the top to an int bound */ \
  X(SliceSubscript) /* a8 = present bounds (1 lower, 2 upper, 4 step) */ \
  X(Attribute) /* native attribute texts[a] */ \
  X(HostAttribute) /* host_attrs[a]; when it yields the host value, jumps to b */ \
  X(StorageGet) /* binding texts[a], its number b >> 32 */ \
  /* --- statements ---------------------------------------------------------------- */ \
  X(Raise) \
  X(AssertFail) \
  X(ForPrep) /* pops the iterable, pushes its iteration state */ \
  X(ForPrepRange) /* CallName calls[a] (charge b) of the builtin range, then ForPrep */ \
  X(ForNext) /* state at cell b; exhausted: jumps to a (a8 bit 1 keeps the state); else pushes the item and charges 96 (a8 bit 2: then stores it in slot `spare`; a8 bit 4: then jumps to a, and exhaustion falls through) */ \
  X(PopLoop) /* pops an iteration state and jumps to a (break) */ \
  X(StorageSet) /* binding texts[a], its number b >> 32 */ \
  X(StorageMutateRead) /* binding texts[a], its number b >> 32 */ \
  X(StorageMutateWrite) /* binding texts[a], its number b >> 32; a8 = BinaryOperator, or 255 with texts[b & 0xffffffff] the operator */ \
  /* --- targets ------------------------------------------------------------------- */ \
  X(Unpack) /* a targets */ \
  X(UnpackTypeCheck) /* only the list-or-tuple check */ \
  X(ReadCurrent) /* [container][index] -> [container][index][current] */ \
  X(StoreResolved) /* targets[a]; a8 bit 1: the outermost current value was used up; bit 2: the value lies below the target's cells */ \
  /* --- comprehensions ------------------------------------------------------------ */ \
  X(Capture) /* captures[a] */ \
  X(Restore) /* captures[a] */ \
  X(ListAppend) /* result at cell a */ \
  X(DictSet) /* result at cell a */ \
  /* --- calls --------------------------------------------------------------------- */ \
  X(KwMark) \
  X(KwPush) /* keyword name texts[a] */ \
  X(KwUnpack) \
  X(CallValue) /* calls[a] */ \
  X(CallName) /* calls[a] (callee by names[calls[a].name]) */ \
  X(Syscall) /* calls[a] */ \
  X(EventFieldKey) /* the limits of a dict of keys constants[a, a + a8) and the a8 values on top, then charge b */ \
  X(NativeCall) /* calls[a] */ \
  X(AppendToLocal) /* NativeCall calls[a], `name.append(item)` with the name's slot b; a8: the result is popped */ \
  X(DictGet) /* NativeCall calls[a], `receiver.get(key[, default])`: a8 arguments, b cells with the receiver's */

#define VELN_OP_ENUMERATOR(name) name,
enum class Op : uint8_t { VELN_FOR_EACH_OP(VELN_OP_ENUMERATOR) };
#undef VELN_OP_ENUMERATOR
#define VELN_OP_COUNT(name) +1
inline constexpr size_t kOpCount = 0 VELN_FOR_EACH_OP(VELN_OP_COUNT);
#undef VELN_OP_COUNT

// Cells of a loop's iteration state: the iterated value and two positions,
// or, counting through a range, its step, next value and items left.
inline constexpr uint32_t kIterationCells = 3;
// ForNext flags (a8).
inline constexpr uint8_t kForNextKeepState = 1;
inline constexpr uint8_t kForNextStore = 2;
inline constexpr uint8_t kForNextLoopBack = 4;
inline constexpr uint8_t kCompareJumpIfTrue = 128;
inline constexpr uint8_t kBinaryJumpIfTrue = 128;
// StoreResolved flags (a8).
inline constexpr uint8_t kStoreCurrentUsed = 1;
inline constexpr uint8_t kStoreValueBelow = 2;

struct Instr {
  Op op;
  uint8_t a8 = 0;
  // ForNext: the slot of its target. Charge, LoadName, LoadName2,
  // Name2Subscript, LoadNameConst (and those that begin with it), LoadConst
  // (and the two that begin with it): a charge made first (a Charge
  // instruction fused into the one after it).
  uint16_t spare = 0;
  uint32_t a = 0;
  uint64_t b = 0;
};

// What a name resolves to when neither the locals nor the module globals
// hold it: fixed for the life of the module.
enum class NameFallback : uint8_t { Function, Value, HostBinding, Fail };

struct NameSite {
  uint32_t slot = kNoSlot;  // local slot of the name in this code
  uint32_t global = 0;      // module global index
  NameFallback fallback = NameFallback::Fail;
  uint32_t function = 0;    // Function: index of the module function
  uint32_t value = 0;       // Function / Value: constants[value]; HostBinding: binding id; Fail: texts[value]
  // Value fallback to one of the builtin functions: its id, so a call by
  // this name reaches the builtin without looking its name up again.
  std::optional<BuiltinId> builtin;
};

// The root and shape of a resolved assignment target on the stack:
// [root] then per subscript level [index] and, when read, [current].
struct TargetSite {
  uint32_t levels = 0;
  bool outer_current = false;  // the outermost level read its current value
  bool root_cell = true;       // false only for a bare name resolved without reading
  bool root_is_name = true;
  uint32_t slot = kNoSlot;     // name root
  uint32_t global = 0;
  uint32_t unsupported_text = 0;  // texts[]: "unsupported assignment target '{kind}'"
  uint32_t cells() const { return (root_cell ? 1 : 0) + 2 * levels - (levels > 0 && !outer_current ? 1 : 0); }
};

struct CaptureSite {
  std::vector<uint32_t> slots;  // distinct slots, in first-occurrence order
};

// An attribute with a string host binding id: the root name decides between
// a native attribute and the host binding.
struct HostAttrSite {
  bool root_is_name = false;
  uint32_t slot = kNoSlot;
  uint32_t global = 0;
  bool binding_ok = false;
  uint32_t binding = 0;        // HostBindingId when binding_ok
  uint32_t binding_error = 0;  // texts[] otherwise
};

// An argument plan's entry for a parameter left to its default.
inline constexpr uint32_t kFromDefault = UINT32_MAX;

struct CallSite {
  uint32_t argc = 0;
  bool has_keywords = false;  // through KwMark and the run's keyword list
  uint32_t name = 0;  // CallName: names[name]
  // CallName whose name falls back to a module function and whose arguments
  // bind to its parameters without error: the keyword values stay on the
  // stack after the positional ones (their names in texts[]), and `plan`
  // gives per parameter the argument cell it takes, or kFromDefault.
  std::vector<uint32_t> keyword_texts;
  std::vector<uint32_t> plan;
  bool planned = false;
  uint32_t planned_cells = 0;  // argc and the keyword values
  // Syscall
  uint32_t syscall = 0;  // syscalls[]
  // NativeCall
  uint32_t method = 0;            // texts[]
  NativeMethodIds method_ids{};   // the method's id per receiver kind
  uint32_t changing_kinds = 0;    // bit per VmKind whose method of this name changes its receiver
  bool receiver_resolved = false; // name or subscript receiver
  uint32_t target = 0;            // targets[] when resolved
  uint32_t writeback_error = 0;   // texts[] for receivers that cannot be written back
};

struct LoweredCode {
  std::vector<Instr> instrs;
  std::vector<VmValue> constants;
  std::vector<std::string> texts;
  std::vector<NameSite> names;
  std::vector<TargetSite> targets;
  std::vector<CaptureSite> captures;
  std::vector<HostAttrSite> host_attrs;
  std::vector<CallSite> calls;
  std::vector<SyscallSite> syscalls;
  std::vector<uint32_t> slot_globals;  // the module global index of each slot's name
  uint32_t max_stack = 0;
  uint32_t slot_count() const { return static_cast<uint32_t>(slot_globals.size()); }
};

enum class ParameterKind : uint8_t { PositionalOrKeyword, KeywordOnly, Vararg, Kwarg, Unsupported };

struct LoweredParameter {
  uint32_t slot = 0;
  ParameterKind kind = ParameterKind::Unsupported;
  std::optional<uint32_t> default_entry;  // pc of the default's code
  // The default's code changes no local, so it can run on the frame's own
  // slots instead of a copy of them.
  bool default_reads_only = false;
  // The default's code is one LoadConst and its Return: its charges and the
  // constant are all it does.
  bool default_is_constant = false;
  // Parsed once, only for functions whose type checks are on.
  std::optional<TypeAnnotation> annotation;
  bool annotation_unparsed = false;
  std::string check_label;  // "Argument '{name}'", for annotated parameters
};

struct LoweredFunction {
  const FunctionIr* ir = nullptr;
  // Functions are indexed when the instance is built and lowered when first
  // called: a call reaches few of its module's functions.
  bool lowered = false;
  LoweredCode code;
  uint32_t body_entry = 0;
  std::vector<LoweredParameter> parameters;
  uint64_t call_price = 0;
  bool typecheck = false;
  // The parameters with an annotation to check, and the parsed return
  // annotation (nullopt when it does not parse): only for functions whose
  // type checks are on.
  std::vector<uint32_t> checked_parameters;
  std::optional<TypeAnnotation> returns;
  // Function arguments bind straight into slots: only positional-or-keyword
  // parameters without repeats.
  bool simple_parameters = false;
};

// Hashing for maps keyed by std::string that are looked up by string_view.
struct TransparentStringHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};
template <class V>
using StringMap = std::unordered_map<std::string, V, TransparentStringHash, std::equal_to<>>;

// Interned module-level names: every name the module's code mentions, the
// import bindings and the declared names. Module globals are a table indexed
// by these numbers.
class NameTable {
 public:
  uint32_t intern(std::string_view name);
  std::optional<uint32_t> find(std::string_view name) const;
  const std::string& name(uint32_t index) const { return names_[index]; }
  uint32_t size() const { return static_cast<uint32_t>(names_.size()); }

 private:
  std::vector<std::string> names_;
  StringMap<uint32_t> index_;
};

}  // namespace veln
