// Typed metadata values. An item is immutable once built; all it does is make a fresh host value of
// itself each time it is asked.
#ifndef ZORVFRAMEKIT_METADATA_METADATAITEM_H
#define ZORVFRAMEKIT_METADATA_METADATAITEM_H

#include "ha.h"
#include "platform/platform.h"

namespace zorvframekit {

class MetaDataItem : public platform::HeapObject {
public:
    virtual ~MetaDataItem() {}
    virtual HostArray getHostValue() = 0;
};

class DoubleMetaDataItem : public MetaDataItem {
public:
    explicit DoubleMetaDataItem(double value) : value(value) {}
    HostArray getHostValue() override;

private:
    double value;
};

class TimeVectorMetaDataItem : public MetaDataItem {
public:
    explicit TimeVectorMetaDataItem(double timeValue) : timeValue(timeValue) {}
    HostArray getHostValue() override;

private:
    double timeValue;
};

class CStrMetaDataItem : public MetaDataItem {
public:
    // An item with its own copy of the text; null (or std::bad_alloc, see platform.h) when either
    // cannot be had, nothing left behind.
    static CStrMetaDataItem* create(const char* text);
    ~CStrMetaDataItem() override;
    HostArray getHostValue() override;

private:
    explicit CStrMetaDataItem(char* ownedText) : text(ownedText) {}
    CStrMetaDataItem(const CStrMetaDataItem&);
    CStrMetaDataItem& operator=(const CStrMetaDataItem&);
    char* text;
};

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_METADATA_METADATAITEM_H
