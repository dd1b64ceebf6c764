#include "metadata/MetaDataItem.h"

#include <cstring>

#include "bexcore.h"

namespace zorvframekit {

HostArray DoubleMetaDataItem::getHostValue() { return haCreateDoubleScalar(value); }

HostArray TimeVectorMetaDataItem::getHostValue() { return createTimeArray(timeValue); }

CStrMetaDataItem::CStrMetaDataItem(const char* source) : text(nullptr) {
    const size_t length = std::strlen(source);
    text = new char[length + 1];
    std::memcpy(text, source, length + 1);
}

CStrMetaDataItem::~CStrMetaDataItem() { delete[] text; }

HostArray CStrMetaDataItem::getHostValue() { return haCreateString(text); }

}  // namespace zorvframekit
