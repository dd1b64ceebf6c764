"""Bad input raises a clear Python exception and leaves everything as it was."""

import numpy as np
import pytest

import zorvframekit as zfk


def test_unknown_types_and_sizes():
    with pytest.raises(ValueError, match="unknown frame format 'YUV2'"):
        zfk.Frame("YUV2", 4, 4)
    for code in (0x03000007, 0x07000000, -1, 2**80):
        with pytest.raises(ValueError, match="unknown frame type code"):
            zfk.Frame(code, 4, 4)
    with pytest.raises(ValueError, match="always top-down"):
        zfk.Frame("YUY2", 4, 4, bottom_up=True)
    with pytest.raises(ValueError, match="positive"):
        zfk.Frame("Mono8", 0, 4)
    with pytest.raises(ValueError, match="too large"):
        zfk.Frame("RGBX", 2**20, 2**20)
    with pytest.raises(ValueError, match="out of range"):
        zfk.Frame("Mono8", 2**31, 1)
    with pytest.raises(TypeError):
        zfk.Frame(3.0, 4, 4)


def test_a_buffer_of_the_wrong_size_copies_nothing(limiter):
    frame = zfk.Frame("YUY2", 4, 2, limiter)
    with pytest.raises(ValueError, match="takes 16 bytes, the buffer has 15"):
        frame.copy_data(bytes(15))
    assert not frame.has_data and limiter.used == 0
    frame.copy_data(bytes(range(16)))
    with pytest.raises(ValueError, match="takes 16 bytes"):
        frame.copy_data(bytes(17))
    with pytest.raises(ValueError, match="8x2 YUY2 source image takes 32 bytes"):
        frame.copy_region(bytes(31), 8, 2, 1, 0)
    np.testing.assert_array_equal(frame.to_array()[0, :, 0], [0, 2, 4, 6])


def test_windows_outside_the_source_copy_nothing(limiter):
    frame = zfk.Frame("RGB24", 4, 2, limiter)
    source = bytes(3 * 6 * 3)
    for x, y in [(3, 0), (0, 2), (-1, 0), (0, -1)]:
        with pytest.raises(ValueError, match="does not fit in a 6x3 source"):
            frame.copy_region(source, 6, 3, x, y)
    with pytest.raises(ValueError, match="cannot be"):
        frame.copy_region(source, 0, 3, 0, 0)
    assert not frame.has_data
    with pytest.raises(ValueError, match="multiples of 4"):
        zfk.Frame("YVU9", 4, 4, limiter).copy_region(bytes(54), 6, 6, 0, 0)


def test_windows_at_offsets_past_any_source_copy_nothing(limiter):
    # x + width and y + height pass 64 bits here: the window still does not fit.
    for code, bytes_per_pixel in [("RGB24", 3), ("Mono8", 1), ("YUY2", 2), ("I420", 1.5)]:
        frame = zfk.Frame(code, 2, 2, limiter)
        source = bytes(int(6 * 4 * bytes_per_pixel))  # a 6x4 image
        for x, y in [(2**63 - 1, 0), (0, 2**63 - 1), (2**63 - 1, 2**63 - 1), (2**63 - 2, 0), (0, 2**63 - 2)]:
            with pytest.raises(ValueError, match="does not fit in a 6x4 source"):
                frame.copy_region(source, 6, 4, x, y)
        assert not frame.has_data and limiter.used == 0
    # A frame holding data keeps it.
    frame = zfk.Frame("RGB24", 2, 2, limiter)
    frame.copy_data(bytes(range(12)))
    before = frame.to_array().copy()
    for x, y in [(2**63 - 1, 0), (0, 2**63 - 1)]:
        with pytest.raises(ValueError, match="does not fit in a 6x3 source"):
            frame.copy_region(bytes(range(54)), 6, 3, x, y)
    np.testing.assert_array_equal(frame.to_array(), before)


def test_buffers_that_cannot_be_read_as_bytes(limiter):
    frame = zfk.Frame("Mono8", 2, 2, limiter)
    with pytest.raises(TypeError, match="bytes-like"):
        frame.copy_data("abcd")
    with pytest.raises(ValueError, match="contiguous"):
        frame.copy_data(np.zeros((2, 4), np.uint8)[:, ::2])
    with pytest.raises(ValueError, match="contiguous"):
        frame.copy_data(np.asfortranarray(np.zeros((2, 2), np.uint8)))


