"""Every script under examples/ runs to completion with the interpreter that
runs the tests (and so with the kelvorin it imports).  Each script checks its
own physical result and exits non-zero when that is wrong; this harness also
asks for the script's closing "ok" line, so a script that stops early or
checks nothing does not pass.  An example that needs packages beyond kelvorin
(an optional dependency of pyproject.toml) is skipped, with the reason shown,
only where those packages are not installed."""

import importlib.util
import os
import pathlib
import re
import subprocess
import sys
import tomllib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = sorted((ROOT / "examples").glob("*.py"))
# Script -> (modules it imports beyond kelvorin, the extra that installs them).
NEEDS = {"dask_shots.py": (["dask", "distributed"], "distributed")}


def test_every_example_is_collected():
    assert len(EXAMPLES) >= 9


def test_needs_are_optional_dependencies():
    extras = tomllib.loads((ROOT / "pyproject.toml").read_text())["project"]["optional-dependencies"]
    for script, (modules, extra) in NEEDS.items():
        assert (ROOT / "examples" / script).is_file(), script
        names = {re.match(r"[A-Za-z0-9_.-]+", requirement)[0] for requirement in extras[extra]}
        assert names == set(modules), (script, extras[extra])


@pytest.mark.parametrize("script", EXAMPLES, ids=lambda p: p.name)
def test_example(script, tmp_path):
    modules, extra = NEEDS.get(script.name, ([], ""))
    missing = [m for m in modules if importlib.util.find_spec(m) is None]
    if missing:
        pytest.skip(f"{script.name} needs {', '.join(missing)}: pip install 'kelvorin[{extra}]'")
    # Run from an empty directory so that only the installed (or PYTHONPATH)
    # module is importable.
    out = subprocess.run([sys.executable, str(script)], cwd=tmp_path, capture_output=True, text=True,
                         env=os.environ, timeout=600)
    assert out.returncode == 0, out.stdout + out.stderr
    if script.name != "demo.py":
        assert out.stdout.splitlines()[-1].endswith(": ok"), out.stdout
