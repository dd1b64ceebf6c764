"""What the frames should give, written independently with NumPy from the raw layouts."""

import numpy as np

# name: (bytes per sample, bit depth, high byte first)
MONO = {
    "Mono8": (1, 8, False),
    "Mono10": (2, 10, False), "Mono12": (2, 12, False), "Mono14": (2, 14, False), "Mono16": (2, 16, False),
    "Mono10BE": (2, 10, True), "Mono12BE": (2, 12, True), "Mono14BE": (2, 14, True), "Mono16BE": (2, 16, True),
}
# name: (bytes per pixel, byte offsets of red, green, blue)
RGB24 = {"RGB24": (3, (0, 1, 2)), "BGR24": (3, (2, 1, 0)), "RGBX": (4, (0, 1, 2)), "BGRX": (4, (2, 1, 0))}
RGB16 = ("RGB555", "RGB565")
# name: (bytes per group, pixels per group, Y offsets, U offsets, V offsets)
PACKED_YUV = {
    "YUY2": (4, 2, [0, 2], [1, 1], [3, 3]),
    "UYVY": (4, 2, [1, 3], [0, 0], [2, 2]),
    "YVYU": (4, 2, [0, 2], [3, 3], [1, 1]),
    "Y411": (6, 4, [1, 2, 4, 5], [0] * 4, [3] * 4),
    "IYU2": (3, 1, [1], [0], [2]),
    "Y41P": (12, 8, [1, 3, 5, 7, 8, 9, 10, 11], [0, 0, 0, 0, 4, 4, 4, 4], [2, 2, 2, 2, 6, 6, 6, 6]),
    "UVY": (3, 1, [2], [0], [1]),
}
# name: (subsampling, order of the planes)
PLANAR_YUV = {"YVU9": (4, "YVU"), "YV12": (2, "YVU"), "I420": (2, "YUV")}

ALL = [*MONO, *RGB24, *RGB16, "RGBP", *PACKED_YUV, *PLANAR_YUV]
WITH_ROW_ORDER = [*MONO, *RGB24, *RGB16]


