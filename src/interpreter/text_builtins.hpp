// The text and bytes builtins of contract code: str, ascii, chr, ord, format,
// bytes and bytearray. Each runs after the dispatch table has checked its
// call shape. Texts they build are bounded by the value size limit before
// they are built; bytes(n) and bytearray(n) by 131072 bytes.
#pragma once

#include "interpreter/builtin_call.hpp"

namespace veln {

VmResult<VmValue> builtin_str(BuiltinCall& call);
// What str(x) gives, and what an f-string shows of x: a str is itself,
// anything else its display text.
VmResult<VmValue> str_of(VmValue x);
VmResult<VmValue> builtin_ascii(BuiltinCall& call);
VmResult<VmValue> builtin_chr(BuiltinCall& call);
VmResult<VmValue> builtin_ord(BuiltinCall& call);
VmResult<VmValue> builtin_format(BuiltinCall& call);
VmResult<VmValue> builtin_bytes(BuiltinCall& call);
VmResult<VmValue> builtin_bytearray(BuiltinCall& call);

}  // namespace veln
