#include "metadata/MetaDataTable.h"

#include <cstring>

#include "platform/platform.h"

namespace zorvframekit {

MetaDataTable::~MetaDataTable() {
    for (int i = 0; i < count; ++i) {
        delete entries[i].item;
        platform::freeMemory(entries[i].name);
    }
    platform::freeMemory(entries);
}

void MetaDataTable::names(const char** out) const {
    for (int i = 0; i < count; ++i) out[i] = entries[i].name;
}

int MetaDataTable::lowerBound(const char* name) const {
    int low = 0, high = count;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (std::strcmp(entries[middle].name, name) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

MetaDataItem* MetaDataTable::find(const char* name) const {
    const int at = lowerBound(name);
    return at < count && std::strcmp(entries[at].name, name) == 0 ? entries[at].item : nullptr;
}

bool MetaDataTable::put(const char* name, MetaDataItem* item) {
    const int at = lowerBound(name);
    if (at < count && std::strcmp(entries[at].name, name) == 0) {
        delete entries[at].item;  // the name and its place stay
        entries[at].item = item;
        return true;
    }
    const size_t length = std::strlen(name);
    char* copy = static_cast<char*>(platform::allocateMemory(length + 1));
    if (copy == nullptr) {
        delete item;
        return false;
    }
    std::memcpy(copy, name, length + 1);
    if (count == capacity) {
        void* larger = platform::growArray(entries, count, &capacity, sizeof *entries);
        if (larger == nullptr) {
            platform::freeMemory(copy);
            delete item;
            return false;
        }
        entries = static_cast<Entry*>(larger);
    }
    std::memmove(entries + at + 1, entries + at, sizeof(Entry) * (count - at));
    entries[at] = Entry{copy, item};
    ++count;
    return true;
}

}  // namespace zorvframekit
