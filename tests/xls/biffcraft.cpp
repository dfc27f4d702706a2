#include "biffcraft.h"

#include <QtEndian>
#include <cstring>

namespace craft {

QByteArray u8(uint8_t v) {
    return QByteArray(1, static_cast<char>(v));
}

QByteArray u16(uint16_t v) {
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray u32(uint32_t v) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray f64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    QByteArray b(8, '\0');
    qToLittleEndian(bits, b.data());
    return b;
}

QByteArray chars(const QString& text, bool highByte) {
    QByteArray b;
    for (QChar c : text) {
        b += highByte ? u16(c.unicode()) : u8(static_cast<uint8_t>(c.unicode()));
    }
    return b;
}

QByteArray record(uint16_t type, const QByteArray& data) {
    return u16(type) + u16(static_cast<uint16_t>(data.size())) + data;
}

QByteArray bof(uint16_t substream, uint16_t version) {
    return record(0x0809,
                  u16(version) + u16(substream) + u16(0x0DBB) + u16(0x07CC) + u32(0) + u32(6));
}

QByteArray eof() {
    return record(0x000A, {});
}

QByteArray unicodeString(const QString& text, bool highByte) {
    return u16(static_cast<uint16_t>(text.size())) + u8(highByte ? 1 : 0) + chars(text, highByte);
}

QByteArray cell(uint16_t row, uint16_t column) {
    return u16(row) + u16(column) + u16(15);
}

namespace {

QByteArray boundSheet(uint32_t offset, const SheetPart& sheet) {
    return record(0x0085, u32(offset) + u8(sheet.hidden ? 1 : 0) + u8(sheet.kind) +
                              u8(static_cast<uint8_t>(sheet.name.size())) + u8(1) +
                              chars(sheet.name, true));
}

} // namespace

QByteArray workbookStream(const QByteArray& globalsRecords, const std::vector<SheetPart>& sheets,
                          int32_t offsetShift) {
    qsizetype globalsSize = bof(0x0005).size() + globalsRecords.size() + eof().size();
    for (const SheetPart& sheet : sheets) {
        globalsSize += boundSheet(0, sheet).size();
    }
    QByteArray bounds;
    QByteArray bodies;
    for (const SheetPart& sheet : sheets) {
        const auto offset = static_cast<uint32_t>(globalsSize + bodies.size() + offsetShift);
        bounds += boundSheet(offset, sheet);
        bodies += bof(sheet.substream) + sheet.records + eof();
    }
    return bof(0x0005) + globalsRecords + bounds + eof() + bodies;
}

namespace {

constexpr uint32_t kEnd = 0xFFFFFFFE;
constexpr uint32_t kFree = 0xFFFFFFFF;
constexpr uint32_t kFatMark = 0xFFFFFFFD;

void put32(QByteArray& b, qsizetype at, uint32_t v) {
    qToLittleEndian(v, b.data() + at);
}

void put16(QByteArray& b, qsizetype at, uint16_t v) {
    qToLittleEndian(v, b.data() + at);
}

void directoryEntry(QByteArray& sector, int index, const QString& name, uint8_t type,
                    uint32_t child, uint32_t start, uint32_t size) {
    const qsizetype e = index * 128;
    for (int i = 0; i < name.size(); ++i) {
        put16(sector, e + 2 * i, name.at(i).unicode());
    }
    put16(sector, e + 64, static_cast<uint16_t>(2 * (name.size() + 1)));
    sector[e + 66] = static_cast<char>(type);
    sector[e + 67] = 1;
    put32(sector, e + 68, kFree);
    put32(sector, e + 72, kFree);
    put32(sector, e + 76, child);
    put32(sector, e + 116, start);
    put32(sector, e + 120, size);
}

} // namespace

// Layout: sector 0 the FAT, 1 the directory, 2 the mini FAT, then the data (the mini stream
// container, or the stream itself).
QByteArray compoundFile(const QByteArray& stream, const QString& streamName, int sectorShift) {
    const qsizetype sectorSize = qsizetype{1} << sectorShift;
    const bool mini = stream.size() < 4096;
    const qsizetype dataBytes = mini ? (stream.size() + 63) / 64 * 64 : stream.size();
    const auto dataSectors = static_cast<uint32_t>((dataBytes + sectorSize - 1) / sectorSize);
    const uint32_t firstData = 3;
    Q_ASSERT(firstData + dataSectors <= sectorSize / 4); // one FAT sector is enough

    QByteArray header(sectorSize, '\0');
    const char signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    std::memcpy(header.data(), signature, 8);
    put16(header, 24, 0x003E);
    put16(header, 26, sectorShift == 12 ? 4 : 3);
    put16(header, 28, 0xFFFE);
    put16(header, 30, static_cast<uint16_t>(sectorShift));
    put16(header, 32, 6);
    put32(header, 44, 1);
    put32(header, 48, 1);
    put32(header, 56, 4096);
    put32(header, 60, mini ? 2 : kEnd);
    put32(header, 64, mini ? 1 : 0);
    put32(header, 68, kEnd);
    for (int i = 0; i < 109; ++i) {
        put32(header, 76 + 4 * i, i == 0 ? 0 : kFree);
    }

    QByteArray fat(sectorSize, '\xFF');
    put32(fat, 0, kFatMark);
    put32(fat, 4, kEnd);
    put32(fat, 8, mini ? kEnd : kFree);
    for (uint32_t s = 0; s < dataSectors; ++s) {
        put32(fat, 4 * (firstData + s), s + 1 == dataSectors ? kEnd : firstData + s + 1);
    }

    QByteArray directory(sectorSize, '\0');
    for (int i = 0; i < sectorSize / 128; ++i) {
        put32(directory, i * 128 + 68, kFree);
        put32(directory, i * 128 + 72, kFree);
        put32(directory, i * 128 + 76, kFree);
    }
    directoryEntry(directory, 0, QStringLiteral("Root Entry"), 5, 1, mini ? firstData : kEnd,
                   mini ? static_cast<uint32_t>(dataBytes) : 0);
    directoryEntry(directory, 1, streamName, 2, kFree, mini ? 0 : firstData,
                   static_cast<uint32_t>(stream.size()));

    QByteArray miniFat(sectorSize, '\xFF');
    const auto miniSectors = static_cast<uint32_t>(dataBytes / 64);
    if (mini) {
        for (uint32_t m = 0; m < miniSectors; ++m) {
            put32(miniFat, 4 * m, m + 1 == miniSectors ? kEnd : m + 1);
        }
    }

    QByteArray data = stream;
    data.resize(dataSectors * sectorSize, '\0');
    return header + fat + directory + miniFat + data;
}

} // namespace craft
