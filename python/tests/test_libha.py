"""The NumPy host array library on its own, called as the frame library calls it: what the frames
never ask of it (the 32-bit class, a size NumPy refuses)."""

import ctypes
from pathlib import Path

import numpy as np
import pytest

import zorvframekit

HA_UINT8, HA_UINT16, HA_UINT32 = 9, 11, 13


@pytest.fixture(scope="module")
def ha():
    # PyDLL: calls keep the GIL, which the library must take again without waiting for itself.
    lib = ctypes.PyDLL(str(Path(zorvframekit.__file__).parent / "libha.so"))
    lib.haCreateNumericArray.argtypes = [ctypes.c_int, ctypes.POINTER(ctypes.c_int), ctypes.c_int, ctypes.c_int]
    lib.haCreateNumericMatrix.argtypes = [ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int]
    for name in ("haCreateNumericArray", "haCreateNumericMatrix", "haGetData", "haTakeObject"):
        getattr(lib, name).restype = ctypes.c_void_p
    for name in ("haGetData", "haGetDimensions", "haGetClassID", "haIsUint8", "haTakeObject",
                 "haGetNumberOfDimensions", "haGetNumberOfElements", "haGetElementSize"):
        getattr(lib, name).argtypes = [ctypes.c_void_p]
    lib.haGetDimensions.restype = ctypes.POINTER(ctypes.c_int)
    lib.haIsUint8.restype = ctypes.c_bool
    lib.haGetNumberOfElements.restype = ctypes.c_size_t
    return lib


def take(ha, handle):
    pointer = ha.haTakeObject(handle)
    value = ctypes.cast(pointer, ctypes.py_object).value
    ctypes.pythonapi.Py_DecRef(ctypes.c_void_p(pointer))  # the cast took a reference of its own
    return value


def test_numeric_arrays_are_fortran_ordered_numpy_arrays_of_the_class(ha):
    for class_id, dtype in ((HA_UINT8, np.uint8), (HA_UINT16, np.uint16), (HA_UINT32, np.uint32)):
        dims = (ctypes.c_int * 3)(2, 3, 4)
        handle = ha.haCreateNumericArray(3, dims, class_id, 0)
        assert ha.haGetClassID(handle) == class_id and ha.haIsUint8(handle) == (class_id == HA_UINT8)
        assert list(ha.haGetDimensions(handle)[:3]) == [2, 3, 4] and ha.haGetNumberOfDimensions(handle) == 3
        assert ha.haGetNumberOfElements(handle) == 24 and ha.haGetElementSize(handle) == np.dtype(dtype).itemsize
        block = np.ctypeslib.as_array(ctypes.cast(ha.haGetData(handle), ctypes.POINTER(ctypes.c_uint8)),
                                      (24 * np.dtype(dtype).itemsize,))
        block[:] = np.arange(24, dtype=dtype).view(np.uint8)  # filled as a column-major block
        array = take(ha, handle)
        assert array.dtype == dtype and array.flags.f_contiguous and array.flags.owndata
        np.testing.assert_array_equal(array, np.arange(24, dtype=dtype).reshape((2, 3, 4), order="F"))
    matrix = take(ha, ha.haCreateNumericMatrix(3, 0, HA_UINT8, 0))
    assert matrix.shape == (3, 0)


def test_what_cannot_be_made_is_null_and_leaves_no_python_error(ha):
    huge = (ctypes.c_int * 3)(2**30, 2**30, 2**10)
    assert ha.haCreateNumericArray(3, huge, HA_UINT8, 0) is None
    negative = (ctypes.c_int * 2)(-1, 2)
    assert ha.haCreateNumericArray(2, negative, HA_UINT8, 0) is None
    assert ha.haCreateNumericMatrix(2, 2, 99, 0) is None
    assert [1][0] == 1  # a pending error would surface here
