#pragma once

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/recordbuffer.h"

#include <QString>
#include <cstdint>
#include <cstring>

// The records every writer of BIFF8 lays out, each in one place: a record is written whole,
// header included, at `p`, which has room for its ...Bytes; the result points past it.
namespace xls::biff {

constexpr int kBofRecordBytes = kRecordHeader + bof::kSize;
constexpr int kEofRecordBytes = kRecordHeader;
constexpr int kDimensionsRecordBytes = kRecordHeader + dimensions::kSize;
constexpr int kRowRecordBytes = kRecordHeader + row::kSize;
constexpr int kLabelSstRecordBytes = kRecordHeader + labelsst::kSize;
constexpr int kWindow2RecordBytes = kRecordHeader + window2::kSize;

inline char* putHeader(char* p, uint16_t type, uint16_t length) {
    bytes::put16(p, type);
    bytes::put16(p + 2, length);
    return p + kRecordHeader;
}

// [MS-XLS] 2.4.21 BOF: a substream of the Excel 97 format.
inline char* putBof(char* p, uint16_t substream) {
    char* d = putHeader(p, kBof, bof::kSize);
    std::memset(d, 0, bof::kSize);
    bytes::put16(d + bof::kVersion, kVersionBiff8);
    bytes::put16(d + bof::kSubstreamType, substream);
    bytes::put16(d + bof::kBuild, 0x0DBB); // build and year of the Excel 97 format
    bytes::put16(d + bof::kYear, 0x07CC);
    bytes::put32(d + bof::kLowestVersion, 0x06); // lowest version that can read the file: BIFF8
    return d + bof::kSize;
}

// [MS-XLS] 2.4.103 EOF.
inline char* putEof(char* p) {
    return putHeader(p, kEof, 0);
}

// [MS-XLS] 2.4.90 Dimensions: rows and columns as first and one past the last; all zero for
// a sheet without cells.
inline char* putDimensions(char* p, uint32_t firstRow, uint32_t endRow, uint16_t firstColumn,
                           uint16_t endColumn) {
    char* d = putHeader(p, kDimensions, dimensions::kSize);
    std::memset(d, 0, dimensions::kSize);
    bytes::put32(d + dimensions::kFirstRow, firstRow);
    bytes::put32(d + dimensions::kEndRow, endRow);
    bytes::put16(d + dimensions::kFirstColumn, firstColumn);
    bytes::put16(d + dimensions::kEndColumn, endColumn);
    return d + dimensions::kSize;
}

// [MS-XLS] 2.4.221 Row: a row of the default height whose cells span [firstColumn, endColumn).
inline char* putRow(char* p, uint16_t rowIndex, uint16_t firstColumn, uint16_t endColumn,
                    uint16_t xf) {
    char* d = putHeader(p, kRow, row::kSize);
    std::memset(d, 0, row::kSize);
    bytes::put16(d + row::kRow, rowIndex);
    bytes::put16(d + row::kFirstColumn, firstColumn);
    bytes::put16(d + row::kEndColumn, endColumn);
    bytes::put16(d + row::kHeight, 0x00FF); // default height
    bytes::put16(d + row::kFlags, 0x0100);  // the bit Excel always sets
    bytes::put16(d + row::kXf, xf);
    return d + row::kSize;
}

// [MS-XLS] 2.4.149 LabelSst: a text cell holding a string of the shared string table.
inline char* putLabelSst(char* p, uint16_t rowIndex, uint16_t column, uint16_t xf,
                         uint32_t string) {
    char* d = putHeader(p, kLabelSst, labelsst::kSize);
    bytes::put16(d + cell::kRow, rowIndex);
    bytes::put16(d + cell::kColumn, column);
    bytes::put16(d + cell::kXf, xf);
    bytes::put32(d + labelsst::kStringIndex, string);
    return d + labelsst::kSize;
}

// [MS-XLS] 2.4.346 Window2 of a worksheet: grid lines, headers, zeros, automatic grid colour,
// outline symbols (0x00B6); the sheet shown first is also selected and shown (0x06B6).
inline char* putWindow2(char* p, bool selected) {
    char* d = putHeader(p, kWindow2, window2::kSize);
    std::memset(d, 0, window2::kSize);
    bytes::put16(d + window2::kOptions, selected ? 0x06B6 : 0x00B6);
    bytes::put32(d + window2::kGridColour, 0x40); // automatic
    return d + window2::kSize;
}

// [MS-XLS] 2.4.28 BoundSheet8 of a visible worksheet whose position is set later; returns the
// stream position of that field.
inline qsizetype appendBoundSheet(RecordBuffer& out, const QString& name) {
    const bool compressed = fitsInEightBits(name);
    const qsizetype record = out.beginRecord(kBoundSheet);
    const qsizetype positionField = out.position();
    static_assert(boundsheet::kStreamPosition == 0 && boundsheet::kVisibility == 4 &&
                  boundsheet::kSheetType == 5 && boundsheet::kNameLength == 6 &&
                  boundsheet::kNameFlags == 7 && boundsheet::kName == 8);
    out.append32(0);
    out.append8(0); // visible
    out.append8(0); // worksheet
    out.append8(static_cast<uint8_t>(name.size()));
    out.append8(compressed ? 0 : kStringHighByte);
    out.appendChars(name.constData(), name.size(), compressed);
    out.endRecord(record);
    return positionField;
}

} // namespace xls::biff
