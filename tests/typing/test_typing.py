"""The type stubs as a user's type checker sees them, from the installed
distribution: uses_every_method.py checks clean under `mypy --strict` and
basedpyright (strict), and in misuses.py each checker reports exactly the lines
marked for it.  Run against an installed wheel (tools/test-wheel); the stubs
are found in site-packages, not in the source tree."""

import json
import pathlib
import re
import shutil
import subprocess
import sys

import pytest

HERE = pathlib.Path(__file__).resolve().parent
USES = HERE / "uses_every_method.py"
MISUSES = HERE / "misuses.py"


def mypy(path, tmp_path):
    out = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--enable-error-code", "truthy-bool",
                          "--no-incremental", "--cache-dir", str(tmp_path / "mypy-cache"),
                          "--python-executable", sys.executable, "--no-error-summary", str(path)],
                         cwd=tmp_path, capture_output=True, text=True)
    lines = {int(m[1]) for m in re.finditer(rf"^{re.escape(str(path))}:(\d+): error:", out.stdout, re.M)}
    assert out.returncode == (1 if lines else 0), out.stdout + out.stderr
    return lines, out.stdout


def basedpyright(path, tmp_path):
    exe = shutil.which("basedpyright", path=str(pathlib.Path(sys.executable).parent)) or shutil.which("basedpyright")
    assert exe, "basedpyright is not installed"
    out = subprocess.run([exe, "--outputjson", "--project", str(HERE / "pyrightconfig.json"),
                          "--pythonpath", sys.executable, str(path)],
                         cwd=tmp_path, capture_output=True, text=True)
    report = json.loads(out.stdout)
    diagnostics = [d for d in report["generalDiagnostics"] if d["severity"] in ("error", "warning")]
    return {d["range"]["start"]["line"] + 1 for d in diagnostics}, out.stdout


CHECKERS = {"mypy": mypy, "basedpyright": basedpyright}


@pytest.mark.parametrize("checker", CHECKERS)
def test_stubs_are_found_from_the_installed_distribution(checker, tmp_path):
    import kelvorin

    assert "site-packages" in kelvorin.__file__, f"not an installed kelvorin: {kelvorin.__file__}"
    assert (pathlib.Path(kelvorin.__file__).parent / "kelvorin-stubs" / "__init__.pyi").is_file()


@pytest.mark.parametrize("checker", CHECKERS)
def test_every_method_type_checks(checker, tmp_path):
    lines, report = CHECKERS[checker](USES, tmp_path)
    assert lines == set(), report


@pytest.mark.parametrize("checker", CHECKERS)
def test_each_misuse_is_reported(checker, tmp_path):
    expected = set()
    for number, line in enumerate(MISUSES.read_text().splitlines(), 1):
        marker = re.search(r"# expect-error(?:\[(\w+)\])?$", line)
        if marker and marker[1] in (None, checker):
            expected.add(number)
    assert len(expected) >= 15
    lines, report = CHECKERS[checker](MISUSES, tmp_path)
    assert lines == expected, f"missing {sorted(expected - lines)}, unexpected {sorted(lines - expected)}\n{report}"
