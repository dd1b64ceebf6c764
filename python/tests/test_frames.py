"""Every frame type's pixels, whole and windowed, native and converted, in C and in F order, against NumPy."""

import numpy as np
import pytest

import zorvframekit as zfk
from oracles import ALL, MONO, PACKED_YUV, PLANAR_YUV, RGB24, WITH_ROW_ORDER, bitmap, converted, native, raw_size, window

# Rows are converted in chunks of 2048 pixels: the widest size takes two.
SIZES = [(1, 1), (5, 3), (9, 4), (16, 6), (2051, 2)]
CASES = [(name, False) for name in ALL] + [(name, True) for name in WITH_ROW_ORDER]


def both_orders(frame, space=None):
    """The array in C order (the default) and in F order (the host array), each laid out as asked."""
    c, f = frame.to_array(space), frame.to_array(space, order="F")
    assert c.flags.c_contiguous and f.flags.f_contiguous and c.dtype == f.dtype
    return c, f


def filled(name, w, h, raw, limiter, bottom_up=False):
    frame = zfk.Frame(name, w, h, limiter, bottom_up=bottom_up)
    frame.copy_data(raw)
    return frame


@pytest.mark.parametrize("name,bottom_up", CASES)
def test_every_type_in_every_space(name, bottom_up, rng, limiter):
    for w, h in SIZES:
        raw = rng.integers(0, 256, raw_size(name, w, h), dtype=np.uint8)
        frame = filled(name, w, h, raw, limiter, bottom_up)
        expected = native(name, raw, w, h, bottom_up)
        for got in both_orders(frame):
            assert got.dtype == expected.dtype
            np.testing.assert_array_equal(got, expected, err_msg=f"{name} {w}x{h}")
        for space in ("rgb", "yuv", "mono"):
            if MONO.get(name, (1,))[0] == 2 and space != "mono":
                for order in "CF":
                    with pytest.raises(ValueError, match="only their native space"):
                        frame.to_array(space, order)
                continue
            for got in both_orders(frame, space):
                np.testing.assert_array_equal(got, converted(expected, frame.color_space, space),
                                              err_msg=f"{name} {w}x{h} as {space}")
        bits, rows = bitmap(name, raw, w, h, bottom_up)
        header, got_rows = frame.to_bitmap()
        assert (header["width"], header["height"], header["bit_count"], header["size"]) == (w, h, bits, 40)
        np.testing.assert_array_equal(got_rows, rows, err_msg=f"{name} {w}x{h} bitmap")


def test_several_accepted_spaces_prefer_native_then_rgb_yuv_mono(rng, limiter):
    raw = rng.integers(0, 256, 2 * 4 * 2, dtype=np.uint8)
    frame = filled("YUY2", 4, 2, raw, limiter)
    yuv = native("YUY2", raw, 4, 2)
    np.testing.assert_array_equal(frame.to_array(("mono", "rgb", "yuv")), yuv)
    np.testing.assert_array_equal(frame.to_array({"mono", "rgb"}), converted(yuv, "yuv", "rgb"))
    np.testing.assert_array_equal(frame.to_array(["mono"]), yuv[..., 0])


@pytest.mark.parametrize("name", [n for n in ALL if n not in PLANAR_YUV])
def test_windows_anywhere_in_a_larger_image(name, rng, limiter):
    bottom_up = name in WITH_ROW_ORDER
    sw, sh = 19, 7
    raw = rng.integers(0, 256, raw_size(name, sw, sh), dtype=np.uint8)
    frame = zfk.Frame(name, 6, 3, limiter, bottom_up=bottom_up)
    # Every start inside a pixel group, the right edge, then back to a plain start.
    for x, y in [(0, 0), (1, 2), (2, 1), (3, 4), (5, 0), (13, 4), (8, 2)]:
        frame.copy_region(raw, sw, sh, x, y)
        expected = window(name, raw, sw, sh, x, y, 6, 3, bottom_up)
        for space in (None, "rgb", "yuv", "mono") if MONO.get(name, (1,))[0] == 1 else (None,):
            for got in both_orders(frame, space):
                np.testing.assert_array_equal(got, converted(expected, frame.color_space, space or frame.color_space),
                                              err_msg=f"{name} at {x},{y} as {space}")
    plain = rng.integers(0, 256, raw_size(name, 6, 3), dtype=np.uint8)
    frame.copy_data(plain)
    assert frame.data_size == raw_size(name, 6, 3)
    np.testing.assert_array_equal(frame.to_array(), native(name, plain, 6, 3, bottom_up))


@pytest.mark.parametrize("name", PLANAR_YUV)
def test_planar_yuv_windows_take_chroma_from_the_block_they_start_in(name, rng, limiter):
    f = PLANAR_YUV[name][0]
    sw, sh = 6 * f, 4 * f
    raw = rng.integers(0, 256, raw_size(name, sw, sh), dtype=np.uint8)
    for w, h, x, y in [(f, f, 0, 0), (2 * f, f, f, 2 * f), (3, 2, 1, 1), (5, 3, sw - 5, sh - 3)]:
        frame = zfk.Frame(name, w, h, limiter)
        frame.copy_region(raw, sw, sh, x, y)
        expected = window(name, raw, sw, sh, x, y, w, h)
        for space in (None, "rgb", "mono"):
            for got in both_orders(frame, space):
                np.testing.assert_array_equal(got, converted(expected, "yuv", space or "yuv"),
                                              err_msg=f"{name} {w}x{h} at {x},{y} as {space}")


