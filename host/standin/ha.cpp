// Our stand-in for the host's array library: just enough of it for the frames, our tests and tools.
#include "ha.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// One block from the C heap holds the header, the dimensions and the data, so that making an array
// is one allocation that either works or leaves nothing behind, and nothing here throws.
struct HostArrayData {
    int classID;
    int elementSize;
    int numberOfDimensions;
    size_t elements;
    int* dimensions;  // numberOfDimensions of them, right after this header
    void* data;       // column-major, on a cache line; for a character array, the text and its NUL
};

namespace {

std::atomic<long> creationCountdown{0};
std::atomic<long> creations{0};
std::atomic<long> liveArrays{0};
std::atomic<bool> dropTrailingSingletons{false};

bool creationFails() {
    creations.fetch_add(1);
    long left = creationCountdown.load();
    while (left > 0 && !creationCountdown.compare_exchange_weak(left, left - 1)) {
    }
    return left == 1;
}

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
    // As some hosts do: {rows, columns, 1} comes back as the matrix {rows, columns}.
    if (dropTrailingSingletons.load())
        while (numberOfDimensions > 2 && dimensions[numberOfDimensions - 1] == 1) --numberOfDimensions;
    const size_t header = sizeof(HostArrayData) + sizeof(int) * static_cast<size_t>(numberOfDimensions);
    // An array whose size does not fit the address space cannot be had, like one the heap refuses;
    // a product left to wrap would give a small block that its users then overrun.
    const size_t limit = static_cast<size_t>(-1) - extraBytes - header - 128;
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
    if (creationFails()) return nullptr;
    // calloc so that an array nobody filled reads as zeros, never as stale heap bytes.
    void* block = std::calloc(header + 63 + elements * static_cast<size_t>(elementSize) + extraBytes + 1, 1);
    if (block == nullptr) return nullptr;
    HostArray array = static_cast<HostArray>(block);
    array->classID = classID;
    array->elementSize = elementSize;
    array->numberOfDimensions = numberOfDimensions;
    array->elements = elements;
    array->dimensions = reinterpret_cast<int*>(array + 1);
    if (numberOfDimensions > 0) std::memcpy(array->dimensions, dimensions, sizeof(int) * static_cast<size_t>(numberOfDimensions));
    const uintptr_t after = reinterpret_cast<uintptr_t>(block) + header;
    array->data = reinterpret_cast<void*>((after + 63) / 64 * 64);
    liveArrays.fetch_add(1);
    return array;
}

}  // namespace

extern "C" {

HostArray haCreateNumericArray(int numberOfDimensions, const int* dimensions, int classID, int) {
    return createArray(numberOfDimensions, dimensions, classID, 0);
}

HostArray haCreateNumericMatrix(int rows, int columns, int classID, int) {
    const int dimensions[2] = {rows, columns};
    return createArray(2, dimensions, classID, 0);
}

void* haGetData(HostArray array) { return array ? array->data : nullptr; }

int* haGetDimensions(HostArray array) { return array ? array->dimensions : nullptr; }

int haGetClassID(HostArray array) { return array ? array->classID : 0; }

bool haIsUint8(HostArray array) { return array && array->classID == haUint8Class; }

void haFree(void* pointer) {
    HostArray array = static_cast<HostArray>(pointer);
    if (array == nullptr) return;
    liveArrays.fetch_sub(1);
    std::free(array);
}

HostArray haCreateDoubleScalar(double value) {
    const int dimensions[2] = {1, 1};
    HostArray array = createArray(2, dimensions, haDoubleClass, 0);
    if (array != nullptr) std::memcpy(array->data, &value, sizeof value);
    return array;
}

HostArray haCreateString(const char* text) {
    if (text == nullptr) text = "";
    size_t length = std::strlen(text);
    const int dimensions[2] = {1, static_cast<int>(length)};
    HostArray array = createArray(2, dimensions, haCharClass, 0);
    if (array != nullptr) std::memcpy(array->data, text, length + 1);
    return array;
}

int haGetNumberOfDimensions(HostArray array) {
    return array ? array->numberOfDimensions : 0;
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

void haTestFailCreation(long k) {
    creationCountdown.store(0);
    creations.store(0);
    creationCountdown.store(k > 0 ? k : 0);
}

long haTestCreations() { return creations.load(); }

long haTestLiveArrays() { return liveArrays.load(); }

void haTestDropTrailingSingletons(bool drop) { dropTrailingSingletons.store(drop); }

}  // extern "C"
