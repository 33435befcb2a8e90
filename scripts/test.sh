#!/usr/bin/env bash
# The one test command: sets the machine up, then runs every test.
#   1. C++ tests (GoogleTest via CTest) in the normal build;
#   2. the same tests built with AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. bounded libFuzzer smoke runs (clang, sanitizers on);
#   4. the Python package installed into .venv, then pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=$(nproc)
# Fuzz budget per target: the untrusted-input doors (module IR, deployment
# artifacts) get a minute each, the other targets a shorter smoke run.
FUZZ_SECONDS=${VELN_FUZZ_SECONDS:-20}
FUZZ_SECONDS_DOORS=${VELN_FUZZ_SECONDS_DOORS:-60}

bash scripts/setup.sh

echo "== C++ tests"
ctest --test-dir build --output-on-failure -j"$JOBS"

echo "== C++ tests under ASan/UBSan"
GEN=()
command -v ninja >/dev/null && GEN=(-G Ninja)
if [ ! -f build-asan/CMakeCache.txt ]; then
  cmake -S . -B build-asan "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELN_SANITIZE=ON \
        -DVELN_BUILD_BENCH=OFF -DVELN_BUILD_PYTHON=OFF >/dev/null
fi
cmake --build build-asan -j"$JOBS" | grep -vE '^\[[0-9]+/[0-9]+\]|^ninja: no work to do' || true
test "${PIPESTATUS[0]}" -eq 0
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$JOBS"

if ls fuzz/*_fuzz.cpp >/dev/null 2>&1; then
  echo "== fuzz smoke runs"
  if [ ! -f build-fuzz/CMakeCache.txt ]; then
    CC=clang CXX=clang++ cmake -S . -B build-fuzz "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DVELN_SANITIZE=ON -DVELN_FUZZ=ON -DVELN_BUILD_TESTS=OFF -DVELN_BUILD_BENCH=OFF \
        -DVELN_BUILD_PYTHON=OFF >/dev/null
  fi
  cmake --build build-fuzz -j"$JOBS" | grep -vE '^\[[0-9]+/[0-9]+\]|^ninja: no work to do' || true
  test "${PIPESTATUS[0]}" -eq 0
  for src in fuzz/*_fuzz.cpp; do
    name=$(basename "$src" .cpp)
    corpus=build-fuzz/corpus/$name
    mkdir -p "$corpus"
    seeds=()
    [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
    seconds=$FUZZ_SECONDS
    case "$name" in parse_module_ir_fuzz|artifacts_fuzz) seconds=$FUZZ_SECONDS_DOORS ;; esac
    echo "-- $name (${seconds}s)"
    ASAN_OPTIONS=detect_leaks=1 "build-fuzz/fuzz/$name" -max_total_time="$seconds" \
      -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 "$corpus" "${seeds[@]}" 2>&1 | tail -n 12
    test "${PIPESTATUS[0]}" -eq 0
  done
fi

echo "== Python package and pytest"
.venv/bin/python -m pip install -q .
rc=5
if [ -d tests/python ]; then
  set +e
  .venv/bin/python -m pytest -q tests/python
  rc=$?
  set -e
fi
if [ $rc -eq 5 ]; then
  echo "pytest: no Python tests yet"
  rc=0
fi
exit $rc
