// The fuzz input read as a stream of bytes; past its end every byte is 0, so
// targets never need to check the length before reading.
#pragma once

#include <cstddef>
#include <cstdint>

struct FuzzInput {
  const uint8_t* p;
  size_t n;
  uint8_t byte() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
};
