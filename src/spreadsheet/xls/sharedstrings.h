#pragma once

#include "spreadsheet/xls/recordbuffer.h"

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

    uint32_t uniqueCount() const { return static_cast<uint32_t>(m_strings.size()); }
    // Upper bound of the bytes the SST, its CONTINUE records and the EXTSST take.
    qsizetype sizeBound() const;

    // Writes SST (continued as needed) and EXTSST.
    void write(RecordBuffer& out) const;

private:
    struct Entry {
        QString text;
        bool compressed; // every character fits in 8 bits
    };
    // Copies of one QString share their characters, so a cell read from a shared string, or
    // a gas name copied from a table, is found by the address of its characters without
    // hashing them. The book is not changed while it is written, so an address seen with a
    // length always holds the same text.
    struct SharedCharacters {
        const QChar* characters = nullptr;
        qsizetype length = 0;
        uint32_t index = 0;
    };
    static constexpr size_t kRecentSlots = 4096;
    std::vector<SharedCharacters> m_recent = std::vector<SharedCharacters>(kRecentSlots);

    // Texts not found by address are found by their characters in an open-addressing table
    // that keeps each text's hash, so that growing it hashes nothing again. A day's workbook
    // has a unique time text in every row.
    struct HashSlot {
        uint32_t hash = 0;
        uint32_t indexPlusOne = 0; // 0: the slot is free
    };
    static uint32_t hashOf(const QString& text);
    uint32_t findOrInsert(const QString& text);
    void growTable();
    std::vector<HashSlot> m_table = std::vector<HashSlot>(1024);
    std::vector<Entry> m_strings;
    uint32_t m_references = 0;
    qsizetype m_characterBytes = 0;
};

} // namespace xls
