import pytest
from helpers import panic_type

import kelvorin


@pytest.fixture
def sim():
    return kelvorin.Kelvorin(3)


@pytest.fixture(scope="session")
def PanicException():
    return panic_type()
