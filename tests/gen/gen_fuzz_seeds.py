#!/usr/bin/env python3
"""Writes the fuzz seed corpora from the module IR fixtures.

fuzz/seeds/parse_module_ir_fuzz/: every valid fixture and a sample of the
invalid ones (files up to 16 KiB, so the fuzzer mutates small inputs).
fuzz/seeds/artifacts_fuzz/: deployment-artifact documents wrapped around
valid fixtures with correct digests, plus a few broken variants.
fuzz/seeds/bundle_reader_fuzz/: bundles of valid fixtures, spaced and
ordered unlike their compact form, with repeated keys and a misnamed member.
"""
import hashlib
import json
import pathlib
import shutil

ROOT = pathlib.Path(__file__).resolve().parents[2]
FIXTURES = ROOT / "tests" / "data" / "module_ir"
SEEDS = ROOT / "fuzz" / "seeds"
LIMIT = 16 * 1024


def sha(text: str) -> str:
    return hashlib.sha256(text.encode("utf-8")).hexdigest()


def main() -> None:
    ir_dir = SEEDS / "parse_module_ir_fuzz"
    art_dir = SEEDS / "artifacts_fuzz"
    bundle_dir = SEEDS / "bundle_reader_fuzz"
    for d in (ir_dir, art_dir, bundle_dir):
        shutil.rmtree(d, ignore_errors=True)
        d.mkdir(parents=True)
    valid = sorted((FIXTURES / "valid").glob("*.json"))
    invalid = sorted((FIXTURES / "invalid").glob("*.json"))
    for path in valid + invalid[::8]:
        if path.stat().st_size <= LIMIT:
            shutil.copy(path, ir_dir / f"{path.parent.name}_{path.name}")

    source = "def f():\n    return 1\n"
    for path in valid:
        text = path.read_text(encoding="utf-8")
        if path.stat().st_size > LIMIT:
            continue
        try:
            doc = json.loads(text)
        except (ValueError, RecursionError):
            continue
        if not isinstance(doc, dict):
            continue
        doc["module_name"] = "con_token"
        doc["source_hash"] = sha(source)
        ir = json.dumps(doc, separators=(",", ":"))
        artifacts = {
            "format": "veln_contract_artifact_v1",
            "module_name": "con_token",
            "vm_profile": "veln_vm_v1",
            "source": source,
            "vm_ir_json": ir,
            "hashes": {
                "source_sha256": sha(source),
                "vm_ir_sha256": sha(ir),
                "input_source_sha256": sha("# source\n"),
            },
        }
        (art_dir / f"ok_{path.name}").write_text(json.dumps(artifacts), encoding="utf-8")
    base = json.loads((art_dir / "ok_empty_module.json").read_text(encoding="utf-8"))
    variants = {
        "runtime_code": dict(base, runtime_code=None),
        "no_hashes": {k: v for k, v in base.items() if k != "hashes"},
        "upper_digest": dict(base, hashes=dict(base["hashes"], source_sha256=sha(source).upper())),
        "bad_ir": dict(base, vm_ir_json="{}", hashes=dict(base["hashes"], vm_ir_sha256=sha("{}"))),
    }
    for name, doc in variants.items():
        (art_dir / f"bad_{name}.json").write_text(json.dumps(doc), encoding="utf-8")
    write_bundle_seeds(valid, bundle_dir)


def write_bundle_seeds(valid, bundle_dir) -> None:
    docs = []
    for path in valid:
        if path.stat().st_size > LIMIT // 2:
            continue
        try:
            doc = json.loads(path.read_text(encoding="utf-8"))
        except (ValueError, RecursionError):
            continue
        if isinstance(doc, dict) and isinstance(doc.get("module_name"), str):
            docs.append((path.stem, doc))
    for stem, doc in docs[::4]:
        name = doc["module_name"]
        spaced = json.dumps({name: doc}, indent=1, ensure_ascii=False)
        (bundle_dir / f"one_{stem}.json").write_text(spaced, encoding="utf-8")
    (stem_a, a), (stem_b, b) = docs[0], docs[1]
    b = dict(b, module_name="other")
    pair = '{"other": %s, "%s": %s}' % (json.dumps(b), a["module_name"], json.dumps(a, indent=2))
    (bundle_dir / "pair.json").write_text(pair, encoding="utf-8")
    repeated = '{"%s": 1, "%s": %s}' % (a["module_name"], a["module_name"], json.dumps(a))
    (bundle_dir / "repeated_key.json").write_text(repeated, encoding="utf-8")
    (bundle_dir / "misnamed.json").write_text(json.dumps({"x": a}), encoding="utf-8")


if __name__ == "__main__":
    main()