def test_a_refused_buffer_names_the_limit_and_the_used_amount():
    limiter = zfk.MemoryLimiter(minimum=1000, maximum=1000)
    held = zfk.Frame("Mono8", 20, 20, limiter)
    held.copy_data(bytes(400))
    frame = zfk.Frame("Mono8", 30, 30, limiter)
    with pytest.raises(MemoryError, match="buffer of 900 bytes: 400 of its limit of 1000 bytes are in use"):
        frame.copy_data(bytes(900))
    assert not frame.has_data and limiter.used == 400
    limiter.limit = 1300
    frame.copy_data(bytes(900))
    assert limiter.used == 1300


def test_a_refused_layout_change_keeps_what_the_frame_held():
    # A window inside a pixel group needs a group more a row; the limiter has no room for it.
    limiter = zfk.MemoryLimiter(minimum=16, maximum=16)
    frame = zfk.Frame("YUY2", 4, 2, limiter)
    frame.copy_data(bytes(range(16)))
    with pytest.raises(MemoryError, match="buffer of 24 bytes"):
        frame.copy_region(bytes(64), 8, 4, 1, 0)
    assert frame.data_size == 16 and limiter.used == 16
    np.testing.assert_array_equal(frame.to_array()[0, :, 0], [0, 2, 4, 6])


def test_arrays_asked_of_a_frame_without_data_or_in_no_known_space(limiter):
    frame = zfk.Frame("I420", 4, 4, limiter)
    for call in (frame.to_array, frame.to_bitmap, lambda: frame.to_array("rgb"), lambda: frame.to_array(order="F")):
        with pytest.raises(ValueError, match="holds no data"):
            call()
    frame.copy_data(bytes(24))
    with pytest.raises(ValueError, match="unknown colour space 'hsv'"):
        frame.to_array("hsv")
    with pytest.raises(ValueError, match="no colour space"):
        frame.to_array(())
    for order in ("A", "c", ""):
        with pytest.raises(ValueError, match="order is 'C' .* or 'F'"):
            frame.to_array("rgb", order)
    with pytest.raises(TypeError):
        frame.to_array("rgb", None)


def test_every_use_after_release_raises_value_error(limiter):
    frame = zfk.Frame("RGB24", 2, 2, limiter)
    frame.copy_data(bytes(12))
    frame.metadata["gain"] = 2.0
    frame.release()
    frame.release()  # a second release does nothing
    assert frame.released and limiter.used == 0
    uses = [
        lambda: frame.copy_data(bytes(12)), lambda: frame.copy_region(bytes(12), 2, 2, 0, 0),
        frame.to_array, frame.to_bitmap, lambda: frame.time, lambda: setattr(frame, "time", 1.0),
        lambda: frame.color_space, lambda: frame.bit_depth, lambda: frame.dimensions, lambda: frame.data_size,
        lambda: frame.type_code, lambda: frame.format, lambda: frame.has_data, lambda: frame.limiter,
        lambda: frame.metadata["gain"], lambda: len(frame.metadata), lambda: frame.metadata.set_time("t", 0),
        lambda: frame.metadata.__setitem__("gain", 1.0),
    ]
    for use in uses:
        with pytest.raises(ValueError, match="released"):
            use()
    assert "released" in repr(frame)


def test_metadata_and_limiter_errors(limiter):
    metadata = zfk.Frame("Mono8", 1, 1, limiter).metadata
    with pytest.raises(KeyError):
        metadata["missing"]
    with pytest.raises(ValueError, match="Latin-1"):
        metadata["name"] = "\u20ac"
    with pytest.raises(ValueError, match="NUL"):
        metadata["a\0b"] = 1.0
    with pytest.raises(TypeError, match="set_time"):
        metadata["name"] = [1]
    assert len(metadata) == 0
    with pytest.raises(ValueError, match="minimum must not exceed maximum"):
        zfk.MemoryLimiter(minimum=10, maximum=5)
    with pytest.raises(ValueError):
        limiter.limit = 2**31
    with pytest.raises(ValueError, match="unsigned 32-bit"):
        zfk.convert_tick(-1)


def test_bad_pool_arguments_and_a_closed_pool():
    with zfk.FramePool() as pool:
        with pytest.raises(ValueError, match="0 <= minimum <= maximum"):
            pool.set_limits(3, 2)
        with pytest.raises(ValueError, match="unknown frame format"):
            pool.get("nope", 2, 2)
    for use in (lambda: pool.get("Mono8", 2, 2), lambda: pool.frame_count, lambda: pool.set_limits(1, 2)):
        with pytest.raises(ValueError, match="closed"):
            use()
