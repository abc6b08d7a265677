import pytest

import kelvorin
from helpers import panic_type


@pytest.fixture
def sim():
    return kelvorin.Kelvorin(3)


@pytest.fixture(scope="session")
def PanicException():
    return panic_type()
