import zlib

import numpy as np
import pytest

import zorvframekit as zfk


@pytest.fixture
def rng(request):
    # A seed of its own for every test, so that a failure repeats.
    return np.random.default_rng(zlib.crc32(request.node.name.encode()))


@pytest.fixture
def limiter():
    """A limiter of 64 MB, whatever memory the machine has."""
    return zfk.MemoryLimiter(minimum=64_000_000, maximum=64_000_000)
