// What an engine without a C runtime needs of its own: the kernel32 calls it makes, the few functions
// the compiler may call by itself, the heap behind `new`, and output and checks that need nothing
// else. Each engine is one source file that includes this once.
#ifndef ZORVFRAMEKIT_TESTS_MSVC_ENGINE_FREESTANDING_H
#define ZORVFRAMEKIT_TESTS_MSVC_ENGINE_FREESTANDING_H

#include <stddef.h>

extern "C" {
struct MemoryBasicInformation {
    void* baseAddress;
    void* allocationBase;
    unsigned long allocationProtect;
    size_t regionSize;
    unsigned long state;
    unsigned long protect;
    unsigned long type;
};
struct ExceptionPointers {
    const unsigned long* record;  // the record starts with the exception code
    void* context;
};
typedef unsigned long(__stdcall* ThreadRoutine)(void*);
typedef long(__stdcall* TopLevelFilter)(ExceptionPointers*);

__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* bytes, unsigned long size, unsigned long* written,
                                              void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);
__declspec(dllimport) int __stdcall TerminateProcess(void* process, unsigned int code);
__declspec(dllimport) void* __stdcall GetCurrentProcess(void);
__declspec(dllimport) void* __stdcall GetProcessHeap(void);
__declspec(dllimport) unsigned long __stdcall GetProcessHeaps(unsigned long count, void** heaps);
__declspec(dllimport) void* __stdcall HeapAlloc(void* heap, unsigned long flags, size_t size);
__declspec(dllimport) int __stdcall HeapFree(void* heap, unsigned long flags, void* block);
__declspec(dllimport) void* __stdcall VirtualAlloc(void* address, size_t size, unsigned long type,
                                                   unsigned long protect);
__declspec(dllimport) int __stdcall VirtualFree(void* address, size_t size, unsigned long type);
__declspec(dllimport) size_t __stdcall VirtualQuery(const void* address, MemoryBasicInformation* info, size_t size);
__declspec(dllimport) void* __stdcall GetModuleHandleA(const char* name);
__declspec(dllimport) void* __stdcall LoadLibraryA(const char* name);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) const char* __stdcall GetCommandLineA(void);
__declspec(dllimport) void* __stdcall CreateThread(void* attributes, size_t stackSize, ThreadRoutine routine,
                                                   void* parameter, unsigned long flags, unsigned long* id);
__declspec(dllimport) unsigned long __stdcall WaitForSingleObject(void* handle, unsigned long milliseconds);
__declspec(dllimport) int __stdcall CloseHandle(void* handle);
__declspec(dllimport) TopLevelFilter __stdcall SetUnhandledExceptionFilter(TopLevelFilter filter);
__declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);

// What the compiler may call on its own in a program without a C runtime.
int _fltused = 0;
void* memset(void* to, int value, size_t size) {
    volatile unsigned char* out = static_cast<unsigned char*>(to);
    while (size--) *out++ = static_cast<unsigned char>(value);
    return to;
}
void* memcpy(void* to, const void* from, size_t size) {
    volatile unsigned char* out = static_cast<unsigned char*>(to);
    const unsigned char* in = static_cast<const unsigned char*>(from);
    while (size--) *out++ = *in++;
    return to;
}
}

void* operator new(size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }
void* operator new(size_t, void* place) { return place; }
void operator delete(void* block) { HeapFree(GetProcessHeap(), 0, block); }
void operator delete(void* block, size_t) { HeapFree(GetProcessHeap(), 0, block); }

namespace {

int checks = 0, failures = 0;

inline void write(const char* text) {
    unsigned long length = 0, written = 0;
    while (text[length] != 0) ++length;
    WriteFile(GetStdHandle(static_cast<unsigned long>(-11)), text, length, &written, nullptr);
}

// 32-bit arithmetic only: 64-bit division would need the C runtime's helpers.
inline void writeNumber(long value) {
    char digits[16];
    int at = 15;
    digits[at] = 0;
    const bool negative = value < 0;
    unsigned long magnitude = negative ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        digits[--at] = static_cast<char>('0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0);
    if (negative) digits[--at] = '-';
    write(digits + at);
}

inline void writeHex(unsigned long value) {
    char digits[11] = {'0', 'x'};
    for (int i = 0; i < 8; ++i) digits[2 + i] = "0123456789ABCDEF"[(value >> (28 - 4 * i)) & 15];
    digits[10] = 0;
    write(digits);
}

inline void check(bool ok, int line, const char* what, long got = 0, long expected = 0) {
    ++checks;
    if (ok) return;
    ++failures;
    write("FAILED line ");
    writeNumber(line);
    write(": ");
    write(what);
    write(" (got ");
    writeNumber(got);
    write(", expected ");
    writeNumber(expected);
    write(")\n");
}
#define CHECK(condition) check((condition), __LINE__, #condition)
#define CHECK_EQ(got, expected) \
    check((got) == (expected), __LINE__, #got " == " #expected, (long)(got), (long)(expected))

inline bool sameText(const char* a, const char* b) {
    while (*a != 0 && *a == *b) ++a, ++b;
    return *a == *b;
}

}  // namespace

#endif  // ZORVFRAMEKIT_TESTS_MSVC_ENGINE_FREESTANDING_H
