// The host array library for a Python host: every array is a Python object. Numeric arrays are
// Fortran-ordered NumPy arrays (the column-major block the frames fill is the array's own memory),
// a double scalar is a float and a string is a str.
//
// The frame library calls these functions from whatever thread converts, usually with the GIL
// released so that other Python threads run meanwhile. Only creating and freeing touch Python
// objects, and they take the GIL themselves; everything a frame reads back (data, dimensions,
// class) is kept in the handle, so filling an array never waits for the GIL.
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <Python.h>
#include <numpy/arrayobject.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "ha_numpy.h"

struct HostArrayData {
    PyObject* object;  // owned reference
    int classID;
    int elementSize;
    int numberOfDimensions;
    int dimensions[NPY_MAXDIMS];  // kept here: nothing after the Python object is made can fail
    size_t elements;
    void* data;
    double scalar;     // the value of a double scalar, which a float does not expose as memory
    std::string text;  // the bytes of a string, NUL-terminated
};

namespace {

// Holds the GIL for one scope, whether or not the calling thread held it already.
class GilHold {
public:
    GilHold() : state(PyGILState_Ensure()) {}
    ~GilHold() { PyGILState_Release(state); }
    GilHold(const GilHold&) = delete;
    GilHold& operator=(const GilHold&) = delete;

private:
    PyGILState_STATE state;
};

// An array that cannot be had (NumPy refuses its size, memory runs out) is a null handle, and the
// Python error is dropped: the caller learns of it from the null, on whatever thread it runs.
HostArray refused() {
    PyErr_Clear();
    return nullptr;
}

bool numpyReady() {
    // The C API table of NumPy is fetched once, under the GIL.
    if (PyArray_API != nullptr) return true;
    if (_import_array() < 0) {
        PyErr_Clear();
        return false;
    }
    return true;
}

int typeOf(int classID, int& elementSize) {
    switch (classID) {
    case haUint8Class:
        elementSize = 1;
        return NPY_UINT8;
    case haUint16Class:
        elementSize = 2;
        return NPY_UINT16;
    case haUint32Class:
        elementSize = 4;
        return NPY_UINT32;
    case haDoubleClass:  // time vectors
        elementSize = 8;
        return NPY_FLOAT64;
    default:
        return -1;
    }
}

HostArray createNumeric(int numberOfDimensions, const int* dimensions, int classID) {
    if (numberOfDimensions < 0 || numberOfDimensions > NPY_MAXDIMS ||
        (numberOfDimensions > 0 && dimensions == nullptr))
        return nullptr;
    int elementSize = 0;
    const int type = typeOf(classID, elementSize);
    if (type < 0) return nullptr;
    npy_intp shape[NPY_MAXDIMS];
    size_t elements = 1;
    for (int i = 0; i < numberOfDimensions; ++i) {
        if (dimensions[i] < 0) return nullptr;
        shape[i] = dimensions[i];
        elements *= static_cast<size_t>(dimensions[i]);  // NumPy refuses what would overflow
    }

    std::unique_ptr<HostArrayData> array(new (std::nothrow) HostArrayData());
    if (!array) return nullptr;
    GilHold gil;
    if (!numpyReady()) return refused();
    // Zeroed, so that an array nobody filled reads as zeros; NumPy gets zeroed memory from calloc,
    // which costs nothing extra for large blocks.
    PyObject* object = PyArray_ZEROS(numberOfDimensions, shape, type, 1);
    if (object == nullptr) return refused();
    array->object = object;
    array->classID = classID;
    array->elementSize = elementSize;
    array->numberOfDimensions = numberOfDimensions;
    std::copy(dimensions, dimensions + numberOfDimensions, array->dimensions);
    array->elements = elements;
    array->data = PyArray_DATA(reinterpret_cast<PyArrayObject*>(object));
    return array.release();
}

}  // namespace

extern "C" {

HostArray haCreateNumericArray(int numberOfDimensions, const int* dimensions, int classID, int) {
    return createNumeric(numberOfDimensions, dimensions, classID);
}

HostArray haCreateNumericMatrix(int rows, int columns, int classID, int) {
    const int dimensions[2] = {rows, columns};
    return createNumeric(2, dimensions, classID);
}

void* haGetData(HostArray array) { return array ? array->data : nullptr; }

int* haGetDimensions(HostArray array) { return array ? array->dimensions : nullptr; }

int haGetClassID(HostArray array) { return array ? array->classID : 0; }

bool haIsUint8(HostArray array) { return array && array->classID == haUint8Class; }

void haFree(void* pointer) {
    HostArray array = static_cast<HostArray>(pointer);
    if (array == nullptr) return;
    {
        GilHold gil;
        Py_XDECREF(array->object);
    }
    delete array;
}

HostArray haCreateDoubleScalar(double value) {
    std::unique_ptr<HostArrayData> array(new (std::nothrow) HostArrayData());
    if (!array) return nullptr;
    GilHold gil;
    PyObject* object = PyFloat_FromDouble(value);
    if (object == nullptr) return refused();
    array->object = object;
    array->classID = haDoubleClass;
    array->elementSize = 8;
    array->numberOfDimensions = 2;
    array->dimensions[0] = array->dimensions[1] = 1;
    array->elements = 1;
    array->scalar = value;
    array->data = &array->scalar;
    return array.release();
}

HostArray haCreateString(const char* text) {
    if (text == nullptr) text = "";
    std::unique_ptr<HostArrayData> array(new (std::nothrow) HostArrayData());
    if (!array) return nullptr;
    try {
        array->text = text;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    GilHold gil;
    // Latin-1 maps every byte to the character of that code, so any C string converts, and back.
    PyObject* object = PyUnicode_DecodeLatin1(array->text.data(), static_cast<Py_ssize_t>(array->text.size()), nullptr);
    if (object == nullptr) return refused();
    array->object = object;
    array->classID = haCharClass;
    array->elementSize = 1;
    array->numberOfDimensions = 2;
    array->dimensions[0] = 1;
    array->dimensions[1] = static_cast<int>(array->text.size());
    array->elements = array->text.size();
    array->data = &array->text[0];
    return array.release();
}

int haGetNumberOfDimensions(HostArray array) { return array ? array->numberOfDimensions : 0; }

size_t haGetNumberOfElements(HostArray array) { return array ? array->elements : 0; }

int haGetElementSize(HostArray array) { return array ? array->elementSize : 0; }

double haGetScalar(HostArray array) {
    double value = 0.0;
    if (array && array->classID == haDoubleClass && array->elements > 0) std::memcpy(&value, array->data, sizeof value);
    return value;
}

const char* haGetChars(HostArray array) {
    if (array == nullptr || array->classID != haCharClass) return nullptr;
    return array->text.c_str();
}

PyObject* haTakeObject(HostArray array) {
    if (array == nullptr) return nullptr;
    PyObject* object = array->object;
    delete array;
    return object;
}

}  // extern "C"
