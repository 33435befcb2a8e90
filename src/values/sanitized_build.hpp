// Whether this translation unit is built with AddressSanitizer, under one
// name for both compilers (g++ defines __SANITIZE_ADDRESS__, clang answers
// __has_feature). Only for sizing what the sanitizer's larger frames and
// slower code need (stack margins, inlining, test sizes); it must never
// change a result, a message or a count.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define VELN_ADDRESS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELN_ADDRESS_SANITIZED 1
#endif
#endif
