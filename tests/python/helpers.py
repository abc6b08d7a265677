"""Helpers shared by the Python tests."""

import os
import subprocess
import sys
import textwrap

import pytest

from kelvorin import Kelvorin

# How the suite runs: under AddressSanitizer (tools/test-sanitize), or
# emulated by qemu-user (tools/test-aarch64), which keeps its translated code
# in the process's resident memory and applies no address-space limit
# (RLIMIT_AS) to the program it runs.
UNDER_ASAN = os.environ.get("KELVORIN_UNDER_ASAN") == "1"
EMULATED = os.environ.get("KELVORIN_EMULATED") == "1"

# For the tests that cap the address space to make the engine's allocations
# fail.
needs_address_space_limit = pytest.mark.skipif(
    UNDER_ASAN or EMULATED,
    reason="qemu-user does not apply an address-space limit to the program it runs"
    if EMULATED
    else "AddressSanitizer maps memory for its own bookkeeping, so an address-space cap ends the process inside "
    "the sanitizer instead of failing the engine's allocation",
)

# The gate methods, in the order of the method table.
SINGLE_QUBIT_GATES = ["x", "y", "z", "h", "s", "sdag"]
TWO_QUBIT_GATES = ["cz", "cx", "xcx", "ycx", "xcz", "ycz", "cy", "xcy", "ycy"]


class Index:
    """An index argument that converts through Python code: __index__ counts
    the call, calls `callback` first if given (re-entrant use, its result
    kept), raises `raises` if given, and returns `value`."""

    def __init__(self, value=0, raises=None, callback=None):
        self.value, self.raises, self.callback = value, raises, callback
        self.calls = 0
        self.result = None

    def __index__(self):
        self.calls += 1
        if self.callback is not None:
            self.result = self.callback()
        if self.raises is not None:
            raise self.raises
        return self.value


def panic_type():
    """The PanicException class, which the module does not export."""
    try:
        Kelvorin(0).x(0)
    except BaseException as e:
        return type(e)
    raise AssertionError("an out-of-range gate did not raise")


def run_python(code, timeout=None, env_drop=()):
    """Runs `code`, dedented, in a fresh interpreter, without the environment
    variables named in `env_drop`; returns the finished process with its
    output as text."""
    argv = [sys.executable, "-c", textwrap.dedent(code)]
    env = {k: v for k, v in os.environ.items() if k not in env_drop}
    return subprocess.run(argv, capture_output=True, text=True, timeout=timeout, env=env)
