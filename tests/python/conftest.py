import pytest
from helpers import panic_type

import kelvorin


@pytest.fixture
def sim():
    return kelvorin.Kelvorin(3)


@pytest.fixture(scope="session")
def PanicException():
    return panic_type()


# Under pytest-run-parallel (tools/test-ft: --parallel-threads) each test runs
# in several threads at once, with one set of fixture values between them.
# These tests cannot: they change or measure process-wide state, or share
# the sim fixture's one simulator between the copies, whose calls then meet
# its access flag.  They run in one thread there (--skip-thread-unsafe=true
# skips them instead), with the reason in the plugin's summary.
THREAD_UNSAFE = {
    "test_leaks.py": "counts the process's allocations, references and resident memory and freezes the collector",
    "test_memory_limits.py": "bounds the process's resident memory",
    "test_failure_atomicity.py": "fails the interpreter's allocations process-wide (_testcapi.set_nomemory)",
    "test_threads.py": "starts threads of its own and sets the process's switch interval",
    "test_conversion.py::test_unprintable_type_error": "replaces sys.unraisablehook",
}


def pytest_collection_modifyitems(config, items):
    if not config.pluginmanager.has_plugin("_run-parallel"):
        return
    for item in items:
        name = item.path.name
        reason = THREAD_UNSAFE.get(f"{name}::{getattr(item, 'originalname', item.name)}") or THREAD_UNSAFE.get(name)
        if reason is None and "sim" in getattr(item, "fixturenames", ()):
            reason = "shares the sim fixture's simulator between its threads"
        if reason is not None:
            item.add_marker(pytest.mark.thread_unsafe(reason=reason))
