#include "spreadsheet/xls/cfbwriter.h"

#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/cfbformat.h"
#include "spreadsheet/xls/cfbtables.h"

#include <QString>
#include <algorithm>
#include <cstring>

namespace xls {

namespace {

constexpr int kSectorSize = 1 << cfb::kSectorShift3;
constexpr uint32_t kEntriesPerFatSector = kSectorSize / 4;

uint32_t ceilDiv(uint32_t a, uint32_t b) {
    return (a + b - 1) / b;
}

void writeDirectoryEntry(char* entry, const QString& name, cfb::EntryType type, uint32_t child,
                         uint32_t startSector, uint32_t size) {
    for (int i = 0; i < name.size(); ++i) {
        bytes::put16(entry + cfb::entry::kName + qsizetype(2) * i, name.at(i).unicode());
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
    const cfb::AllocationTables tables = cfb::allocationTablesFor(m_streamSectors + 1);
    m_fatSectors = tables.fatSectors;
    m_difatSectors = tables.difatSectors;
}

// The one directory sector follows the stream, then the FAT, then the DIFAT; no mini FAT.
cfb::HeaderLayout CompoundFileFrame::layout() const {
    return {{m_fatSectors, m_difatSectors},
            firstFatSector(),
            firstDifatSector(),
            directorySector(),
            cfb::kEndOfChain,
            0};
}

qsizetype CompoundFileFrame::fileBytes() const {
    return cfb::kHeaderSize + static_cast<qsizetype>(totalSectors()) * kSectorSize;
}

QByteArray CompoundFileFrame::header() const {
    QByteArray header(cfb::kHeaderSize, '\0');
    char* h = header.data();
    std::memcpy(h, cfb::kSignature, sizeof cfb::kSignature);
    bytes::put16(h + cfb::header::kMinorVersion, cfb::kMinorVersion);
    cfb::putHeaderLayout(h, layout());
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
    writeUnusedEntry(directory + qsizetype(2) * cfb::kDirEntrySize);
    writeUnusedEntry(directory + qsizetype(3) * cfb::kDirEntrySize);

    auto setFatEntry = [&](uint32_t index, uint32_t value) {
        char* fat = sectorAt(firstFatSector() + index / kEntriesPerFatSector);
        bytes::put32(fat + size_t(4) * (index % kEntriesPerFatSector), value);
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

    for (uint32_t d = 0; d < m_difatSectors; ++d) {
        cfb::putDifatSector(sectorAt(firstDifatSector() + d), d, layout());
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
