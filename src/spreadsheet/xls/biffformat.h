#pragma once

#include <cstdint>

// Record types and fixed values of BIFF8, the record format inside the Workbook stream.
namespace xls::biff {

enum RecordType : uint16_t {
    kFormula = 0x0006,
    kColInfo = 0x007D,
    kEof = 0x000A,
    kFilePass = 0x002F,
    kFont = 0x0031,
    kContinue = 0x003C,
    kWindow1 = 0x003D,
    kCodePage = 0x0042,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kMulBlank = 0x00BE,
    kRString = 0x00D6,
    kXf = 0x00E0,
    kSst = 0x00FC,
    kExtSst = 0x00FF,
    kLabelSst = 0x00FD,
    kDimensions = 0x0200,
    kBlank = 0x0201,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kRow = 0x0208,
    kWindow2 = 0x023E,
    kRk = 0x027E,
    kStyle = 0x0293,
    kDateMode = 0x0022,
    kBof = 0x0809,
    kIndex = 0x020B,
    kDbCell = 0x00D7,
    kShrFmla = 0x04BC,
    kArray = 0x0221,
    kTable = 0x0236,
    kDefColWidth = 0x0055,
    // FORMULA records of Excel 3 and 4: the same fields as kFormula, and some writers still
    // put them into BIFF8 sheets.
    kFormulaBiff3 = 0x0206,
    kFormulaBiff4 = 0x0406,
};

inline bool isFormula(uint16_t type) {
    return type == kFormula || type == kFormulaBiff3 || type == kFormulaBiff4;
}

// Cell records of BIFF2 (BLANK, INTEGER, NUMBER, LABEL, BOOLERR), with a 3-byte cell attribute
// instead of an XF: no BIFF8 record has these numbers.
inline bool isBiff2Cell(uint16_t type) {
    return type >= 0x0001 && type <= 0x0005;
}

// Older BOF record types: BIFF2, BIFF3 and BIFF4 files are bare record streams.
constexpr uint16_t kBofBiff2 = 0x0009;
constexpr uint16_t kBofBiff3 = 0x0209;
constexpr uint16_t kBofBiff4 = 0x0409;

constexpr uint16_t kVersionBiff8 = 0x0600;
constexpr uint16_t kVersionBiff5 = 0x0500;

enum SubstreamType : uint16_t {
    kGlobals = 0x0005,
    kVbModule = 0x0006,
    kWorksheet = 0x0010,
    kChart = 0x0020,
    kMacroSheet = 0x0040,
    kWorkspace = 0x0100,
};

constexpr int kMaxRecordData = 8224;
constexpr int kRecordHeader = 4; // type and length, 16 bits each

// Fields of the records, as offsets into a record's data (after its header), and the data size
// of the records that have a fixed one.
namespace bof {
constexpr int kVersion = 0;
constexpr int kSubstreamType = 2;
constexpr int kBuild = 4;
constexpr int kYear = 6;
constexpr int kHistory = 8;
constexpr int kLowestVersion = 12;
constexpr int kSize = 16;
} // namespace bof

namespace boundsheet {
constexpr int kStreamPosition = 0; // of the sheet's BOF
constexpr int kVisibility = 4;
constexpr int kSheetType = 5; // 0 worksheet, 1 macro sheet, 2 chart, 6 Visual Basic module
constexpr int kNameLength = 6;
constexpr int kNameFlags = 7;
constexpr int kName = 8;
} // namespace boundsheet

namespace dimensions {
constexpr int kFirstRow = 0;
constexpr int kEndRow = 4; // one past the last row
constexpr int kFirstColumn = 8;
constexpr int kEndColumn = 10;
constexpr int kSize = 14;
} // namespace dimensions

namespace row {
constexpr int kRow = 0;
constexpr int kFirstColumn = 2;
constexpr int kEndColumn = 4; // one past the last cell
constexpr int kHeight = 6;
constexpr int kFlags = 12;
constexpr int kXf = 14; // low 12 bits; the row's format when kGhostDirty is set in kFlags
constexpr int kSize = 16;
constexpr uint16_t kGhostDirty = 0x0080;
constexpr uint16_t kXfMask = 0x0FFF;
} // namespace row

// Every cell record (LABELSST, LABEL, NUMBER, RK, BOOLERR, FORMULA) starts with these.
namespace cell {
constexpr int kRow = 0;
constexpr int kColumn = 2;
constexpr int kXf = 4;
constexpr int kValue = 6;
} // namespace cell

namespace labelsst {
constexpr int kStringIndex = cell::kValue;
constexpr int kSize = 10;
} // namespace labelsst

namespace label {
constexpr int kString = cell::kValue; // XLUnicodeString with a 16-bit length
constexpr int kMinSize = 9;
} // namespace label

namespace number {
constexpr int kSize = 14;
}

namespace rk {
constexpr int kSize = 10;
}

namespace boolerr {
constexpr int kValue = cell::kValue;
constexpr int kIsError = 7;
constexpr int kSize = 8;
} // namespace boolerr

// Row, first column, then an XF and an RK value per cell, then the last column.
namespace mulrk {
constexpr int kFirstColumn = 2;
constexpr int kCells = 4;
constexpr int kCellSize = 6;
constexpr int kRkInCell = 2;
constexpr int kMinSize = 6;
} // namespace mulrk

// The cached result: a double, or, when kResultMarker holds 0xFFFF, a type byte at kResult
// (0 string in the STRING record that follows, 1 boolean, 2 error, 3 empty) and its value byte.
namespace formula {
constexpr int kResult = cell::kValue;
constexpr int kResultValue = 8;
constexpr int kResultMarker = 12;
constexpr uint16_t kResultIsNoNumber = 0xFFFF;
constexpr int kMinSize = 20;
} // namespace formula

// [MS-XLS] 2.4.53 ColInfo: the columns first to last (inclusive) and their default format.
namespace colinfo {
constexpr int kFirstColumn = 0;
constexpr int kLastColumn = 2;
constexpr int kXf = 6;
constexpr int kMinSize = 10;
} // namespace colinfo

// [MS-XLS] 2.4.78 DBCell: the offset back to the first ROW record of its block, then for each
// row where its cells start, the first counted from the second ROW record, the others from the
// row before.
namespace dbcell {
constexpr int kFirstRowOffset = 0;
constexpr int kCellOffsets = 4;
} // namespace dbcell

// [MS-XLS] 2.4.144 Index: first row, one past the last row, the position of DEFCOLWIDTH, then
// the position of each block's DBCELL.
namespace sheetindex {
constexpr int kFirstRow = 4;
constexpr int kEndRow = 8;
constexpr int kDefColWidth = 12;
constexpr int kDbCells = 16;
} // namespace sheetindex

namespace window2 {
constexpr int kOptions = 0;
constexpr int kGridColour = 6;
constexpr int kSize = 18;
} // namespace window2

// Flags byte of an XLUnicodeString.
constexpr uint8_t kStringHighByte = 0x01;
constexpr uint8_t kStringExtended = 0x04; // phonetic data follows the characters
constexpr uint8_t kStringRich = 0x08;     // formatting runs follow the characters

} // namespace xls::biff
