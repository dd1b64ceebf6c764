// Our stand-in for the host's array library: just enough of it for the frames, our tests and tools.
#include "ha.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

struct HostArrayData {
    int classID;
    int elementSize;
    std::vector<int> dimensions;
    size_t elements;
    void* data;  // column-major block; for a character array, the text and its NUL
};

namespace {

int elementSizeOf(int classID) {
    switch (classID) {
    case haCharClass:
    case haUint8Class:
        return 1;
    case haUint16Class:
        return 2;
    case haUint32Class:
        return 4;
    case haDoubleClass:
        return 8;
    default:
        return 0;
    }
}

HostArray createArray(int numberOfDimensions, const int* dimensions, int classID, size_t extraBytes) {
    if (numberOfDimensions < 0 || (numberOfDimensions > 0 && dimensions == nullptr)) return nullptr;
    int elementSize = elementSizeOf(classID);
    if (elementSize == 0) return nullptr;
    // An array whose size does not fit the address space cannot be had, like one the heap refuses;
    // a product left to wrap would give a small block that its users then overrun.
    const size_t limit = static_cast<size_t>(-1) - extraBytes - 1;
    bool empty = false;
    for (int i = 0; i < numberOfDimensions; ++i) {
        if (dimensions[i] < 0) return nullptr;
        empty = empty || dimensions[i] == 0;
    }
    size_t elements = empty ? 0 : 1;
    for (int i = 0; i < numberOfDimensions && !empty; ++i) {
        const size_t extent = static_cast<size_t>(dimensions[i]);
        if (elements > limit / extent) return nullptr;
        elements *= extent;
    }
    if (elements > limit / static_cast<size_t>(elementSize)) return nullptr;
    std::unique_ptr<HostArrayData> array(new HostArrayData);
    array->classID = classID;
    array->elementSize = elementSize;
    array->dimensions.assign(dimensions, dimensions + numberOfDimensions);
    array->elements = elements;
    // calloc so that an array nobody filled reads as zeros, never as stale heap bytes.
    array->data = std::calloc(elements * static_cast<size_t>(elementSize) + extraBytes + 1, 1);
    if (array->data == nullptr) return nullptr;
    return array.release();
}

// The exported face of createArray: a refused allocation is a null array.
HostArray tryCreateArray(int numberOfDimensions, const int* dimensions, int classID, size_t extraBytes) {
    try {
        return createArray(numberOfDimensions, dimensions, classID, extraBytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

extern "C" {

HostArray haCreateNumericArray(int numberOfDimensions, const int* dimensions, int classID, int) {
    return tryCreateArray(numberOfDimensions, dimensions, classID, 0);
}

HostArray haCreateNumericMatrix(int rows, int columns, int classID, int) {
    const int dimensions[2] = {rows, columns};
    return tryCreateArray(2, dimensions, classID, 0);
}

void* haGetData(HostArray array) { return array ? array->data : nullptr; }

int* haGetDimensions(HostArray array) { return array ? array->dimensions.data() : nullptr; }

int haGetClassID(HostArray array) { return array ? array->classID : 0; }

bool haIsUint8(HostArray array) { return array && array->classID == haUint8Class; }

void haFree(void* pointer) {
    HostArray array = static_cast<HostArray>(pointer);
    if (array == nullptr) return;
    std::free(array->data);
    delete array;
}

HostArray haCreateDoubleScalar(double value) {
    const int dimensions[2] = {1, 1};
    HostArray array = tryCreateArray(2, dimensions, haDoubleClass, 0);
    if (array != nullptr) std::memcpy(array->data, &value, sizeof value);
    return array;
}

HostArray haCreateString(const char* text) {
    if (text == nullptr) text = "";
    size_t length = std::strlen(text);
    const int dimensions[2] = {1, static_cast<int>(length)};
    HostArray array = tryCreateArray(2, dimensions, haCharClass, 0);
    if (array != nullptr) std::memcpy(array->data, text, length + 1);
    return array;
}

int haGetNumberOfDimensions(HostArray array) {
    return array ? static_cast<int>(array->dimensions.size()) : 0;
}

size_t haGetNumberOfElements(HostArray array) { return array ? array->elements : 0; }

int haGetElementSize(HostArray array) { return array ? array->elementSize : 0; }

double haGetScalar(HostArray array) {
    double value = 0.0;
    if (array && array->classID == haDoubleClass && array->elements > 0)
        std::memcpy(&value, array->data, sizeof value);
    return value;
}

const char* haGetChars(HostArray array) {
    if (array == nullptr || array->classID != haCharClass) return nullptr;
    return static_cast<const char*>(array->data);
}

}  // extern "C"
