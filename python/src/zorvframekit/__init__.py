"""Captured video frames of many pixel layouts, read back as NumPy arrays.

A Frame holds one raw frame as a camera delivered it (monochrome 8 to 16 bits, packed and
planar RGB, packed and planar YUV) and gives its pixels as NumPy arrays, in its native colour
space or converted, or as a Windows bitmap. A FramePool recycles frames, and a MemoryLimiter caps
the bytes their buffers hold.
"""

from __future__ import annotations

from collections.abc import Iterator, Mapping
from datetime import datetime
from numbers import Real
from typing import NamedTuple, Union

import numpy as np
import numpy.typing as npt

from ._zorvframekit import (
    Frame,
    FramePool,
    MemoryLimiter,
    convert_tick,
    default_limiter,
    timestamp,
)
from . import _zorvframekit

__all__ = [
    "Format",
    "Frame",
    "FramePool",
    "MemoryLimiter",
    "Metadata",
    "convert_tick",
    "default_limiter",
    "formats",
    "timestamp",
]

class Format(NamedTuple):
    """A frame type: its name, type code (top-down), native colour space, raw bytes of a frame of
    the size asked for (None when too large), layout, and whether it also comes bottom-up (type
    code | 0x100)."""

    name: str
    code: int
    color_space: str
    bytes: int | None
    description: str
    has_row_order: bool


def formats(width: int = 640, height: int = 480) -> list[Format]:
    """Every frame type the library knows, as `zfk formats` lists them."""
    return [Format(*row) for row in _zorvframekit._formats(width, height)]


# What a frame's metadata holds: a float, a str, or a time vector.
MetadataValue = Union[float, str, "npt.NDArray[np.float64]"]


def _encode(text: object, what: str) -> bytes:
    if not isinstance(text, str):
        raise TypeError(f"metadata {what} must be str, not {type(text).__name__}")
    try:
        return text.encode("latin-1")
    except UnicodeEncodeError:
        raise ValueError(f"metadata {what} must be Latin-1 text: {text!r}") from None


class Metadata(Mapping[str, MetadataValue]):
    """A frame's named values, in name order.

    Reading gives a float, a str, or for a timestamp the time vector of the host's support
    library: a (1, 6) float array [[year, month, day, hour, minute, seconds]] in UTC. Assigning
    a number stores a float and a str stores text; timestamps go in through set_time. A name
    given again replaces its value. Names and text are Latin-1, as the frame keeps C strings.
    """

    __slots__ = ("_frame",)

    def __init__(self, frame: Frame) -> None:
        self._frame = frame

    def __getitem__(self, name: str) -> MetadataValue:
        value = self._frame._metadata_value(_encode(name, "names"))
        if value is None:
            raise KeyError(name)
        return value

    def __setitem__(self, name: str, value: float | str) -> None:
        key = _encode(name, "names")
        if isinstance(value, str):
            self._frame._add_text_metadata(key, _encode(value, "text"))
        elif isinstance(value, Real) and not isinstance(value, bool):
            self._frame._add_double_metadata(key, float(value))
        else:
            raise TypeError(
                f"metadata values are numbers or str, not {type(value).__name__} (timestamps: set_time)"
            )

    def set_time(self, name: str, when: float | datetime) -> None:
        """Stores a timestamp: seconds since 1970 (UTC), or a datetime."""
        seconds = when.timestamp() if isinstance(when, datetime) else float(when)
        self._frame._add_time_metadata(_encode(name, "names"), seconds)

    def __iter__(self) -> Iterator[str]:
        return (name.decode("latin-1") for name in self._frame._metadata_names())

    def __len__(self) -> int:
        return len(self._frame._metadata_names())

    def __repr__(self) -> str:
        return f"Metadata({dict(self)!r})"


# The extension's class gets the property here (its stub declares it).
setattr(Frame, "metadata", property(Metadata, doc="The frame's named values (a Metadata mapping)."))
