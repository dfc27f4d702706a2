#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

// Hand-made BIFF8 records and compound files, for input that this module never writes itself
// but other programs do: numbers, formulas, inline strings, rich shared strings, mini streams.
namespace craft {

QByteArray u8(uint8_t v);
QByteArray u16(uint16_t v);
QByteArray u32(uint32_t v);
QByteArray f64(double v);
// Characters as stored: 8-bit (low bytes) or UTF-16LE.
QByteArray chars(const QString& text, bool highByte);

QByteArray record(uint16_t type, const QByteArray& data);
QByteArray bof(uint16_t substream, uint16_t version = 0x0600);
QByteArray eof();
// XLUnicodeString with a 16-bit length, as in LABEL and STRING.
QByteArray unicodeString(const QString& text, bool highByte);
// A cell header: row, column, XF 15.
QByteArray cell(uint16_t row, uint16_t column);

struct SheetPart {
    QString name;
    uint8_t kind = 0;            // BOUNDSHEET type: 0 worksheet, 1 macro sheet, 2 chart
    uint16_t substream = 0x0010; // BOF type
    QByteArray records;          // everything between BOF and EOF
    bool hidden = false;
};

// A Workbook stream: globals (BOF, the given records, BOUNDSHEETs, EOF) then the sheets.
// BOUNDSHEET offsets point at each sheet's BOF unless offsetShift moves them.
QByteArray workbookStream(const QByteArray& globalsRecords, const std::vector<SheetPart>& sheets,
                          int32_t offsetShift = 0);

// A compound file with one stream of the given name. Streams under 4,096 bytes go into the
// mini stream as other writers put them. sectorShift 9 gives version 3, 12 version 4.
QByteArray compoundFile(const QByteArray& stream,
                        const QString& streamName = QStringLiteral("Workbook"),
                        int sectorShift = 9);

} // namespace craft
