#pragma once

#include <cstdint>

// Record types and fixed values of BIFF8, the record format inside the Workbook stream.
namespace xls::biff {

enum RecordType : uint16_t {
    kFormula = 0x0006,
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
};

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
constexpr int kRecordHeader = 4;

// Flags byte of an XLUnicodeString.
constexpr uint8_t kStringHighByte = 0x01;
constexpr uint8_t kStringExtended = 0x04; // phonetic data follows the characters
constexpr uint8_t kStringRich = 0x08;     // formatting runs follow the characters

} // namespace xls::biff
