#!/usr/bin/env bash
# The example command: sets the machine up and builds (scripts/setup.sh),
# installs the Python package into .venv, then validates the example contracts
# under examples/ and prints what the module reports, and last executes calls
# of them through execute_bundle and prints the result dictionaries.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
echo "== installing veln_vm_core into .venv"
if ! .venv/bin/python -m pip install -q . >build/pip-install.log 2>&1; then
  grep -v "^WARNING: Location" build/pip-install.log >&2
  exit 1
fi
echo "== examples"
.venv/bin/python examples/validate.py
.venv/bin/python examples/execute.py
