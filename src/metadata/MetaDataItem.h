// Typed metadata values. An item is immutable once built; all it does is make a fresh host value of
// itself each time it is asked.
#ifndef ZORVFRAMEKIT_METADATA_METADATAITEM_H
#define ZORVFRAMEKIT_METADATA_METADATAITEM_H

#include "ha.h"

namespace zorvframekit {

class MetaDataItem {
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
    explicit CStrMetaDataItem(const char* text);  // keeps its own copy of the text
    ~CStrMetaDataItem() override;
    HostArray getHostValue() override;

private:
    CStrMetaDataItem(const CStrMetaDataItem&);
    CStrMetaDataItem& operator=(const CStrMetaDataItem&);
    char* text;
};

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_METADATA_METADATAITEM_H
