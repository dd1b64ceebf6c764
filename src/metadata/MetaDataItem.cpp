#include "metadata/MetaDataItem.h"

#include <cstring>
#include <new>

#include "bexcore.h"

namespace zorvframekit {

HostArray DoubleMetaDataItem::getHostValue() { return haCreateDoubleScalar(value); }

HostArray TimeVectorMetaDataItem::getHostValue() { return createTimeArray(timeValue); }

CStrMetaDataItem* CStrMetaDataItem::create(const char* source) {
    const size_t length = std::strlen(source);
    char* copy = static_cast<char*>(platform::allocateMemory(length + 1));
    void* room = copy != nullptr ? platform::allocateMemory(sizeof(CStrMetaDataItem)) : nullptr;
    if (room == nullptr) {
        platform::freeMemory(copy);
        platform::outOfMemory();
        return nullptr;
    }
    std::memcpy(copy, source, length + 1);
    return ::new (room) CStrMetaDataItem(copy);
}

CStrMetaDataItem::~CStrMetaDataItem() { platform::freeMemory(text); }

HostArray CStrMetaDataItem::getHostValue() { return haCreateString(text); }

}  // namespace zorvframekit
