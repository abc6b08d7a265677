import pytest

import kelvorin


@pytest.fixture
def sim():
    return kelvorin.Kelvorin(3)


def panic_type():
    """The PanicException class, which the module does not export."""
    s = kelvorin.Kelvorin(0)
    try:
        s.x(0)
    except BaseException as e:  # noqa: BLE001 - this is what we want to catch
        return type(e)
    raise AssertionError("an out-of-range gate did not raise")


@pytest.fixture(scope="session")
def PanicException():
    return panic_type()
