#include "spreadsheet/xls/sstwriter.h"

#include "spreadsheet/xls/biffformat.h"

#include <algorithm>

namespace xls {

uint16_t stringsPerBucket(uint32_t stringCount) {
    const uint32_t perBucket = std::max<uint32_t>(8, (stringCount + 127) / 128);
    return static_cast<uint16_t>(std::min<uint32_t>(perBucket, 0xFFFF));
}

SstWriter::SstWriter(RecordBuffer& out, uint32_t stringCount)
    : m_out(out), m_perBucket(stringsPerBucket(stringCount)) {}

void SstWriter::open(uint32_t references, uint32_t uniqueCount) {
    m_record = m_out.beginRecord(biff::kSst);
    m_out.append32(references);
    m_out.append32(uniqueCount);
    m_used = 8;
}

void SstWriter::resume(qsizetype recordStart, uint32_t stringsBefore) {
    m_record = recordStart;
    m_used = static_cast<int>(m_out.position() - recordStart - biff::kRecordHeader);
    m_index = stringsBefore;
}

void SstWriter::startContinue() {
    m_out.endRecord(m_record);
    m_record = m_out.beginRecord(biff::kContinue);
    m_used = 0;
}

void SstWriter::append(const QString& text, bool compressed) {
    const int charSize = compressed ? 1 : 2;
    const uint8_t flags = compressed ? 0 : biff::kStringHighByte;
    // Room for the header and a whole character, two UTF-16 units for a surrogate pair.
    if (biff::kMaxRecordData - m_used < 3 + 2 * charSize) {
        startContinue();
    }
    if (m_index++ % m_perBucket == 0 && buckets.size() < kMaxExtSstBuckets) {
        buckets.push_back({static_cast<uint32_t>(m_out.position()),
                           static_cast<uint16_t>(m_out.position() - m_record)});
    }
    m_out.append16(static_cast<uint16_t>(text.size()));
    m_out.append8(flags);
    m_used += 3;
    const QChar* chars = text.constData();
    qsizetype remaining = text.size();
    for (;;) {
        qsizetype n = std::min<qsizetype>(remaining, (biff::kMaxRecordData - m_used) / charSize);
        if (n < remaining && n > 0 && chars[n - 1].isHighSurrogate()) {
            --n;
        }
        m_out.appendChars(chars, n, compressed);
        m_used += static_cast<int>(n * charSize);
        chars += n;
        remaining -= n;
        if (remaining == 0) {
            return;
        }
        startContinue();
        m_out.append8(flags);
        m_used = 1;
    }
}

void SstWriter::close() {
    if (m_record >= 0) {
        m_out.endRecord(m_record);
    }
}

void appendExtSst(RecordBuffer& out, uint16_t perBucket, const std::vector<BucketStart>& buckets) {
    const qsizetype record = out.beginRecord(biff::kExtSst);
    out.append16(perBucket);
    for (const BucketStart& bucket : buckets) {
        out.append32(bucket.streamPosition);
        out.append16(bucket.offsetInRecord);
        out.append16(0);
    }
    out.endRecord(record);
}

} // namespace xls
