#include "spreadsheet/xls/cfbwriter.h"

#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/cfbformat.h"

#include <QString>
#include <algorithm>
#include <cstring>

namespace xls {

namespace {

constexpr int kSectorSize = 512;
static_assert(kCompoundHeaderRoom == cfb::kHeaderSize);
constexpr uint32_t kEntriesPerFatSector = kSectorSize / 4;
// A DIFAT sector lists 127 FAT sectors; its last slot links to the next DIFAT sector.
constexpr uint32_t kFatSectorsPerDifatSector = kEntriesPerFatSector - 1;

struct Layout {
    uint32_t streamSectors = 0;
    uint32_t directorySector = 0;
    uint32_t fatSectors = 0;
    uint32_t difatSectors = 0;
    uint32_t firstFatSector() const { return directorySector + 1; }
    uint32_t firstDifatSector() const { return firstFatSector() + fatSectors; }
    uint32_t totalSectors() const { return streamSectors + 1 + fatSectors + difatSectors; }
};

uint32_t ceilDiv(uint32_t a, uint32_t b) {
    return (a + b - 1) / b;
}

Layout planLayout(uint32_t streamSize) {
    Layout layout;
    layout.streamSectors = ceilDiv(streamSize, kSectorSize);
    layout.directorySector = layout.streamSectors;
    // The FAT must also map its own sectors and the DIFAT sectors, so grow both until stable.
    for (;;) {
        uint32_t fat = ceilDiv(layout.totalSectors(), kEntriesPerFatSector);
        uint32_t difat = fat > cfb::kHeaderDifatEntries
                             ? ceilDiv(fat - cfb::kHeaderDifatEntries, kFatSectorsPerDifatSector)
                             : 0;
        if (fat == layout.fatSectors && difat == layout.difatSectors)
            return layout;
        layout.fatSectors = fat;
        layout.difatSectors = difat;
    }
}

char* sectorAt(QByteArray& file, uint32_t sector) {
    return file.data() + cfb::kHeaderSize + static_cast<qsizetype>(sector) * kSectorSize;
}

void writeDirectoryEntry(char* entry, const QString& name, cfb::EntryType type, uint32_t child,
                         uint32_t startSector, uint32_t size) {
    for (int i = 0; i < name.size(); ++i)
        bytes::put16(entry + 2 * i, name.at(i).unicode());
    bytes::put16(entry + 64, static_cast<uint16_t>((name.size() + 1) * 2));
    entry[66] = static_cast<char>(type);
    entry[67] = 1; // black: a lone node is a valid red-black tree
    bytes::put32(entry + 68, cfb::kNoStream);
    bytes::put32(entry + 72, cfb::kNoStream);
    bytes::put32(entry + 76, child);
    bytes::put32(entry + 116, startSector);
    bytes::put32(entry + 120, size);
}

void writeUnusedEntry(char* entry) {
    bytes::put32(entry + 68, cfb::kNoStream);
    bytes::put32(entry + 72, cfb::kNoStream);
    bytes::put32(entry + 76, cfb::kNoStream);
}

void writeHeader(char* h, const Layout& layout) {
    std::memcpy(h, cfb::kSignature, sizeof cfb::kSignature);
    bytes::put16(h + 24, 0x003E); // minor version
    bytes::put16(h + 26, 0x0003); // major version 3: 512-byte sectors
    bytes::put16(h + 28, 0xFFFE); // byte order mark
    bytes::put16(h + 30, 9);      // sector size 2^9
    bytes::put16(h + 32, 6);      // mini sector size 2^6
    bytes::put32(h + 44, layout.fatSectors);
    bytes::put32(h + 48, layout.directorySector);
    bytes::put32(h + 56, cfb::kMiniStreamCutoff);
    bytes::put32(h + 60, cfb::kEndOfChain); // no mini FAT
    bytes::put32(h + 68, layout.difatSectors ? layout.firstDifatSector() : cfb::kEndOfChain);
    bytes::put32(h + 72, layout.difatSectors);
    for (uint32_t i = 0; i < cfb::kHeaderDifatEntries; ++i) {
        uint32_t fatSector = i < layout.fatSectors ? layout.firstFatSector() + i : cfb::kFreeSector;
        bytes::put32(h + 76 + 4 * i, fatSector);
    }
}

void writeFat(QByteArray& file, const Layout& layout) {
    auto setEntry = [&](uint32_t index, uint32_t value) {
        char* fat = sectorAt(file, layout.firstFatSector() + index / kEntriesPerFatSector);
        bytes::put32(fat + 4 * (index % kEntriesPerFatSector), value);
    };
    for (uint32_t s = 0; s < layout.streamSectors; ++s)
        setEntry(s, s + 1 == layout.streamSectors ? cfb::kEndOfChain : s + 1);
    setEntry(layout.directorySector, cfb::kEndOfChain);
    for (uint32_t i = 0; i < layout.fatSectors; ++i)
        setEntry(layout.firstFatSector() + i, cfb::kFatSector);
    for (uint32_t i = 0; i < layout.difatSectors; ++i)
        setEntry(layout.firstDifatSector() + i, cfb::kDifatSector);
    for (uint32_t s = layout.totalSectors(); s < layout.fatSectors * kEntriesPerFatSector; ++s)
        setEntry(s, cfb::kFreeSector);
}

void writeDifat(QByteArray& file, const Layout& layout) {
    uint32_t fatIndex = cfb::kHeaderDifatEntries;
    for (uint32_t d = 0; d < layout.difatSectors; ++d) {
        char* sector = sectorAt(file, layout.firstDifatSector() + d);
        for (uint32_t slot = 0; slot < kFatSectorsPerDifatSector; ++slot, ++fatIndex) {
            uint32_t value = fatIndex < layout.fatSectors ? layout.firstFatSector() + fatIndex
                                                          : cfb::kFreeSector;
            bytes::put32(sector + 4 * slot, value);
        }
        bool last = d + 1 == layout.difatSectors;
        bytes::put32(sector + 4 * kFatSectorsPerDifatSector,
                     last ? cfb::kEndOfChain : layout.firstDifatSector() + d + 1);
    }
}

} // namespace

QByteArray writeCompoundFile(const QByteArray& workbookStream) {
    QByteArray file(kCompoundHeaderRoom + workbookStream.size(), Qt::Uninitialized);
    std::memcpy(file.data() + kCompoundHeaderRoom, workbookStream.constData(),
                workbookStream.size());
    return finishCompoundFile(std::move(file));
}

QByteArray finishCompoundFile(QByteArray file) {
    const qsizetype dataSize = file.size() - kCompoundHeaderRoom;
    const auto streamSize =
        static_cast<uint32_t>(std::max<qsizetype>(dataSize, cfb::kMiniStreamCutoff));
    const Layout layout = planLayout(streamSize);

    // The padding after the stream and every sector after it start zeroed.
    const qsizetype total =
        cfb::kHeaderSize + static_cast<qsizetype>(layout.totalSectors()) * kSectorSize;
    file.resize(total);
    std::memset(file.data(), 0, cfb::kHeaderSize);
    std::memset(file.data() + kCompoundHeaderRoom + dataSize, 0,
                total - kCompoundHeaderRoom - dataSize);
    writeHeader(file.data(), layout);

    char* directory = sectorAt(file, layout.directorySector);
    writeDirectoryEntry(directory, QStringLiteral("Root Entry"), cfb::EntryType::Root, 1,
                        cfb::kEndOfChain, 0);
    writeDirectoryEntry(directory + cfb::kDirEntrySize, QStringLiteral("Workbook"),
                        cfb::EntryType::Stream, cfb::kNoStream, 0, streamSize);
    writeUnusedEntry(directory + 2 * cfb::kDirEntrySize);
    writeUnusedEntry(directory + 3 * cfb::kDirEntrySize);

    writeFat(file, layout);
    writeDifat(file, layout);
    return file;
}

} // namespace xls
