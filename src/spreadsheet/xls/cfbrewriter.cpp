#include "spreadsheet/xls/cfbrewriter.h"

#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/cfbformat.h"
#include "spreadsheet/xls/xlsbook.h"

#include <cstring>

namespace xls {

namespace {

constexpr qsizetype kSectorSize = qsizetype{1} << cfb::kSectorShift3;
constexpr uint32_t kEntriesPerSector = kSectorSize / 4;
constexpr uint32_t kFatSectorsPerDifatSector = kEntriesPerSector - 1;
constexpr int kEntriesPerDirectorySector = kSectorSize / cfb::kDirEntrySize;

uint32_t sectorsFor(qsizetype bytes, qsizetype unit) {
    return static_cast<uint32_t>((bytes + unit - 1) / unit);
}

// Builds the sector area: chains are appended one after the other and recorded in `fat`.
class SectorArea {
public:
    uint32_t sectorCount() const { return static_cast<uint32_t>(fat.size()); }

    // Appends data given in pieces as a chain of whole sectors; returns its first sector. The
    // pieces are shared, not copied.
    uint32_t appendChain(const std::vector<QByteArray>& data) {
        qsizetype size = 0;
        for (const QByteArray& piece : data) {
            size += piece.size();
        }
        if (size == 0) {
            return cfb::kEndOfChain;
        }
        const uint32_t first = sectorCount();
        const uint32_t count = sectorsFor(size, kSectorSize);
        for (const QByteArray& piece : data) {
            pieces.push_back(piece);
        }
        if (count * kSectorSize > size) {
            pieces.push_back(QByteArray(count * kSectorSize - size, '\0'));
        }
        for (uint32_t i = 0; i < count; ++i) {
            fat.push_back(i + 1 < count ? first + i + 1 : cfb::kEndOfChain);
        }
        return first;
    }
    uint32_t appendChain(const QByteArray& data) {
        return appendChain(std::vector<QByteArray>{data});
    }

