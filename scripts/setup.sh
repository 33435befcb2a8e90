#!/usr/bin/env bash
# Brings a fresh Debian machine (root, Python 3.11 with pip) to a working build:
# installs the missing Debian packages, creates .venv with the Python tools,
# then configures and builds the C++ tree in build/. Quiet when nothing is to do.
set -euo pipefail
cd "$(dirname "$0")/.."

APT_PACKAGES=(build-essential pkg-config cmake ninja-build libgmp-dev libssl-dev libicu-dev
              libgtest-dev libgmock-dev libbenchmark-dev libfast-float-dev clang libclang-rt-14-dev
              libc++-dev libc++abi-dev valgrind)
missing=()
for pkg in "${APT_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

PY=${PYTHON:-python3}
if [ ! -x .venv/bin/python ]; then
  echo "setup: creating .venv"
  "$PY" -m venv .venv
fi
PY_PACKAGES=(scikit-build-core pytest hypothesis)
if ! .venv/bin/python -c 'import scikit_build_core, pytest, hypothesis' 2>/dev/null; then
  echo "setup: installing Python packages"
  .venv/bin/python -m pip install -q --upgrade pip
  .venv/bin/python -m pip install -q "${PY_PACKAGES[@]}"
fi

# Normal build: library, C++ tests, benchmarks.
GEN=()
command -v ninja >/dev/null && GEN=(-G Ninja)
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build "${GEN[@]}" -DCMAKE_BUILD_TYPE=Release \
        -DPython3_EXECUTABLE="$PWD/.venv/bin/python" >/dev/null
fi
cmake --build build -j"$(nproc)" | grep -vE '^\[[0-9]+/[0-9]+\]|^ninja: no work to do' || true
test "${PIPESTATUS[0]}" -eq 0
