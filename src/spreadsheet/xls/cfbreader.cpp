#include "spreadsheet/xls/cfbreader.h"

#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/cfbformat.h"
#include "spreadsheet/xls/foreignformat.h"
#include "spreadsheet/xls/xlsbook.h"

#include <QString>
#include <cstring>
#include <vector>

namespace xls {

namespace {

[[noreturn]] void fail(const QString& reason) {
    throw FormatError(reason.toStdString());
}

[[noreturn]] void failDamaged(const char* what) {
    fail(QStringLiteral("The file is damaged or truncated (%1)").arg(QLatin1String(what)));
}

struct DirectoryEntry {
    QString name;
    cfb::EntryType type = cfb::EntryType::Unused;
    uint32_t left = cfb::kNoStream;
    uint32_t right = cfb::kNoStream;
    uint32_t child = cfb::kNoStream;
    uint32_t start = cfb::kEndOfChain;
    uint64_t size = 0;
};

class CompoundFile {
public:
    explicit CompoundFile(const QByteArray& file)
        : m_file(file), m_regularBytesLeft(static_cast<uint64_t>(file.size())) {}

    void readHeader();
    void readFat();
    void readDirectory();
    void readMiniFat();
    const DirectoryEntry* findRootStream(const QString& name) const;
    QByteArray readStream(const DirectoryEntry& entry);
    const std::vector<DirectoryEntry>& directory() const { return m_entries; }
    const std::vector<QByteArray>& rawDirectory() const { return m_rawEntries; }

private:
    const char* sector(uint32_t index, qsizetype bytesNeeded) const;
    std::vector<uint32_t> chain(uint32_t start, const std::vector<uint32_t>& table,
                                size_t maxLength, const char* what) const;
    QByteArray readRegular(uint32_t start, uint64_t size, const char* what);
    static void chargeStream(uint64_t& bytesLeft, uint64_t size);

