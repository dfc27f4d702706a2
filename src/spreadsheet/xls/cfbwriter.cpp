#include "spreadsheet/xls/cfbwriter.h"

#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/cfbformat.h"

#include <QString>
#include <algorithm>
#include <cstring>

namespace xls {

namespace {

constexpr int kSectorSize = 1 << cfb::kSectorShift3;
constexpr uint32_t kEntriesPerFatSector = kSectorSize / 4;
// A DIFAT sector lists 127 FAT sectors; its last slot links to the next DIFAT sector.
constexpr uint32_t kFatSectorsPerDifatSector = kEntriesPerFatSector - 1;

uint32_t ceilDiv(uint32_t a, uint32_t b) {
    return (a + b - 1) / b;
}

void writeDirectoryEntry(char* entry, const QString& name, cfb::EntryType type, uint32_t child,
                         uint32_t startSector, uint32_t size) {
    for (int i = 0; i < name.size(); ++i) {
        bytes::put16(entry + cfb::entry::kName + 2 * i, name.at(i).unicode());
    }
    bytes::put16(entry + cfb::entry::kNameBytes, static_cast<uint16_t>((name.size() + 1) * 2));
    entry[cfb::entry::kType] = static_cast<char>(type);
    entry[cfb::entry::kColour] = cfb::kBlack; // a lone node is a valid red-black tree
    bytes::put32(entry + cfb::entry::kLeft, cfb::kNoStream);
    bytes::put32(entry + cfb::entry::kRight, cfb::kNoStream);
    bytes::put32(entry + cfb::entry::kChild, child);
    bytes::put32(entry + cfb::entry::kStartSector, startSector);
    bytes::put32(entry + cfb::entry::kSize, size);
}

void writeUnusedEntry(char* entry) {
    bytes::put32(entry + cfb::entry::kLeft, cfb::kNoStream);
    bytes::put32(entry + cfb::entry::kRight, cfb::kNoStream);
    bytes::put32(entry + cfb::entry::kChild, cfb::kNoStream);
}

} // namespace

CompoundFileFrame::CompoundFileFrame(qsizetype bytes)
    : m_dataBytes(bytes), m_streamBytes(std::max<qsizetype>(bytes, cfb::kMiniStreamCutoff)) {
    m_streamSectors = ceilDiv(static_cast<uint32_t>(m_streamBytes), kSectorSize);
    // The FAT must also map its own sectors and the DIFAT sectors, so grow both until stable.
    for (;;) {
        const uint32_t fat = ceilDiv(totalSectors(), kEntriesPerFatSector);
        const uint32_t difat =
            fat > cfb::kHeaderDifatEntries
                ? ceilDiv(fat - cfb::kHeaderDifatEntries, kFatSectorsPerDifatSector)
                : 0;
        if (fat == m_fatSectors && difat == m_difatSectors) {
            break;
        }
        m_fatSectors = fat;
        m_difatSectors = difat;
    }
}

qsizetype CompoundFileFrame::fileBytes() const {
    return cfb::kHeaderSize + static_cast<qsizetype>(totalSectors()) * kSectorSize;
}

QByteArray CompoundFileFrame::header() const {
    QByteArray header(cfb::kHeaderSize, '\0');
    char* h = header.data();
    std::memcpy(h, cfb::kSignature, sizeof cfb::kSignature);
    bytes::put16(h + cfb::header::kMinorVersion, cfb::kMinorVersion);
    bytes::put16(h + cfb::header::kMajorVersion, cfb::kMajorVersion3);
    bytes::put16(h + cfb::header::kByteOrder, cfb::kByteOrderMark);
    bytes::put16(h + cfb::header::kSectorShift, cfb::kSectorShift3);
    bytes::put16(h + cfb::header::kMiniSectorShift, cfb::kMiniSectorShift);
    bytes::put32(h + cfb::header::kFatSectorCount, m_fatSectors);
    bytes::put32(h + cfb::header::kFirstDirectorySector, directorySector());
    bytes::put32(h + cfb::header::kMiniStreamCutoff, cfb::kMiniStreamCutoff);
    bytes::put32(h + cfb::header::kFirstMiniFatSector, cfb::kEndOfChain); // no mini FAT
    bytes::put32(h + cfb::header::kFirstDifatSector,
                 m_difatSectors ? firstDifatSector() : cfb::kEndOfChain);
    bytes::put32(h + cfb::header::kDifatSectorCount, m_difatSectors);
    for (uint32_t i = 0; i < cfb::kHeaderDifatEntries; ++i) {
        bytes::put32(h + cfb::header::kDifat + 4 * i,
                     i < m_fatSectors ? firstFatSector() + i : cfb::kFreeSector);
    }
    return header;
}

QByteArray CompoundFileFrame::trailer() const {
    // Everything after the stream's data starts zeroed, the padding of its last sector too.
    const qsizetype padding = static_cast<qsizetype>(m_streamSectors) * kSectorSize - m_dataBytes;
    QByteArray trailer(fileBytes() - cfb::kHeaderSize - m_dataBytes, '\0');
    auto sectorAt = [&](uint32_t sector) {
        return trailer.data() + padding +
               static_cast<qsizetype>(sector - m_streamSectors) * kSectorSize;
    };

    char* directory = sectorAt(directorySector());
    writeDirectoryEntry(directory, QStringLiteral("Root Entry"), cfb::EntryType::Root, 1,
                        cfb::kEndOfChain, 0);
    writeDirectoryEntry(directory + cfb::kDirEntrySize, QStringLiteral("Workbook"),
                        cfb::EntryType::Stream, cfb::kNoStream, 0,
                        static_cast<uint32_t>(m_streamBytes));
    writeUnusedEntry(directory + 2 * cfb::kDirEntrySize);
    writeUnusedEntry(directory + 3 * cfb::kDirEntrySize);

    auto setFatEntry = [&](uint32_t index, uint32_t value) {
        char* fat = sectorAt(firstFatSector() + index / kEntriesPerFatSector);
        bytes::put32(fat + 4 * (index % kEntriesPerFatSector), value);
    };
    for (uint32_t s = 0; s < m_streamSectors; ++s) {
        setFatEntry(s, s + 1 == m_streamSectors ? cfb::kEndOfChain : s + 1);
    }
    setFatEntry(directorySector(), cfb::kEndOfChain);
    for (uint32_t i = 0; i < m_fatSectors; ++i) {
        setFatEntry(firstFatSector() + i, cfb::kFatSector);
    }
    for (uint32_t i = 0; i < m_difatSectors; ++i) {
        setFatEntry(firstDifatSector() + i, cfb::kDifatSector);
    }
    for (uint32_t s = totalSectors(); s < m_fatSectors * kEntriesPerFatSector; ++s) {
        setFatEntry(s, cfb::kFreeSector);
    }

    uint32_t fatIndex = cfb::kHeaderDifatEntries;
    for (uint32_t d = 0; d < m_difatSectors; ++d) {
        char* sector = sectorAt(firstDifatSector() + d);
        for (uint32_t slot = 0; slot < kFatSectorsPerDifatSector; ++slot, ++fatIndex) {
            bytes::put32(sector + 4 * slot,
                         fatIndex < m_fatSectors ? firstFatSector() + fatIndex : cfb::kFreeSector);
        }
        const bool last = d + 1 == m_difatSectors;
        bytes::put32(sector + 4 * kFatSectorsPerDifatSector,
                     last ? cfb::kEndOfChain : firstDifatSector() + d + 1);
    }
    return trailer;
}

QByteArray writeCompoundFile(const QByteArray& workbookStream) {
    const CompoundFileFrame frame(workbookStream.size());
    QByteArray file;
    file.reserve(frame.fileBytes());
    file.append(frame.header());
    file.append(workbookStream);
    file.append(frame.trailer());
    return file;
}

} // namespace xls
