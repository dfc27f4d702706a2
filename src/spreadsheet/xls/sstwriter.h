#pragma once

#include "spreadsheet/xls/recordbuffer.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace xls {

// Where a string that an EXTSST bucket points at starts: its stream position and its offset
// from the header of the SST or CONTINUE record it starts in ([MS-XLS] 2.5.98 ISSTInf).
struct BucketStart {
    uint32_t streamPosition;
    uint16_t offsetInRecord;
};

// EXTSST indexes every n-th string: at least 8 per bucket and about 128 buckets, as Excel
// writes it, and never more buckets than one record holds.
uint16_t stringsPerBucket(uint32_t stringCount);
constexpr size_t kMaxExtSstBuckets = 1000;

// Lays strings out in the SST record and the CONTINUE records after it ([MS-XLS] 2.4.265 SST,
// 2.4.58 CONTINUE, 2.5.293 XLUnicodeRichExtendedString): each record is filled to its 8,224
// bytes of data before the next starts. A string's header (length and flags) is never split,
// and at least one whole character follows it in its record; characters that go on in the next
// record are preceded there by the flags byte again, and a surrogate pair is never split.
class SstWriter {
public:
    // `stringCount` is the number of strings the whole table will hold; it sets the buckets.
    SstWriter(RecordBuffer& out, uint32_t stringCount);

    // Starts the table: an SST record with its counts.
    void open(uint32_t references, uint32_t uniqueCount);
    // Goes on filling the record that starts at `recordStart` and ends at the end of `out`,
    // the last of a table already written whose `stringsBefore` strings end where it ends.
    void resume(qsizetype recordStart, uint32_t stringsBefore);
    // Appends one string; `compressed` when every character fits in 8 bits.
    void append(const QString& text, bool compressed);
    // Sets the length of the last record.
    void close();

    uint16_t perBucket() const { return m_perBucket; }
    // The strings the buckets point at; a caller that resumes a table adds those before first.
    std::vector<BucketStart> buckets;

private:
    void startContinue();

    RecordBuffer& m_out;
    uint16_t m_perBucket;
    uint32_t m_index = 0;
    qsizetype m_record = -1;
    int m_used = 0;
};

// The EXTSST record ([MS-XLS] 2.4.107 ExtSST) for the buckets of a table.
void appendExtSst(RecordBuffer& out, uint16_t perBucket, const std::vector<BucketStart>& buckets);

} // namespace xls
