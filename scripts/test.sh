#!/usr/bin/env bash
# The one test command: sets the machine up, then runs every test.
#   1. C++ tests (GoogleTest via CTest) in the normal build (the default
#      compiler and its standard library: g++ and libstdc++ on Debian);
#   2. the same tests built by clang++ against libc++ with AddressSanitizer +
#      UndefinedBehaviorSanitizer, so that a result or a count that follows
#      one standard library's choices shows up as a difference between runs;
#   3. bounded libFuzzer smoke runs (clang, sanitizers on);
#   4. pytest against the extension of the normal build (the package is staged
#      from python/ and the built _native; `pip install .` is what
#      scripts/example.sh exercises);
#   5. pytest again against the extension of the ASan/UBSan build, with the
#      ASan runtime preloaded into the (uninstrumented) Python interpreter;
#   6. valgrind memcheck (reads of uninitialised memory, which the sanitizers
#      do not see) over the C++ interpreter and bridge suites and the pytest
#      files that execute contracts, any report failing the run.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=$(nproc)
# Fuzz budget per target: the untrusted-input doors (module IR, deployment
# artifacts, bundles, contract code) get 40 s each, the other targets a
# shorter smoke run, so the whole run stays well under half an hour on two
# cores.
FUZZ_SECONDS=${VELN_FUZZ_SECONDS:-10}
FUZZ_SECONDS_DOORS=${VELN_FUZZ_SECONDS_DOORS:-40}

bash scripts/setup.sh

echo "== C++ tests"
ctest --test-dir build --output-on-failure -j"$JOBS"

echo "== C++ tests under ASan/UBSan (clang++, libc++)"
GEN=()
command -v ninja >/dev/null && GEN=(-G Ninja)
# Sanitizer and fuzz builds: -O1 with line tables only keeps them quick to
# build on small machines while reports still name functions and lines.
SAN_BUILD=(-DCMAKE_BUILD_TYPE=None "-DCMAKE_CXX_FLAGS=-O1 -g1")
# The same build also gives the sanitized extension for step 5. A cache left
# by another compiler is dropped: CMake cannot switch compilers in place.
if [ -f build-asan/CMakeCache.txt ] && ! grep -q '^VELN_LIBCXX:BOOL=ON' build-asan/CMakeCache.txt; then
  rm -rf build-asan
fi
CC=clang CXX=clang++ cmake -S . -B build-asan "${GEN[@]}" "${SAN_BUILD[@]}" -DVELN_SANITIZE=ON -DVELN_LIBCXX=ON \
      -DVELN_BUILD_BENCH=OFF -DVELN_BUILD_PYTHON=ON -DPython3_EXECUTABLE="$PWD/.venv/bin/python" >/dev/null
cmake --build build-asan -j"$JOBS" | grep -vE '^\[[0-9]+/[0-9]+\]|^ninja: no work to do' || true
test "${PIPESTATUS[0]}" -eq 0
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$JOBS"

if ls fuzz/*_fuzz.cpp >/dev/null 2>&1; then
  echo "== fuzz smoke runs"
  if [ ! -f build-fuzz/CMakeCache.txt ]; then
    CC=clang CXX=clang++ cmake -S . -B build-fuzz "${GEN[@]}" "${SAN_BUILD[@]}" \
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
    case "$name" in parse_module_ir_fuzz|artifacts_fuzz|bundle_reader_fuzz|interpreter_fuzz) seconds=$FUZZ_SECONDS_DOORS ;; esac
    echo "-- $name (${seconds}s)"
    ASAN_OPTIONS=detect_leaks=1 "build-fuzz/fuzz/$name" -max_total_time="$seconds" \
      -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 "$corpus" "${seeds[@]}" 2>&1 | tail -n 12
    test "${PIPESTATUS[0]}" -eq 0
  done
fi

# Stages the package (python/ and the _native built in $1) under
# $1/python-package; prints nothing and fails when there is no extension.
stage_package() {
  local native
  native=$(ls "$1"/src/python_bindings/_native*.so 2>/dev/null | head -n 1 || true)
  [ -n "$native" ] || return 1
  rm -rf "$1/python-package" && mkdir -p "$1/python-package/veln_vm_core"
  cp python/veln_vm_core/*.py "$native" "$1/python-package/veln_vm_core/"
}

echo "== Python package and pytest"
if stage_package build; then
  export PYTHONPATH="$PWD/build/python-package"
else
  # No extension in the normal build (no stable-ABI headers found there):
  # build and install the package the way a user does.
  .venv/bin/python -m pip install -q .
fi
if ! ls tests/python/test_*.py >/dev/null 2>&1; then
  echo "pytest: no Python tests yet"
  exit 0
fi
.venv/bin/python -m pytest -q tests/python

echo "== pytest against the ASan/UBSan extension"
if stage_package build-asan; then
  # The interpreter itself is not instrumented: clang's shared ASan runtime
  # must be loaded first, Python's own allocator is bypassed so that ASan sees
  # every object, and leak reports (CPython keeps memory at exit) are off. A
  # small quarantine of freed memory keeps the resident-size leak test
  # meaningful.
  LD_PRELOAD="$(clang -print-file-name=libclang_rt.asan-x86_64.so)" PYTHONMALLOC=malloc \
    ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=16 UBSAN_OPTIONS=print_stacktrace=1 \
    PYTHONPATH="$PWD/build-asan/python-package" .venv/bin/python -m pytest -q -p no:cacheprovider tests/python
else
  echo "no sanitized extension (no stable-ABI headers found)"
fi

echo "== valgrind memcheck"
# The normal build's interpreter and bridge suites, then the pytest files that
# run contract code through execute_bundle (property and leak tests are left
# to the runs above: they repeat the same paths thousands of times). CPython
# keeps its own allocator here: with PYTHONMALLOC=malloc, CPython 3.11 itself
# reports reads of the unset digit of an empty int (int.from_bytes(b'')) at
# start-up and their echoes through its eval loop. The engine allocates
# through the C++ and C allocators, which memcheck tracks either way, so no
# suppression is needed and any report fails the run.
VALGRIND=(valgrind -q --error-exitcode=99 --num-callers=30)
for suite in interpreter_tests bridge_tests; do
  (cd build/tests/cpp && "${VALGRIND[@]}" "./$suite" --gtest_brief=1)
done
if [ -f build/python-package/veln_vm_core/__init__.py ]; then
  PYTHONPATH="$PWD/build/python-package" "${VALGRIND[@]}" .venv/bin/python -m pytest -q -p no:cacheprovider \
    tests/python/test_examples.py tests/python/test_bundle_request.py tests/python/test_result_dictionary.py \
    tests/python/test_metering.py tests/python/test_host_errors.py tests/python/test_arguments.py \
    tests/python/test_conversions.py tests/python/test_differential.py tests/python/test_storage_reads.py
fi
