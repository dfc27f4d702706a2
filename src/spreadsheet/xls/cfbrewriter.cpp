#include "spreadsheet/xls/cfbrewriter.h"

#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/cfbformat.h"
#include "spreadsheet/xls/cfbtables.h"
#include "spreadsheet/xls/xlsbook.h"

#include <cstring>

namespace xls {

namespace {

constexpr qsizetype kSectorSize = qsizetype{1} << cfb::kSectorShift3;
constexpr uint32_t kEntriesPerSector = kSectorSize / 4;
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

// The file being written: the sector area with the streams, the mini stream and its table.
class CompoundRewriter {
public:
    explicit CompoundRewriter(const CompoundContent& original)
        : m_original(original), m_entries(original.entries) {}

    std::vector<QByteArray> write(const std::vector<QByteArray>& workbookStream);

private:
    void padDirectory();
    void placeStreams(const std::vector<QByteArray>& workbookStream);
    void placeSmall(QByteArray& entry, const QByteArray& data);
    cfb::HeaderLayout placeMiniStreamAndDirectory();
    QByteArray header(const cfb::HeaderLayout& layout) const;
    QByteArray tables(const cfb::HeaderLayout& layout) const;

    const CompoundContent& m_original;
    std::vector<QByteArray> m_entries;
    SectorArea m_area;
    QByteArray m_miniStream;
    std::vector<uint32_t> m_miniFat;
};

// The directory is written in whole sectors; unused entries fill the last one.
void CompoundRewriter::padDirectory() {
    while (m_entries.size() % kEntriesPerDirectorySector != 0) {
        QByteArray unused(cfb::kDirEntrySize, '\0');
        bytes::put32(unused.data() + cfb::entry::kLeft, cfb::kNoStream);
        bytes::put32(unused.data() + cfb::entry::kRight, cfb::kNoStream);
        bytes::put32(unused.data() + cfb::entry::kChild, cfb::kNoStream);
        m_entries.push_back(unused);
    }
}

void setEntryPlace(QByteArray& entry, uint32_t start, qsizetype size) {
    char* e = entry.data();
    bytes::put32(e + cfb::entry::kStartSector, start);
    bytes::put32(e + cfb::entry::kSize, static_cast<uint32_t>(size));
    bytes::put32(e + cfb::entry::kSizeHigh, 0);
}

// A stream other than the workbook: in the sector area from 4,096 bytes, else in the mini
// stream ([MS-CFB] 2.6.3 Stream Sector Chains, 2.4 Mini FAT Sectors).
void CompoundRewriter::placeSmall(QByteArray& entry, const QByteArray& data) {
    if (data.size() >= cfb::kMiniStreamCutoff) {
        setEntryPlace(entry, m_area.appendChain(data), data.size());
        return;
    }
    if (data.isEmpty()) {
        setEntryPlace(entry, cfb::kEndOfChain, 0);
        return;
    }
    const uint32_t first = static_cast<uint32_t>(m_miniFat.size());
    const uint32_t count = sectorsFor(data.size(), cfb::kMiniSectorSize);
    m_miniStream.append(data);
    m_miniStream.append(QByteArray(qsizetype(count) * cfb::kMiniSectorSize - data.size(), '\0'));
    for (uint32_t i = 0; i < count; ++i) {
        m_miniFat.push_back(i + 1 < count ? first + i + 1 : cfb::kEndOfChain);
    }
    setEntryPlace(entry, first, data.size());
}

void CompoundRewriter::placeStreams(const std::vector<QByteArray>& workbookStream) {
    std::vector<QByteArray> workbook = workbookStream;
    qsizetype workbookSize = 0;
    for (const QByteArray& piece : workbook) {
        workbookSize += piece.size();
    }
    if (workbookSize < cfb::kMiniStreamCutoff) {
        workbook.push_back(QByteArray(cfb::kMiniStreamCutoff - workbookSize, '\0'));
        workbookSize = cfb::kMiniStreamCutoff;
    }
    for (size_t i = 0; i < m_original.entries.size(); ++i) {
        const auto type =
            static_cast<cfb::EntryType>(static_cast<uint8_t>(m_entries[i][cfb::entry::kType]));
        if (int(i) == m_original.workbookEntry) {
            const uint32_t start = m_area.appendChain(workbook);
            setEntryPlace(m_entries[i], start, workbookSize);
        } else if (type == cfb::EntryType::Stream) {
            placeSmall(m_entries[i], m_original.streams[i]);
        } else if (type == cfb::EntryType::Storage) {
            setEntryPlace(m_entries[i], 0, 0);
        }
    }
}

// The root entry holds the mini stream; the mini FAT and the directory follow it.
cfb::HeaderLayout CompoundRewriter::placeMiniStreamAndDirectory() {
    setEntryPlace(m_entries[0],
                  m_miniStream.isEmpty() ? cfb::kEndOfChain : m_area.appendChain(m_miniStream),
                  m_miniStream.size());
    QByteArray miniFatBytes;
    for (const uint32_t next : m_miniFat) {
        bytes::append32(miniFatBytes, next);
    }
    while (miniFatBytes.size() % kSectorSize != 0) {
        bytes::append32(miniFatBytes, cfb::kFreeSector);
    }
    const uint32_t miniFatStart = m_area.appendChain(miniFatBytes);
    const uint32_t miniFatSectors = sectorsFor(miniFatBytes.size(), kSectorSize);
    QByteArray directory;
    for (const QByteArray& entry : m_entries) {
        directory.append(entry);
    }
    cfb::HeaderLayout layout;
    layout.firstDirectory = m_area.appendChain(directory);
    layout.firstMiniFat = miniFatSectors ? miniFatStart : cfb::kEndOfChain;
    layout.miniFatSectors = miniFatSectors;
    layout.tables = cfb::allocationTablesFor(m_area.sectorCount());
    layout.firstFat = m_area.sectorCount();
    layout.firstDifat = layout.firstFat + layout.tables.fatSectors;
    return layout;
}

// The fields that do not describe the layout (class id, minor version, reserved bytes,
// transaction signature) are kept as read; the layout is that of version 3.
QByteArray CompoundRewriter::header(const cfb::HeaderLayout& layout) const {
    QByteArray file(cfb::kHeaderSize, '\0');
    char* h = file.data();
    if (m_original.header.size() == cfb::kHeaderSize) {
        std::memcpy(h, m_original.header.constData(), cfb::header::kDifat);
    } else {
        bytes::put16(h + cfb::header::kMinorVersion, cfb::kMinorVersion);
    }
    std::memcpy(h, cfb::kSignature, sizeof cfb::kSignature);
    cfb::putHeaderLayout(h, layout);
    return file;
}

// The FAT, then the DIFAT sectors ([MS-CFB] 2.3, 2.5).
QByteArray CompoundRewriter::tables(const cfb::HeaderLayout& layout) const {
    std::vector<uint32_t> fat = m_area.fat;
    fat.insert(fat.end(), layout.tables.fatSectors, cfb::kFatSector);
    fat.insert(fat.end(), layout.tables.difatSectors, cfb::kDifatSector);
    fat.resize(size_t(layout.tables.fatSectors) * kEntriesPerSector, cfb::kFreeSector);
    QByteArray tables(
        qsizetype(layout.tables.fatSectors + layout.tables.difatSectors) * kSectorSize, '\0');
    for (size_t i = 0; i < fat.size(); ++i) {
        bytes::put32(tables.data() + 4 * qsizetype(i), fat[i]);
    }
    char* difat = tables.data() + qsizetype(layout.tables.fatSectors) * kSectorSize;
    for (uint32_t d = 0; d < layout.tables.difatSectors; ++d) {
        cfb::putDifatSector(difat + qsizetype(d) * kSectorSize, d, layout);
    }
    return tables;
}

std::vector<QByteArray> CompoundRewriter::write(const std::vector<QByteArray>& workbookStream) {
    padDirectory();
    placeStreams(workbookStream);
    const cfb::HeaderLayout layout = placeMiniStreamAndDirectory();
    std::vector<QByteArray> pieces{header(layout)};
    pieces.insert(pieces.end(), m_area.pieces.begin(), m_area.pieces.end());
    pieces.push_back(tables(layout));
    return pieces;
}

} // namespace

std::vector<QByteArray> rewriteCompoundFile(const CompoundContent& original,
                                            const std::vector<QByteArray>& workbookStream) {
    if (original.workbookEntry < 0 || size_t(original.workbookEntry) >= original.entries.size()) {
        throw FormatError("The workbook has no Workbook stream to replace");
    }
    return CompoundRewriter(original).write(workbookStream);
}

} // namespace xls