def _padded(n, f):
    return -(-n // f) * f


def raw_size(name, w, h):
    if name in MONO:
        return MONO[name][0] * w * h
    if name in RGB24:
        return RGB24[name][0] * w * h
    if name in RGB16:
        return 2 * w * h
    if name == "RGBP":
        return 3 * w * h
    if name in PACKED_YUV:
        b, n = PACKED_YUV[name][:2]
        return -(-w // n) * b * h
    f = PLANAR_YUV[name][0]
    luma = _padded(w, f) * _padded(h, f)
    return luma + 2 * luma // (f * f)


def native(name, raw, w, h, bottom_up=False):
    """The frame's native array: (h, w) samples or (h, w, 3) bands, top row first."""
    raw = np.frombuffer(bytes(raw), np.uint8)
    if name in MONO:
        bpp, _, swapped = MONO[name]
        image = raw.reshape(h, w) if bpp == 1 else raw.view(">u2" if swapped else "<u2").reshape(h, w)
        out = image.astype(np.uint16 if bpp == 2 else np.uint8)
    elif name in RGB24:
        bpp, offsets = RGB24[name]
        pixels = raw.reshape(h, w, bpp)
        out = np.stack([pixels[..., o] for o in offsets], axis=-1)
    elif name in RGB16:
        v = raw.view("<u2").reshape(h, w).astype(np.int32)
        if name == "RGB555":
            out = np.stack([(v >> 7) & 0xF8, (v >> 2) & 0xF8, (v << 3) & 0xFF], axis=-1)
        else:
            out = np.stack([(v >> 8) & 0xF8, (v >> 3) & 0xFC, (v << 3) & 0xFF], axis=-1)
    elif name == "RGBP":
        out = np.moveaxis(raw.reshape(3, h, w), 0, -1)
    elif name in PACKED_YUV:
        return packed_window(name, raw, w, h, 0, 0, w, h)
    else:
        return planar_window(name, raw, _padded(w, PLANAR_YUV[name][0]), _padded(h, PLANAR_YUV[name][0]), 0, 0, w, h)
    if name not in MONO:
        out = out.astype(np.uint8)
    return out[::-1] if bottom_up else out


def packed_window(name, raw, sw, sh, x, y, w, h):
    b, n, yo, uo, vo = PACKED_YUV[name]
    rows = np.frombuffer(bytes(raw), np.uint8).reshape(sh, -1)
    positions = np.arange(x, x + w)
    start = (positions // n) * b
    j = positions % n
    picked = [rows[y:y + h][:, start + np.take(offsets, j)] for offsets in (yo, uo, vo)]
    return np.stack(picked, axis=-1)


def planar_window(name, raw, sw, sh, x, y, w, h):
    """A window's Y, U, V; its chroma starts at the block that holds (x, y), and is not resampled."""
    f, order = PLANAR_YUV[name]
    raw = np.frombuffer(bytes(raw), np.uint8)
    luma = sw * sh
    chroma = luma // (f * f)
    planes = {order[0]: raw[:luma].reshape(sh, sw)}
    planes[order[1]] = raw[luma:luma + chroma].reshape(sh // f, sw // f)
    planes[order[2]] = raw[luma + chroma:luma + 2 * chroma].reshape(sh // f, sw // f)
    r = y // f + np.arange(h)[:, None] // f
    c = x // f + np.arange(w)[None, :] // f
    return np.stack([planes["Y"][y:y + h, x:x + w], planes["U"][r, c], planes["V"][r, c]], axis=-1)


def window(name, raw, sw, sh, x, y, w, h, bottom_up=False):
    """What copy_region of a (w, h) frame at (x, y) of a sw x sh source gives as native array."""
    if name in PACKED_YUV:
        return packed_window(name, raw, sw, sh, x, y, w, h)
    if name in PLANAR_YUV:
        return planar_window(name, raw, sw, sh, x, y, w, h)
    return native(name, raw, sw, sh, bottom_up)[y:y + h, x:x + w]


def bitmap(name, raw, w, h, bottom_up=False):
    """(bits per pixel, rows): the bitmap's rows bottom row first, pad bytes 0."""
    image = native(name, raw, w, h, bottom_up)
    if name in MONO:
        depth = MONO[name][1]
        bits, pixels = 8, ((image >> (depth - 8)) & 0xFF).astype(np.uint8)
    elif name in RGB16:
        words = np.frombuffer(bytes(raw), "<u2").reshape(h, w)
        words = words[::-1] if bottom_up else words
        if name == "RGB565":
            words = ((words >> 1) & 0x7FE0) | (words & 0x1F)
        bits, pixels = 16, words.astype("<u2").view(np.uint8).reshape(h, 2 * w)
    elif name in RGB24 and RGB24[name][0] == 4:
        # The fourth byte: copied from the frame when the frame is blue-first, else left alone.
        fourth = np.frombuffer(bytes(raw), np.uint8).reshape(h, w, 4)[..., 3]
        fourth = fourth[::-1] if bottom_up else fourth
        if name == "RGBX":
            fourth = np.zeros_like(fourth)
        bits, pixels = 32, np.concatenate([image[..., ::-1], fourth[..., None]], axis=-1).reshape(h, 4 * w)
    else:
        rgb = yuv_to_rgb(image) if name in PACKED_YUV or name in PLANAR_YUV else image
        bits, pixels = 24, rgb[..., ::-1].reshape(h, 3 * w)
    stride = (pixels.shape[1] + 3) & ~3
    rows = np.zeros((h, stride), np.uint8)
    rows[:, :pixels.shape[1]] = pixels[::-1]
    return bits, rows


def yuv_to_rgb(a):
    c, d, e = (a[..., i].astype(np.int32) - k for i, k in enumerate((16, 128, 128)))
    rgb = [(298 * c + 409 * e + 128) >> 8, (298 * c - 100 * d - 208 * e + 128) >> 8, (298 * c + 516 * d + 128) >> 8]
    return np.clip(np.stack(rgb, axis=-1), 0, 255).astype(np.uint8)


def rgb_to_yuv(a):
    r, g, b = (a[..., i].astype(np.int32) for i in range(3))
    y = ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16
    u = ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128
    v = ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128
    return np.stack([y, u, v], axis=-1).astype(np.uint8)


def converted(a, native_space, space):
    """The library's conversion of a native 8-bit array to another colour space."""
    if native_space == space:
        return a
    if native_space == "mono":
        s = a.astype(np.int32)
        if space == "rgb":
            return np.stack([a] * 3, axis=-1)
        y = ((220 * s + 128) >> 8) + 16
        return np.stack([y, np.full_like(s, 128), np.full_like(s, 128)], axis=-1).astype(np.uint8)
    if space == "mono":
        if native_space == "yuv":
            return a[..., 0]
        r, g, b = (a[..., i].astype(np.int32) for i in range(3))
        return ((54 * r + 183 * g + 18 * b) >> 8).astype(np.uint8)
    return yuv_to_rgb(a) if native_space == "yuv" else rgb_to_yuv(a)
