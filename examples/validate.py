#!/usr/bin/env python3
"""Validates the example contracts with veln_vm_core._native and prints what
the module reports: its version tags and supported execution policy, then each
module IR document under examples/module_ir/ and each deployment-artifacts
document under examples/artifacts/, and last a tampered copy of one artifact,
to show how a refusal looks. Exits with status 1 if a shipped document fails.
"""
import json
import pathlib
import sys

from veln_vm_core import _native

HERE = pathlib.Path(__file__).resolve().parent


def show_runtime():
    info = json.loads(_native.runtime_info_json())
    print("runtime:", _native.runtime_info_json())
    for bytecode in info["supported_bytecode_versions"]:
        for schedule in info["supported_gas_schedules"]:
            verdict = "supported" if _native.supports_execution_policy(bytecode, schedule) else "refused"
            print(f"policy {bytecode} / {schedule}: {verdict}")
    print("policy vvm-2 / vvm-gas-1:",
          "supported" if _native.supports_execution_policy("vvm-2", "vvm-gas-1") else "refused")


def check_module_ir(path):
    text = path.read_text(encoding="utf-8")
    try:
        _native.validate_module_ir_json(text)
    except _native.VmIrValidationError as error:
        print(f"module IR {path.relative_to(HERE)}: INVALID: {error}")
        return False
    document = json.loads(text)
    names = ", ".join(f["name"] for f in document["functions"])
    print(f"module IR {path.relative_to(HERE)}: valid ({document['module_name']}: {names})")
    return True


def check_artifacts(path):
    text = path.read_text(encoding="utf-8")
    module_name = path.stem
    try:
        result = _native.validate_deployment_artifacts_json(module_name, text)
    except _native.VmRuntimeExecutionError as error:
        print(f"artifacts {path.relative_to(HERE)}: INVALID: {error}")
        return False
    print(
        f"artifacts {path.relative_to(HERE)}: valid for {module_name} "
        f"(source {len(result['source'])} characters, module IR {len(result['vm_ir_json'])} characters)"
    )
    return True


def show_tampered(path):
    document = json.loads(path.read_text(encoding="utf-8"))
    document["source"] = document["source"].replace("1_000_000", "9_000_000")
    try:
        _native.validate_deployment_artifacts_json(path.stem, json.dumps(document))
    except _native.VmRuntimeExecutionError as error:
        print(f"tampered copy of {path.relative_to(HERE)}: refused: {type(error).__name__}: {error}")
    else:
        print(f"tampered copy of {path.relative_to(HERE)}: accepted (unexpected)")


def main():
    show_runtime()
    ok = all([check_module_ir(p) for p in sorted((HERE / "module_ir").glob("*.json"))])
    ok = all([check_artifacts(p) for p in sorted((HERE / "artifacts").glob("*.json"))]) and ok
    show_tampered(HERE / "artifacts" / "con_token.json")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