def test_packed_yuv_row_grows_a_group_for_a_window_inside_a_group(limiter):
    frame = zfk.Frame("YUY2", 4, 2, limiter)
    assert frame.data_size == 16
    source = np.arange(8 * 2 * 4, dtype=np.uint8)  # 8 x 4 pixels
    frame.copy_region(source, 8, 4, 3, 2)
    assert frame.data_size == 24 and limiter.used == 24
    # Source rows are 16 bytes; pixel 3 of row 2 is the Y1 of the group at byte 36.
    np.testing.assert_array_equal(frame.to_array()[0, :, 0], [38, 40, 42, 44])
    frame.copy_region(source, 8, 4, 4, 2)
    assert frame.data_size == 16 and limiter.used == 16


# Anchors for the oracles, worked out by hand from the layouts.
@pytest.mark.parametrize(
    "name,raw,w,h,expected",
    [
        ("Mono10BE", [0x03, 0xFF, 0x12, 0x00], 2, 1, [[1023, 0x1200]]),  # bits above the depth pass
        ("BGR24", [10, 20, 30, 40, 50, 60], 2, 1, [[[30, 20, 10], [60, 50, 40]]]),
        ("RGB565", [0xFF, 0xFF], 1, 1, [[[248, 252, 248]]]),
        ("UYVY", [0x80, 0x10, 0x80, 0xEB], 2, 1, [[[16, 128, 128], [235, 128, 128]]]),
        ("YV12", [50, 60, 70, 80, 90, 100], 2, 2, [[[50, 100, 90], [60, 100, 90]], [[70, 100, 90], [80, 100, 90]]]),
    ],
)
def test_hand_checked_native_arrays(name, raw, w, h, expected, limiter):
    np.testing.assert_array_equal(filled(name, w, h, bytes(raw), limiter).to_array(), expected)


@pytest.mark.parametrize(
    "name,raw,space,expected",
    [
        ("IYU2", [0, 16, 128], "rgb", [0, 50, 0]),  # negative blue clamped
        ("IYU2", [255, 255, 255], "rgb", [255, 125, 255]),
        ("RGB24", [0, 0, 255], "yuv", [41, 240, 110]),
        ("RGB24", [255, 255, 255], "mono", 254),
        ("Mono8", [255], "yuv", [235, 128, 128]),
    ],
)
def test_hand_checked_conversions(name, raw, space, expected, limiter):
    np.testing.assert_array_equal(filled(name, 1, 1, bytes(raw), limiter).to_array(space)[0, 0], expected)


def test_hand_checked_bitmap_keeps_pad_bytes_zero(limiter):
    frame = filled("Mono8", 3, 2, bytes([1, 2, 3, 4, 5, 6]), limiter)
    header, rows = frame.to_bitmap()
    assert header["bit_count"] == 8 and header["compression"] == 0
    np.testing.assert_array_equal(rows, [[4, 5, 6, 0], [1, 2, 3, 0]])
    _, rows = filled("Mono8", 3, 2, bytes([1, 2, 3, 4, 5, 6]), limiter, bottom_up=True).to_bitmap()
    np.testing.assert_array_equal(rows, [[1, 2, 3, 0], [4, 5, 6, 0]])


def test_buffers_of_every_kind(limiter):
    raw = np.arange(12, dtype=np.uint8)
    expected = raw.reshape(3, 4)
    for source in (bytes(raw), bytearray(raw), memoryview(bytes(raw)), raw, raw.reshape(3, 4), raw.view("<u2")):
        frame = zfk.Frame("Mono8", 4, 3, limiter)
        frame.copy_data(source)
        np.testing.assert_array_equal(frame.to_array(), expected)


def test_formats_lists_every_type_with_its_code_and_size():
    listed = {f.name: f for f in zfk.formats(8, 4)}
    assert list(listed) == ALL
    assert listed["YUY2"].code == 0x03000000 and listed["YUY2"].bytes == 64 and listed["YUY2"].color_space == "YUV"
    assert listed["Mono12BE"].code == 0x11000006 and listed["Mono12BE"].has_row_order
    assert not listed["RGBP"].has_row_order
    assert zfk.formats(2**30, 2**30)[0].bytes is None
    for f in listed.values():
        assert f.bytes == raw_size(f.name, 8, 4)
        assert zfk.Frame(f.code, 8, 4).format == f.name
    assert zfk.Frame("mono12be", 8, 4, bottom_up=True).type_code == 0x11000106


def test_frame_properties(limiter):
    frame = zfk.Frame("Mono12", 640, 480, limiter, bottom_up=True)
    assert frame.dimensions == (640, 480, 1)
    assert (frame.bit_depth, frame.data_size, frame.color_space) == (12, 614400, "mono")
    assert frame.type_code == 0x11000102 and frame.format == "Mono12 bottom-up"
    assert frame.limiter is limiter and not frame.has_data
    frame.time = 1700000000.25
    assert frame.time == 1700000000.25
    assert zfk.Frame("RGB24", 2, 2).limiter is zfk.default_limiter
    assert "I420 2x2" in repr(zfk.Frame(0x04000002, 2, 2))