    std::vector<uint32_t> fat;
    std::vector<QByteArray> pieces;
};

} // namespace

std::vector<QByteArray> rewriteCompoundFile(const CompoundContent& original,
                                            const std::vector<QByteArray>& workbookStream) {
    std::vector<QByteArray> entries = original.entries;
    if (original.workbookEntry < 0 || size_t(original.workbookEntry) >= entries.size()) {
        throw FormatError("The workbook has no Workbook stream to replace");
    }
    // The directory is written in whole sectors; unused entries fill the last one.
    while (entries.size() % kEntriesPerDirectorySector != 0) {
        QByteArray unused(cfb::kDirEntrySize, '\0');
        bytes::put32(unused.data() + cfb::entry::kLeft, cfb::kNoStream);
        bytes::put32(unused.data() + cfb::entry::kRight, cfb::kNoStream);
        bytes::put32(unused.data() + cfb::entry::kChild, cfb::kNoStream);
        entries.push_back(unused);
    }

    std::vector<QByteArray> workbook = workbookStream;
    qsizetype workbookSize = 0;
    for (const QByteArray& piece : workbook) {
        workbookSize += piece.size();
    }
    if (workbookSize < cfb::kMiniStreamCutoff) {
        workbook.push_back(QByteArray(cfb::kMiniStreamCutoff - workbookSize, '\0'));
        workbookSize = cfb::kMiniStreamCutoff;
    }

    SectorArea area;
    QByteArray miniStream;
    std::vector<uint32_t> miniFat;
    auto place = [&](QByteArray& entry, const QByteArray& data) {
        char* e = entry.data();
        bytes::put32(e + cfb::entry::kSize, static_cast<uint32_t>(data.size()));
        bytes::put32(e + cfb::entry::kSizeHigh, 0);
        if (data.size() >= cfb::kMiniStreamCutoff) {
            bytes::put32(e + cfb::entry::kStartSector, area.appendChain(data));
            return;
        }
        if (data.isEmpty()) {
            bytes::put32(e + cfb::entry::kStartSector, cfb::kEndOfChain);
            return;
        }
        const uint32_t first = static_cast<uint32_t>(miniFat.size());
        const uint32_t count = sectorsFor(data.size(), cfb::kMiniSectorSize);
        miniStream.append(data);
        miniStream.append(QByteArray(count * cfb::kMiniSectorSize - data.size(), '\0'));
        for (uint32_t i = 0; i < count; ++i) {
            miniFat.push_back(i + 1 < count ? first + i + 1 : cfb::kEndOfChain);
        }
        bytes::put32(e + cfb::entry::kStartSector, first);
    };
    for (size_t i = 0; i < original.entries.size(); ++i) {
        const auto type =
            static_cast<cfb::EntryType>(static_cast<uint8_t>(entries[i][cfb::entry::kType]));
        if (int(i) == original.workbookEntry) {
            char* e = entries[i].data();
            bytes::put32(e + cfb::entry::kSize, static_cast<uint32_t>(workbookSize));
            bytes::put32(e + cfb::entry::kSizeHigh, 0);
            bytes::put32(e + cfb::entry::kStartSector, area.appendChain(workbook));
        } else if (type == cfb::EntryType::Stream) {
            place(entries[i], original.streams[i]);
        } else if (type == cfb::EntryType::Storage) {
            bytes::put32(entries[i].data() + cfb::entry::kStartSector, 0);
            bytes::put32(entries[i].data() + cfb::entry::kSize, 0);
            bytes::put32(entries[i].data() + cfb::entry::kSizeHigh, 0);
        }
    }

    // The root entry holds the mini stream; the mini FAT follows it.
    QByteArray& root = entries[0];
    bytes::put32(root.data() + cfb::entry::kStartSector,
                 miniStream.isEmpty() ? cfb::kEndOfChain : area.appendChain(miniStream));
    bytes::put32(root.data() + cfb::entry::kSize, static_cast<uint32_t>(miniStream.size()));
    bytes::put32(root.data() + cfb::entry::kSizeHigh, 0);
    QByteArray miniFatBytes;
    for (const uint32_t next : miniFat) {
        bytes::append32(miniFatBytes, next);
    }
    while (miniFatBytes.size() % kSectorSize != 0) {
        bytes::append32(miniFatBytes, cfb::kFreeSector);
    }
    const uint32_t miniFatStart = area.appendChain(miniFatBytes);
    const uint32_t miniFatSectors = sectorsFor(miniFatBytes.size(), kSectorSize);

    QByteArray directory;
    for (const QByteArray& entry : entries) {
        directory.append(entry);
    }
    const uint32_t directoryStart = area.appendChain(directory);

    // The FAT maps itself and the DIFAT too: grow both until they are stable.
    const uint32_t dataSectors = area.sectorCount();
    uint32_t fatSectors = 0;
    uint32_t difatSectors = 0;
    for (;;) {
        const uint32_t fat =
            sectorsFor(qsizetype(dataSectors) + fatSectors + difatSectors, kEntriesPerSector);
        const uint32_t difat =
            fat > cfb::kHeaderDifatEntries
                ? sectorsFor(fat - cfb::kHeaderDifatEntries, kFatSectorsPerDifatSector)
                : 0;
        if (fat == fatSectors && difat == difatSectors) {
            break;
        }
        fatSectors = fat;
        difatSectors = difat;
    }
    const uint32_t firstFat = dataSectors;
    const uint32_t firstDifat = firstFat + fatSectors;
    std::vector<uint32_t> fat = area.fat;
    for (uint32_t i = 0; i < fatSectors; ++i) {
        fat.push_back(cfb::kFatSector);
    }
    for (uint32_t i = 0; i < difatSectors; ++i) {
        fat.push_back(cfb::kDifatSector);
    }
    fat.resize(size_t(fatSectors) * kEntriesPerSector, cfb::kFreeSector);

    // The fields that do not describe the layout (class id, minor version, reserved bytes,
    // transaction signature) are kept as read; the layout is that of version 3.
    QByteArray file(cfb::kHeaderSize, '\0');
    char* h = file.data();
    if (original.header.size() == cfb::kHeaderSize) {
        std::memcpy(h, original.header.constData(), cfb::header::kDifat);
    } else {
        bytes::put16(h + cfb::header::kMinorVersion, cfb::kMinorVersion);
    }
    std::memcpy(h, cfb::kSignature, sizeof cfb::kSignature);
    bytes::put32(h + cfb::header::kDirectorySectorCount, 0); // not used by version 3
    bytes::put16(h + cfb::header::kMajorVersion, cfb::kMajorVersion3);
    bytes::put16(h + cfb::header::kByteOrder, cfb::kByteOrderMark);
    bytes::put16(h + cfb::header::kSectorShift, cfb::kSectorShift3);
    bytes::put16(h + cfb::header::kMiniSectorShift, cfb::kMiniSectorShift);
    bytes::put32(h + cfb::header::kFatSectorCount, fatSectors);
    bytes::put32(h + cfb::header::kFirstDirectorySector, directoryStart);
    bytes::put32(h + cfb::header::kMiniStreamCutoff, cfb::kMiniStreamCutoff);
    bytes::put32(h + cfb::header::kFirstMiniFatSector,
                 miniFatSectors ? miniFatStart : cfb::kEndOfChain);
    bytes::put32(h + cfb::header::kMiniFatSectorCount, miniFatSectors);
    bytes::put32(h + cfb::header::kFirstDifatSector, difatSectors ? firstDifat : cfb::kEndOfChain);
    bytes::put32(h + cfb::header::kDifatSectorCount, difatSectors);
    for (uint32_t i = 0; i < uint32_t(cfb::kHeaderDifatEntries); ++i) {
        bytes::put32(h + cfb::header::kDifat + 4 * i,
                     i < fatSectors ? firstFat + i : cfb::kFreeSector);
    }

    std::vector<QByteArray> pieces{file};
    pieces.insert(pieces.end(), area.pieces.begin(), area.pieces.end());
    QByteArray tables;
    tables.reserve(qsizetype(fatSectors + difatSectors) * kSectorSize);
    for (const uint32_t next : fat) {
        bytes::append32(tables, next);
    }
    // DIFAT sectors list the FAT sectors beyond the header's 109, 127 to a sector, each ending
    // with the number of the next.
    uint32_t listed = cfb::kHeaderDifatEntries;
    for (uint32_t d = 0; d < difatSectors; ++d) {
        for (uint32_t i = 0; i < kFatSectorsPerDifatSector; ++i, ++listed) {
            bytes::append32(tables, listed < fatSectors ? firstFat + listed : cfb::kFreeSector);
        }
        bytes::append32(tables, d + 1 < difatSectors ? firstDifat + d + 1 : cfb::kEndOfChain);
    }
    pieces.push_back(std::move(tables));
    return pieces;
}

} // namespace xls
