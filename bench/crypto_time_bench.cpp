// Costs of the hashing, Ed25519 and date-time construction system calls as
// contract code reaches them (arguments as runtime values).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "interpreter_support/ed25519.hpp"
#include "interpreter_support/hashing.hpp"
#include "interpreter_support/time_construction.hpp"

namespace veln {
namespace {

void BM_Sha256Text(benchmark::State& state) {
  const std::vector<VmValue> args = {VmValue::str(std::string(static_cast<std::size_t>(state.range(0)), 'a'))};
  for (auto _ : state) benchmark::DoNotOptimize(hash_sha256_text(args, {}));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Sha256Text)->Arg(32)->Arg(4096);

void BM_Sha3Hex(benchmark::State& state) {
  const std::vector<VmValue> args = {VmValue::str(std::string(static_cast<std::size_t>(state.range(0)) * 2, 'a'))};
  for (auto _ : state) benchmark::DoNotOptimize(hash_sha3_256_hex(args, {}));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Sha3Hex)->Arg(32)->Arg(4096);

void BM_Ed25519Verify(benchmark::State& state) {
  // RFC 8032 test 2.
  const std::vector<VmValue> args = {
      VmValue::str("3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c"), VmValue::str("r"),
      VmValue::str("92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c"
                   "387b2eaeb4302aeeb00d291612bb0c00")};
  for (auto _ : state) benchmark::DoNotOptimize(crypto_ed25519_verify(args, {}));
}
BENCHMARK(BM_Ed25519Verify);

void BM_DatetimeNew(benchmark::State& state) {
  const std::vector<VmValue> args = {VmValue::integer(2024), VmValue::integer(2), VmValue::integer(29),
                                     VmValue::integer(13), VmValue::integer(14)};
  for (auto _ : state) benchmark::DoNotOptimize(time_datetime_new(args, {}));
}
BENCHMARK(BM_DatetimeNew);

void BM_Strptime(benchmark::State& state) {
  const std::vector<VmValue> args = {VmValue::str("Fri, 05 Jan 2024 07:08:09.123456 +0100"),
                                     VmValue::str("%a, %d %b %Y %H:%M:%S%.f %z")};
  for (auto _ : state) benchmark::DoNotOptimize(time_datetime_strptime(args, {}));
}
BENCHMARK(BM_Strptime);

}  // namespace
}  // namespace veln
