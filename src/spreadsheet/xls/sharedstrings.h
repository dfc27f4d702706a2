#pragma once

#include "spreadsheet/xls/recordbuffer.h"

#include <QHash>
#include <QString>
#include <cstdint>
#include <vector>

namespace xls {

// The shared string table (SST) of a workbook being written: every distinct cell text once,
// cells refer to it by index.
class SharedStringTable {
public:
    // Returns the index of the text, adding it on first use. Also counts the reference.
    uint32_t add(const QString& text);

    uint32_t uniqueCount() const { return static_cast<uint32_t>(strings.size()); }
    // Upper bound of the bytes the SST, its CONTINUE records and the EXTSST take.
    qsizetype sizeBound() const;

    // Writes SST (continued as needed) and EXTSST.
    void write(RecordBuffer& out) const;

private:
    struct Entry {
        QString text;
        bool compressed; // every character fits in 8 bits
    };
    QHash<QString, uint32_t> indexOf;
    std::vector<Entry> strings;
    uint32_t references = 0;
    qsizetype characterBytes = 0;
};

} // namespace xls
