#include "spreadsheet/xls/sharedstrings.h"

#include "spreadsheet/textscan.h"
#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/sstwriter.h"

#include <algorithm>

namespace xls {

uint32_t SharedStringTable::add(const QString& text) {
    ++m_references;
    const QChar* characters = text.constData();
    SharedCharacters& slot =
        m_recent[(reinterpret_cast<uintptr_t>(characters) >> 4) % kRecentSlots];
    if (slot.characters == characters && slot.length == text.size()) {
        return slot.index;
    }
    const uint32_t index = findOrInsert(text);
    slot = {characters, text.size(), index};
    return index;
}

uint32_t SharedStringTable::hashOf(const QString& text) {
    // Four characters at a time, the last four overlapping those before when the length is
    // not a multiple of four, each word mixed in by a multiplication.
    const char16_t* chars = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype size = text.size();
    uint64_t hash = 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(size);
    auto mix = [&hash](uint64_t word) {
        hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
        hash ^= hash >> 32;
    };
    if (size < 4) {
        uint64_t word = 0;
        for (qsizetype i = 0; i < size; ++i) {
            word |= uint64_t(chars[i]) << (16 * i);
        }
        mix(word);
    } else {
        for (qsizetype at = 0; at + 4 <= size; at += 4) {
            mix(textscan::load4(chars + at));
        }
        if (size % 4 != 0) {
            mix(textscan::load4(chars + size - 4));
        }
    }
    hash *= 0xC4CEB9FE1A85EC53ull;
    return static_cast<uint32_t>(hash >> 32);
}

uint32_t SharedStringTable::findOrInsert(const QString& text) {
    const uint32_t hash = hashOf(text);
    const size_t mask = m_table.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
        const HashSlot found = m_table[at];
        if (found.indexPlusOne == 0) {
            break;
        }
        const QString& known = m_strings[found.indexPlusOne - 1].text;
        if (found.hash == hash && known.size() == text.size() &&
            textscan::equal(reinterpret_cast<const char16_t*>(known.constData()),
                            reinterpret_cast<const char16_t*>(text.constData()), text.size())) {
            return found.indexPlusOne - 1;
        }
    }

    const auto index = static_cast<uint32_t>(m_strings.size());
    const bool compressed = fitsInEightBits(text);
    m_strings.push_back({text, compressed});
    m_characterBytes += text.size() * (compressed ? 1 : 2);
    // At most three quarters full, so that probes stay short.
    if (m_strings.size() * 4 > m_table.size() * 3) {
        growTable();
    }
    const size_t newMask = m_table.size() - 1;
    size_t at = hash & newMask;
    while (m_table[at].indexPlusOne != 0) {
        at = (at + 1) & newMask;
    }
    m_table[at] = {hash, index + 1};
    return index;
}

void SharedStringTable::growTable() {
    std::vector<HashSlot> grown(m_table.size() * 2);
    const size_t mask = grown.size() - 1;
    for (const HashSlot& slot : m_table) {
        if (slot.indexPlusOne == 0) {
            continue;
        }
        size_t at = slot.hash & mask;
        while (grown[at].indexPlusOne != 0) {
            at = (at + 1) & mask;
        }
        grown[at] = slot;
    }
    m_table = std::move(grown);
}

qsizetype SharedStringTable::sizeBound() const {
    // Each string adds its 3-byte header; each CONTINUE adds a record header and a flags byte.
    const qsizetype data = 8 + m_characterBytes + 3 * static_cast<qsizetype>(m_strings.size());
    const qsizetype records = data / (biff::kMaxRecordData - 8) + 1;
    return data + records * 5 + 4 + 2 + qsizetype(8) * 128 + 64;
}

void SharedStringTable::write(RecordBuffer& out) const {
    SstWriter writer(out, uniqueCount());
    writer.open(m_references, uniqueCount());
    for (const Entry& entry : m_strings) {
        writer.append(entry.text, entry.compressed);
    }
    writer.close();
    appendExtSst(out, writer.perBucket(), writer.buckets);
}

} // namespace xls
