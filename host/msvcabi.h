// The 32-bit Windows DLLs are built by MinGW but meet binaries of the platform's own compiler, whose
// C++ functions carry that compiler's decorated names and are __thiscall. These macros give a plain
// function such a name, to export it or to call it.
#ifndef ZORVFRAMEKIT_HOST_MSVCABI_H
#define ZORVFRAMEKIT_HOST_MSVCABI_H

#if defined(_WIN32) && defined(__i386__) && !defined(_MSC_VER)
#define ZFK_MSVC_ABI 1
#define ZFK_THISCALL __attribute__((thiscall))

// The symbol of the function the platform compiler calls `decorated`: 32-bit MinGW puts an
// underscore before every C symbol and takes it off again in export and import tables.
#define ZFK_MSVC_NAME(decorated) __asm__("\"_" decorated "\"")

// Exports the function declared with ZFK_MSVC_NAME(decorated) under `decorated`, by the linker
// directive that dllexport makes. GCC writes file-scope asm before any function, in .text, and PE's
// assembler has no .pushsection, so it goes back to .text itself.
#define ZFK_MSVC_EXPORT(decorated) \
    __asm__(".section .drectve\n\t.ascii \" -export:\\\"" decorated "\\\"\"\n\t.text")

// Declares, exports and begins the definition of a __thiscall function named `decorated`.
#define ZFK_MSVC_FUNCTION(decorated, result, name, parameters)              \
    extern "C" result ZFK_THISCALL name parameters ZFK_MSVC_NAME(decorated); \
    ZFK_MSVC_EXPORT(decorated);                                              \
    extern "C" result ZFK_THISCALL name parameters
#endif

#endif  // ZORVFRAMEKIT_HOST_MSVCABI_H
