#include "spreadsheet/xls/sharedstrings.h"

#include "spreadsheet/xls/biffformat.h"

#include <algorithm>

namespace xls {

namespace {

// EXTSST indexes every dsst-th string. At least 8 per bucket, and at most 128 buckets as Excel
// writes them, so the record always fits without CONTINUE.
uint16_t stringsPerBucket(uint32_t uniqueCount) {
    uint32_t perBucket = std::max<uint32_t>(8, (uniqueCount + 127) / 128);
    return static_cast<uint16_t>(std::min<uint32_t>(perBucket, 0xFFFF));
}

// Keeps EXTSST within one record even for tables too large for the 16-bit bucket size.
constexpr size_t kMaxBuckets = 1000;

struct BucketStart {
    uint32_t streamPosition;
    uint16_t offsetInRecord;
};

} // namespace

uint32_t SharedStringTable::add(const QString& text) {
    ++references;
    const QChar* characters = text.constData();
    SharedCharacters& slot = recent[(reinterpret_cast<uintptr_t>(characters) >> 4) % kRecentSlots];
    if (slot.characters == characters && slot.length == text.size())
        return slot.index;
    auto it = indexOf.constFind(text);
    if (it != indexOf.cend()) {
        slot = {characters, text.size(), it.value()};
        return it.value();
    }
    const auto index = static_cast<uint32_t>(strings.size());
    slot = {characters, text.size(), index};
    const bool compressed = fitsInEightBits(text);
    strings.push_back({text, compressed});
    characterBytes += text.size() * (compressed ? 1 : 2);
    indexOf.insert(text, index);
    return index;
}

qsizetype SharedStringTable::sizeBound() const {
    // Each string adds its 3-byte header; each CONTINUE adds a record header and a flags byte.
    const qsizetype data = 8 + characterBytes + 3 * static_cast<qsizetype>(strings.size());
    const qsizetype records = data / (biff::kMaxRecordData - 8) + 1;
    return data + records * 5 + 4 + 2 + 8 * 128 + 64;
}

void SharedStringTable::write(RecordBuffer& out) const {
    const uint16_t perBucket = stringsPerBucket(uniqueCount());
    std::vector<BucketStart> buckets;
    buckets.reserve(strings.size() / perBucket + 1);

    qsizetype record = out.beginRecord(biff::kSst);
    out.append32(references);
    out.append32(uniqueCount());
    int used = 8;
    auto startContinue = [&] {
        out.endRecord(record);
        record = out.beginRecord(biff::kContinue);
        used = 0;
    };

    for (size_t i = 0; i < strings.size(); ++i) {
        const QString& text = strings[i].text;
        const bool compressed = strings[i].compressed;
        const int charSize = compressed ? 1 : 2;
        const uint8_t flags = compressed ? 0 : biff::kStringHighByte;
        // The 3-byte string header is never split, and at least one whole character (two
        // UTF-16 units for a surrogate pair) follows it in the same record.
        if (biff::kMaxRecordData - used < 3 + 2 * charSize)
            startContinue();
        if (i % perBucket == 0 && buckets.size() < kMaxBuckets) {
            buckets.push_back({static_cast<uint32_t>(out.position()),
                               static_cast<uint16_t>(out.position() - record)});
        }
        out.append16(static_cast<uint16_t>(text.size()));
        out.append8(flags);
        used += 3;

        const QChar* chars = text.constData();
        qsizetype remaining = text.size();
        for (;;) {
            qsizetype n = std::min<qsizetype>(remaining, (biff::kMaxRecordData - used) / charSize);
            // A surrogate pair split over two records would not decode as one character.
            if (n < remaining && n > 0 && chars[n - 1].isHighSurrogate())
                --n;
            out.appendChars(chars, n, compressed);
            used += static_cast<int>(n * charSize);
            chars += n;
            remaining -= n;
            if (remaining == 0)
                break;
            // A string continued in a new record repeats its flags byte there.
            startContinue();
            out.append8(flags);
            used = 1;
        }
    }
    out.endRecord(record);

    const qsizetype ext = out.beginRecord(biff::kExtSst);
    out.append16(perBucket);
    for (const BucketStart& b : buckets) {
        out.append32(b.streamPosition);
        out.append16(b.offsetInRecord);
        out.append16(0);
    }
    out.endRecord(ext);
}

} // namespace xls