    const QByteArray& m_file;
    int m_sectorShift = 9;
    qsizetype m_sectorSize = 512;
    uint32_t m_entriesPerSector = 128;
    bool m_version4 = false;
    std::vector<uint32_t> m_fat;
    std::vector<uint32_t> m_miniFat;
    std::vector<DirectoryEntry> m_entries;
    std::vector<QByteArray> m_rawEntries; // each entry's 128 bytes as stored
    QByteArray m_miniStream;
    bool m_miniStreamLoaded = false;
    // The streams of a compound file do not share sectors, so together they take at most the
    // file, and the small ones at most the mini stream. Directory entries that point into one
    // another's sectors would otherwise make a small file read as many times its size.
    uint64_t m_regularBytesLeft;
    uint64_t m_miniBytesLeft = 0;
    // Sectors met by the chain being followed: marked with the chain's number, so that no chain
    // needs a table of the file's size of its own.
    mutable std::vector<uint32_t> m_chainMarks;
    mutable uint32_t m_chainNumber = 0;
};

const char* CompoundFile::sector(uint32_t index, qsizetype bytesNeeded) const {
    const qsizetype offset = (static_cast<qsizetype>(index) + 1) << m_sectorShift;
    if (index > cfb::kMaxRegularSector || offset + bytesNeeded > m_file.size()) {
        failDamaged("a sector lies beyond the end of the file");
    }
    return m_file.constData() + offset;
}

void CompoundFile::readHeader() {
    const char* h = m_file.constData();
    if (bytes::u16(h + cfb::header::kByteOrder) != cfb::kByteOrderMark) {
        failDamaged("the header's byte order mark is not FFFE");
    }
    const uint16_t major = bytes::u16(h + cfb::header::kMajorVersion);
    m_sectorShift = bytes::u16(h + cfb::header::kSectorShift);
    if (m_sectorShift != cfb::kSectorShift3 && m_sectorShift != cfb::kSectorShift4) {
        failDamaged("the sector size is neither 512 nor 4096 bytes");
    }
    if (bytes::u16(h + cfb::header::kMiniSectorShift) != cfb::kMiniSectorShift) {
        failDamaged("the mini sector size is not 64 bytes");
    }
    m_version4 = major == cfb::kMajorVersion4;
    m_sectorSize = qsizetype{1} << m_sectorShift;
    m_entriesPerSector = static_cast<uint32_t>(m_sectorSize / 4);
    if (m_file.size() < m_sectorSize + 1) {
        failDamaged("no sectors follow the header");
    }
}

void CompoundFile::readFat() {
    const char* h = m_file.constData();
    const uint32_t fatCount = bytes::u32(h + cfb::header::kFatSectorCount);
    const qsizetype sectorsInFile = (m_file.size() + m_sectorSize - 1) / m_sectorSize;
    if (fatCount == 0 || fatCount > sectorsInFile) {
        failDamaged("the header counts no FAT sector, or more than the file has sectors");
    }

    std::vector<uint32_t> fatSectors;
    fatSectors.reserve(fatCount);
    for (int i = 0; i < cfb::kHeaderDifatEntries && fatSectors.size() < fatCount; ++i) {
        fatSectors.push_back(bytes::u32(h + cfb::header::kDifat + qsizetype(4) * i));
    }

    // Further FAT sector numbers sit in a chain of DIFAT sectors; its last slot links onwards.
    uint32_t difat = bytes::u32(h + cfb::header::kFirstDifatSector);
    std::vector<bool> seen(static_cast<size_t>(sectorsInFile), false);
    while (fatSectors.size() < fatCount) {
        if (difat >= seen.size() || seen[difat]) {
            failDamaged("the DIFAT chain leaves the file or loops");
        }
        seen[difat] = true;
        const char* d = sector(difat, m_sectorSize);
        for (uint32_t i = 0; i + 1 < m_entriesPerSector && fatSectors.size() < fatCount; ++i) {
            fatSectors.push_back(bytes::u32(d + size_t(4) * i));
        }
        difat = bytes::u32(d + size_t(4) * (m_entriesPerSector - 1));
    }

    m_fat.resize(static_cast<size_t>(fatCount) * m_entriesPerSector);
    for (size_t i = 0; i < fatSectors.size(); ++i) {
        const char* s = sector(fatSectors[i], m_sectorSize);
        for (uint32_t e = 0; e < m_entriesPerSector; ++e) {
            m_fat[i * m_entriesPerSector + e] = bytes::u32(s + size_t(4) * e);
        }
    }
}

std::vector<uint32_t> CompoundFile::chain(uint32_t start, const std::vector<uint32_t>& table,
                                          size_t maxLength, const char* what) const {
    if (m_chainMarks.size() < table.size()) {
        m_chainMarks.resize(table.size(), 0);
    }
    const uint32_t mark = ++m_chainNumber;
    std::vector<uint32_t> sectors;
    for (uint32_t s = start; s != cfb::kEndOfChain && sectors.size() < maxLength; s = table[s]) {
        if (s >= table.size()) {
            failDamaged(what);
        }
        if (m_chainMarks[s] == mark) {
            failDamaged("an allocation chain loops");
        }
        m_chainMarks[s] = mark;
        sectors.push_back(s);
    }
    return sectors;
}

void CompoundFile::readDirectory() {
    const uint32_t start = bytes::u32(m_file.constData() + cfb::header::kFirstDirectorySector);
    const auto sectors = chain(start, m_fat, m_fat.size(),
                               "the directory's sector chain leaves the allocation table");
    if (sectors.empty()) {
        failDamaged("the header names no directory sector");
    }
    const int perSector = static_cast<int>(m_sectorSize / cfb::kDirEntrySize);
    m_entries.reserve(sectors.size() * perSector);
    for (uint32_t s : sectors) {
        const char* data = sector(s, m_sectorSize);
        for (int i = 0; i < perSector; ++i) {
            const char* e = data + qsizetype(i) * cfb::kDirEntrySize;
            DirectoryEntry entry;
            const int nameBytes =
                std::min<int>(bytes::u16(e + cfb::entry::kNameBytes), cfb::entry::kMaxNameBytes);
            for (int c = 0; c + 1 < nameBytes; c += 2) {
                const uint16_t unit = bytes::u16(e + cfb::entry::kName + c);
                if (unit == 0) {
                    break;
                }
                entry.name.append(QChar(unit));
            }
            entry.type = static_cast<cfb::EntryType>(static_cast<uint8_t>(e[cfb::entry::kType]));
            entry.left = bytes::u32(e + cfb::entry::kLeft);
            entry.right = bytes::u32(e + cfb::entry::kRight);
            entry.child = bytes::u32(e + cfb::entry::kChild);
            entry.start = bytes::u32(e + cfb::entry::kStartSector);
            entry.size = bytes::u32(e + cfb::entry::kSize);
            // Version 3 files may leave garbage in the high half of the size.
            if (m_version4) {
                entry.size |= static_cast<uint64_t>(bytes::u32(e + cfb::entry::kSizeHigh)) << 32;
            }
            m_entries.push_back(entry);
            m_rawEntries.emplace_back(e, cfb::kDirEntrySize);
        }
    }
    if (m_entries[0].type != cfb::EntryType::Root) {
        failDamaged("the first directory entry is not the root");
    }
}

void CompoundFile::readMiniFat() {
    const char* h = m_file.constData();
    const uint32_t start = bytes::u32(h + cfb::header::kFirstMiniFatSector);
    const auto sectors =
        chain(start, m_fat, m_fat.size(),
              "the mini allocation table's sector chain leaves the allocation table");
    m_miniFat.reserve(sectors.size() * m_entriesPerSector);
    for (uint32_t s : sectors) {
        const char* data = sector(s, m_sectorSize);
        for (uint32_t e = 0; e < m_entriesPerSector; ++e) {
            m_miniFat.push_back(bytes::u32(data + size_t(4) * e));
        }
    }
}

const DirectoryEntry* CompoundFile::findRootStream(const QString& name) const {
    // The root's children form a red-black tree linked by left/right; walk it all.
    std::vector<bool> visited(m_entries.size(), false);
    std::vector<uint32_t> pending{m_entries[0].child};
    while (!pending.empty()) {
        const uint32_t id = pending.back();
        pending.pop_back();
        if (id >= m_entries.size() || visited[id]) {
            continue;
        }
        visited[id] = true;
        const DirectoryEntry& entry = m_entries[id];
        if (entry.type == cfb::EntryType::Stream &&
            entry.name.compare(name, Qt::CaseInsensitive) == 0) {
            return &entry;
        }
        pending.push_back(entry.left);
        pending.push_back(entry.right);
    }
    return nullptr;
}

void CompoundFile::chargeStream(uint64_t& bytesLeft, uint64_t size) {
    if (size > bytesLeft) {
        failDamaged("its streams together are larger than the file: they share sectors");
    }
    bytesLeft -= size;
}

QByteArray CompoundFile::readRegular(uint32_t start, uint64_t size, const char* what) {
    if (size > static_cast<uint64_t>(m_file.size())) {
        failDamaged("a stream is larger than the file");
    }
    chargeStream(m_regularBytesLeft, size);
    const size_t needed = static_cast<size_t>((size + m_sectorSize - 1) / m_sectorSize);
    const auto sectors = chain(start, m_fat, needed, what);
    if (sectors.size() < needed) {
        failDamaged("a stream's sector chain ends before its size");
    }
    if (size == 0) {
        return {};
    }
    // Writers usually store a stream in consecutive sectors; then it is read in place.
    bool consecutive = true;
    for (size_t i = 1; i < sectors.size() && consecutive; ++i) {
        consecutive = sectors[i] == sectors[i - 1] + 1;
    }
    if (consecutive) {
        const char* first = sector(sectors[0], 0);
        sector(sectors.back(), static_cast<qsizetype>(size) - (needed - 1) * m_sectorSize);
        return QByteArray::fromRawData(first, static_cast<qsizetype>(size));
    }
    QByteArray data(static_cast<qsizetype>(size), Qt::Uninitialized);
    qsizetype done = 0;
    for (uint32_t s : sectors) {
        const qsizetype n = std::min<qsizetype>(m_sectorSize, data.size() - done);
        std::memcpy(data.data() + done, sector(s, n), n);
        done += n;
    }
    return data;
}

QByteArray CompoundFile::readStream(const DirectoryEntry& entry) {
    if (entry.size >= cfb::kMiniStreamCutoff) {
        return readRegular(entry.start, entry.size,
                           "a stream's sector chain leaves the allocation table");
    }

    // Small streams live in 64-byte mini sectors inside the root entry's stream.
    if (!m_miniStreamLoaded) {
        readMiniFat();
        m_miniStream = readRegular(m_entries[0].start, m_entries[0].size,
                                   "the mini stream's sector chain leaves the allocation table");
        m_miniStreamLoaded = true;
        m_miniBytesLeft = static_cast<uint64_t>(m_miniStream.size());
    }
    chargeStream(m_miniBytesLeft, entry.size);
    const size_t needed =
        static_cast<size_t>((entry.size + cfb::kMiniSectorSize - 1) / cfb::kMiniSectorSize);
    const auto sectors = chain(entry.start, m_miniFat, needed,
                               "a small stream's chain leaves the mini allocation table");
    if (sectors.size() < needed) {
        failDamaged("a stream's sector chain ends before its size");
    }
    QByteArray data(static_cast<qsizetype>(entry.size), Qt::Uninitialized);
    qsizetype done = 0;
    for (uint32_t s : sectors) {
        const qsizetype n = std::min<qsizetype>(cfb::kMiniSectorSize, data.size() - done);
        const qsizetype offset = static_cast<qsizetype>(s) * cfb::kMiniSectorSize;
        if (offset + n > m_miniStream.size()) {
            failDamaged("a mini sector lies beyond the mini stream");
        }
        std::memcpy(data.data() + done, m_miniStream.constData() + offset, n);
        done += n;
    }
    return data;
}

const DirectoryEntry* workbookEntry(const CompoundFile& compound) {
    if (const DirectoryEntry* workbook = compound.findRootStream(QStringLiteral("Workbook"))) {
        return workbook;
    }
    return compound.findRootStream(QStringLiteral("Book"));
}

} // namespace

QByteArray readWorkbookStream(const QByteArray& file) {
    if (file.size() < 8 || std::memcmp(file.constData(), cfb::kSignature, 8) != 0) {
        fail(describeForeignFile(file));
    }
    if (file.size() < cfb::kHeaderSize) {
        failDamaged("the header is cut off");
    }

    CompoundFile compound(file);
    compound.readHeader();
    compound.readFat();
    compound.readDirectory();

    // Excel 5.0/95 named the stream "Book"; some writers use that name for BIFF8 too. Which
    // version it holds is told by its BOF record, when the records are read.
    if (const DirectoryEntry* workbook = workbookEntry(compound)) {
        return compound.readStream(*workbook);
    }
    if (compound.findRootStream(QStringLiteral("EncryptedPackage"))) {
        fail(QStringLiteral("The file is a password-protected (encrypted) workbook; remove the "
                            "password first"));
    }
    if (compound.findRootStream(QStringLiteral("WordDocument"))) {
        fail(QStringLiteral("The file is a Word document, not an Excel workbook"));
    }
    fail(QStringLiteral("The file is an Office document without a workbook (no Workbook or "
                        "Book stream), not an Excel workbook"));
}

CompoundContent readCompoundContent(const QByteArray& file) {
    CompoundContent content;
    content.workbook = readWorkbookStream(file);
    CompoundFile compound(file);
    compound.readHeader();
    compound.readFat();
    compound.readDirectory();
    const auto& entries = compound.directory();
    content.entries = compound.rawDirectory();
    content.streams.resize(entries.size());
    const DirectoryEntry* workbook = workbookEntry(compound);
    content.header = file.left(cfb::kHeaderSize);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (&entries[i] == workbook) {
            content.workbookEntry = static_cast<int>(i);
        } else if (entries[i].type == cfb::EntryType::Stream) {
            content.streams[i] = compound.readStream(entries[i]);
        }
    }
    return content;
}

} // namespace xls
