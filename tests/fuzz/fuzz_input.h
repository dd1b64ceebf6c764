// Reads a fuzzer's bytes as a sequence of small decisions; past the end every read is 0.
#ifndef ZORVFRAMEKIT_TESTS_FUZZ_INPUT_H
#define ZORVFRAMEKIT_TESTS_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data(data), size(size) {}
    bool more() const { return at < size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    uint32_t u32() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = value << 8 | byte();
        return value;
    }
    // Mostly small values, now and then any int at all: the sizes where arithmetic goes wrong.
    int size32(int small) {
        const uint8_t kind = byte();
        if (kind < 240) return 1 + kind % small;
        return static_cast<int>(u32());
    }
    // Exactly `count` bytes, from the input as far as it goes: reading past the end trips ASan.
    std::vector<uint8_t> bytes(size_t count) {
        std::vector<uint8_t> out(count);
        for (size_t i = 0; i < count; ++i) out[i] = byte();
        return out;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

// Stops the run as a finding when a property does not hold.
#define FUZZ_REQUIRE(condition) \
    do {                        \
        if (!(condition)) std::abort(); \
    } while (0)

#endif  // ZORVFRAMEKIT_TESTS_FUZZ_INPUT_H
