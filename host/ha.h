// The host's array library, as the frame library calls it. Arrays are real-valued, column-major
// (the first dimension varies fastest); image arrays are {rows, columns, bands}.
#ifndef ZORVFRAMEKIT_HOST_HA_H
#define ZORVFRAMEKIT_HOST_HA_H

#include <stddef.h>

#if defined(_WIN32)
#if defined(HA_BUILDING)
#define HA_API __declspec(dllexport)
#else
#define HA_API __declspec(dllimport)
#endif
#else
#define HA_API __attribute__((visibility("default")))
#endif

#ifndef ZORVFRAMEKIT_HOSTARRAY_DEFINED
#define ZORVFRAMEKIT_HOSTARRAY_DEFINED
typedef struct HostArrayData* HostArray;
#endif

// Class identifiers. The frames use the three unsigned ones; double and character arrays are the
// library's own kinds, made by haCreateDoubleScalar and haCreateString.
enum {
    haCharClass = 4,
    haDoubleClass = 6,
    haUint8Class = 9,
    haUint16Class = 11,
    haUint32Class = 13
};

#ifdef __cplusplus
extern "C" {
#endif

// What the frames call. The create functions return null when the array cannot be had (its size is
// beyond the address space, or the heap refuses it): a failure never leaves them as an exception,
// which no caller across a DLL boundary could catch.
HA_API HostArray haCreateNumericArray(int numberOfDimensions, const int* dimensions, int classID,
                                      int complexity);
HA_API HostArray haCreateNumericMatrix(int rows, int columns, int classID, int complexity);
HA_API void* haGetData(HostArray array);
HA_API int* haGetDimensions(HostArray array);
HA_API int haGetClassID(HostArray array);
HA_API bool haIsUint8(HostArray array);
HA_API void haFree(void* array);
HA_API HostArray haCreateDoubleScalar(double value);
HA_API HostArray haCreateString(const char* text);

// What a host (and our tests and tools) use to read arrays back.
HA_API int haGetNumberOfDimensions(HostArray array);
HA_API size_t haGetNumberOfElements(HostArray array);
HA_API int haGetElementSize(HostArray array);
HA_API double haGetScalar(HostArray array);      // element 0 of a double array
HA_API const char* haGetChars(HostArray array);  // NUL-terminated text of a character array

// Test hooks of our stand-in (not of a real host): from haTestFailCreation(k) on, array creations
// are counted (haTestCreations) and the k-th one (1 is the next) fails as a refused one does; k = 0
// fails none. haTestLiveArrays counts the arrays made and not yet freed. With
// haTestDropTrailingSingletons(true), a {rows, columns, 1} array is made as {rows, columns}.
HA_API void haTestFailCreation(long k);
HA_API long haTestCreations(void);
HA_API long haTestLiveArrays(void);
HA_API void haTestDropTrailingSingletons(bool drop);

#ifdef __cplusplus
}
#endif

#endif  // ZORVFRAMEKIT_HOST_HA_H
