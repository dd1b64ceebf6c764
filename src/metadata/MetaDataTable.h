// A frame's named metadata items, in name order (the C library's string comparison). Its entries
// live in one array on the C heap and each name in a block of its own, so that looking a name up
// allocates nothing and a name's pointer stays valid for the table's life.
#ifndef ZORVFRAMEKIT_METADATA_METADATATABLE_H
#define ZORVFRAMEKIT_METADATA_METADATATABLE_H

#include "metadata/MetaDataItem.h"

namespace zorvframekit {

class MetaDataTable {
public:
    MetaDataTable() : entries(nullptr), count(0), capacity(0) {}
    ~MetaDataTable();

    int size() const { return count; }
    // Writes the names in order, size() of them.
    void names(const char** out) const;
    // Null if no item has that name.
    MetaDataItem* find(const char* name) const;
    // Stores `item` under `name`, replacing (and destroying) the item there. Takes the item in any
    // case: false if there was no room for a new entry, the item then destroyed and nothing changed.
    bool put(const char* name, MetaDataItem* item);

private:
    MetaDataTable(const MetaDataTable&);
    MetaDataTable& operator=(const MetaDataTable&);

    struct Entry {
        char* name;
        MetaDataItem* item;
    };
    // The first entry whose name is not before `name`.
    int lowerBound(const char* name) const;

    Entry* entries;
    int count;
    int capacity;
};

}  // namespace zorvframekit

#endif  // ZORVFRAMEKIT_METADATA_METADATATABLE_H
