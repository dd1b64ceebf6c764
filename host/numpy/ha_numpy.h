// What the NumPy-backed host array library adds for its host, Python: handing an array over as the
// Python object it is.
#ifndef ZORVFRAMEKIT_HOST_HA_NUMPY_H
#define ZORVFRAMEKIT_HOST_HA_NUMPY_H

#include <Python.h>

#include "ha.h"

#ifdef __cplusplus
extern "C" {
#endif

// Gives the array's Python object to the caller as a new reference and frees the handle; the
// object is not copied. The caller holds the GIL. A null handle gives null.
HA_API PyObject* haTakeObject(HostArray array);

#ifdef __cplusplus
}
#endif

#endif  // ZORVFRAMEKIT_HOST_HA_NUMPY_H
