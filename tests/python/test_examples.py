"""The shipped examples: generated files are current and every document passes."""
import importlib.util
import json
import pathlib
import subprocess
import sys

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"


def load_generator():
    spec = importlib.util.spec_from_file_location("make_examples", EXAMPLES / "make_examples.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def test_generated_files_are_current():
    for relative, text in load_generator().build().items():
        assert (EXAMPLES / relative).read_text(encoding="utf-8") == text, relative


def test_every_module_ir_example_is_valid(native):
    paths = sorted((EXAMPLES / "module_ir").glob("*.json"))
    assert len(paths) >= 2
    for path in paths:
        assert native.validate_module_ir_json(path.read_text(encoding="utf-8")) is None


def test_every_artifact_example_is_valid(native):
    paths = sorted((EXAMPLES / "artifacts").glob("*.json"))
    assert len(paths) >= 2
    for path in paths:
        document = json.loads(path.read_text(encoding="utf-8"))
        result = native.validate_deployment_artifacts_json(path.stem, path.read_text(encoding="utf-8"))
        assert result == {"source": document["source"], "vm_ir_json": document["vm_ir_json"]}
        source = (EXAMPLES / "contracts" / f"{path.stem}.py").read_text(encoding="utf-8")
        assert result["source"] == source


def test_validate_script_reports_and_succeeds():
    run = subprocess.run(
        [sys.executable, str(EXAMPLES / "validate.py")], capture_output=True, text=True, timeout=120
    )
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    assert lines[0].startswith('runtime: {"host_catalog_version":"veln_vm_v1_host_v1"')
    assert "policy vvm-1 / vvm-gas-1: supported" in lines
    assert sum("valid" in line and "INVALID" not in line for line in lines) >= 4
    assert lines[-1].endswith(
        "refused: VmRuntimeExecutionError: deployment_artifacts hash mismatch for 'source_sha256'."
    )


def run_execute_script():
    run = subprocess.run(
        [sys.executable, str(EXAMPLES / "execute.py")], capture_output=True, text=True, timeout=120
    )
    assert run.returncode == 0, run.stdout + run.stderr
    headers = [line for line in run.stdout.splitlines() if line.startswith("== ")]
    assert [h.split("(")[0] for h in headers] == [
        "== con_quote.quote", "== con_token.balance_of", "== con_token.transfer", "== con_registry.register"]
    return run.stdout


def test_execute_script_runs_the_pure_call(interpreter):
    output = run_execute_script()
    assert "'result': {'amount': 1234, 'total': 3702, 'fee': 37, 'net': 3665}" in output


def test_execute_script_runs_every_call(storage):
    assert run_execute_script().count("'status_code': 0") == 4
