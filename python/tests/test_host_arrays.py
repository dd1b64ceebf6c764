"""The NumPy host array library: what the frames hand over, whose it is, and the GIL."""

import gc
import math
import sys
import threading
import time
import tracemalloc
from datetime import datetime, timezone
from pathlib import Path

import numpy as np
import pytest

import zorvframekit as zfk


def test_the_library_runs_over_the_packages_own_libha():
    loaded = {Path(line.split()[-1]) for line in open("/proc/self/maps") if ".so" in line}
    package = Path(zfk.__file__).parent
    libhas = {path for path in loaded if path.name == "libha.so"}
    assert libhas == {package / "libha.so"}
    assert package / "libzorvframekit.so.0" in loaded
    assert b"haTakeObject" in (package / "libha.so").read_bytes()


def test_arrays_are_handed_over_whole_and_outlive_their_frame(limiter):
    frame = zfk.Frame("RGB24", 5, 3, limiter)
    frame.copy_data(bytes(range(45)))
    for order in "CF":
        rgb, yuv = frame.to_array(order=order), frame.to_array("yuv", order)
        mono = frame.to_array("mono", order)
        # Nothing but this test holds them: neither the host array library nor the package kept one.
        assert sys.getrefcount(rgb) == 2 and sys.getrefcount(mono) == 2
        assert rgb.flags.owndata and rgb.flags.writeable and rgb.flags[order + "_CONTIGUOUS"]
        assert mono.shape == (3, 5) and mono.flags.owndata
        arrays = rgb, yuv
    del frame
    gc.collect()
    assert limiter.used == 0
    rgb, yuv = arrays
    assert rgb[2, 4].tolist() == [42, 43, 44] and yuv.shape == (3, 5, 3)
    rgb[0, 0] = 7  # the caller's to change


def test_c_order_strides_are_numpys_own(limiter):
    for name, shape, itemsize in (("YUY2", (3, 4, 3), 1), ("Mono12", (3, 4), 2), ("Mono8", (3, 4), 1)):
        frame = zfk.Frame(name, 4, 3, limiter)
        frame.copy_data(bytes(frame.data_size))
        got = frame.to_array()
        assert got.shape == shape and got.strides == np.empty(shape, got.dtype).strides and got.itemsize == itemsize
        assert got.dtype.isnative


def test_kernel_levels_can_be_chosen():
    levels = zfk._zorvframekit._kernel_levels()
    best = zfk._zorvframekit._kernels()
    assert levels[0] == "plain" and best == levels[-1]
    frame = zfk.Frame("UYVY", 70, 3)
    frame.copy_data(np.random.default_rng(3).integers(0, 256, frame.data_size, dtype=np.uint8))
    try:
        expected = frame.to_array("rgb")
        for level in levels:
            assert zfk._zorvframekit._kernels(level) == level
            np.testing.assert_array_equal(frame.to_array("rgb"), expected, err_msg=level)
        with pytest.raises(ValueError, match="unknown kernel level 'sse4'"):
            zfk._zorvframekit._kernels("sse4")
    finally:
        zfk._zorvframekit._kernels(best)


def test_metadata_values_become_python_values(limiter):
    frame = zfk.Frame("Mono8", 1, 1, limiter)
    latin = "".join(chr(c) for c in range(1, 256))
    frame.metadata["text"] = latin
    frame.metadata["gain"] = 3
    frame.metadata["exposure"] = 0.008
    frame.metadata["exposure"] = 0.004  # replaced, in its place
    frame.metadata.set_time("start", 1700000000.25)
    frame.metadata.set_time("epoch", datetime(1970, 1, 1, tzinfo=timezone.utc))
    frame.metadata.set_time("never", math.nan)
    assert list(frame.metadata) == ["epoch", "exposure", "gain", "never", "start", "text"]
    assert frame.metadata["text"] == latin and type(frame.metadata["gain"]) is float
    assert frame.metadata["exposure"] == 0.004 and "gain" in frame.metadata and "lost" not in frame.metadata
    start = frame.metadata["start"]
    assert start.shape == (1, 6) and start.dtype == np.float64
    np.testing.assert_array_equal(start, [[2023, 11, 14, 22, 13, 20.25]])
    np.testing.assert_array_equal(frame.metadata["epoch"], [[1970, 1, 1, 0, 0, 0]])
    assert np.isnan(frame.metadata["never"]).all()
    assert sys.getrefcount(frame.metadata["text"]) == 2


def test_no_leak_over_many_frames():
    limiter = zfk.MemoryLimiter(minimum=2_000_000, maximum=2_000_000)

    def churn(count):
        for n in range(count):
            frame = zfk.Frame("YV12", 64, 48, limiter)
            frame.copy_data(bytes(64 * 48 * 3 // 2))
            frame.metadata["n"] = float(n)
            frame.metadata["name"] = "frame"
            frame.metadata.set_time("t", n)
            frame.to_array("rgb"), frame.to_array("mono"), frame.to_bitmap(), dict(frame.metadata)
            if n % 2:
                frame.release()

    churn(50)
    gc.collect()
    tracemalloc.start()
    before = tracemalloc.get_traced_memory()[0]
    churn(500)  # some 30 MB of arrays made and dropped
    gc.collect()
    grown = tracemalloc.get_traced_memory()[0] - before
    tracemalloc.stop()
    assert limiter.used == 0
    assert grown < 200_000


def test_conversions_run_while_other_threads_convert():
    """While one thread is inside a long conversion, another converts too: the GIL is let go, in
    either order. The plain kernels make the long one last (tens of milliseconds), so that the
    other thread has its turns even on a busy machine."""
    big = zfk.Frame("YUY2", 3000, 2000, zfk.MemoryLimiter(minimum=10**8, maximum=10**8))
    big.copy_data(np.random.default_rng(2).integers(0, 256, 3000 * 2000 * 2, dtype=np.uint8))
    small = zfk.Frame("YUY2", 64, 48)
    small.copy_data(bytes(64 * 48 * 2))
    stamps, calls, stop = [], [], threading.Event()

    def convert_small():
        while not stop.is_set():
            small.to_array("rgb")
            stamps.append(time.perf_counter())

    best = zfk._zorvframekit._kernels()
    zfk._zorvframekit._kernels("plain")
    other = threading.Thread(target=convert_small)
    other.start()
    try:
        while not stamps:
            time.sleep(0.001)
        for order in "CFCFC":
            start = time.perf_counter()
            big.to_array("rgb", order)
            calls.append((start, time.perf_counter()))
    finally:
        stop.set()
        other.join()
        zfk._zorvframekit._kernels(best)
    # Were the GIL held for the call, no small conversion could finish in its middle half.
    inside = [any(s + (e - s) / 4 < t < e - (e - s) / 4 for t in stamps) for s, e in calls]
    assert sum(inside) >= 3, calls
