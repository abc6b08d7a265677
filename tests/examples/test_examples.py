"""Every script under examples/ runs to completion with the interpreter that
runs the tests (and so with the kelvorin it imports).  Each script checks its
own physical result and exits non-zero when that is wrong; this harness also
asks for the script's closing "ok" line, so a script that stops early or
checks nothing does not pass."""

import os
import pathlib
import subprocess
import sys

import pytest

EXAMPLES = sorted((pathlib.Path(__file__).resolve().parents[2] / "examples").glob("*.py"))


def test_every_example_is_collected():
    assert len(EXAMPLES) >= 7


@pytest.mark.parametrize("script", EXAMPLES, ids=lambda p: p.name)
def test_example(script, tmp_path):
    # Run from an empty directory so that only the installed (or PYTHONPATH)
    # module is importable.
    out = subprocess.run([sys.executable, str(script)], cwd=tmp_path, capture_output=True, text=True,
                         env=os.environ, timeout=600)
    assert out.returncode == 0, out.stdout + out.stderr
    if script.name != "demo.py":
        assert out.stdout.splitlines()[-1].endswith(": ok"), out.stdout
