#include "model/codetables.h"

#include <cstdio>

namespace {

constexpr int kBuiltInGasCount = 71; // codes 0..70
constexpr int kLastBuiltInCode = 80; // 71..80 count as built in but have no entry
constexpr int kNameFieldBytes = 10;

// Fixed 10-byte ASCII fields as the instrument's tables keep them. The trailing spaces are
// part of the names and reach the channel table, the record store and the workbooks.
constexpr char kGasNameTable[kBuiltInGasCount][kNameFieldBytes] = {
    "GAS     ", "CO      ", "H2S     ", "O2      ", "EX      ", "SO2     ", "NH3     ", "H2      ",
    "N2      ", "O3      ", "TVOC    ", "CL2     ", "HCL     ", "NO      ", "NO2     ", "PH3     ",
    "AsH3    ", "HCN     ", "CO2     ", "SF6     ", "Br2     ", "HBr     ", "F2      ", "HF      ",
    "N2O     ", "H2O2    ", "NOX     ", "SOX     ", "Odor    ", "VOC     ", "CH4     ", "C2H6    ",
    "C3H8    ", "C4H10   ", "iC4H10  ", "C5H12   ", "C2H4    ", "C3H6    ", "C4H8    ", "iC4H8   ",
    "CH4O    ", "C2H6O   ", "C3H8O   ", "iC3H8O  ", "C4H10O  ", "CH2O    ", "C2H4O   ", "C3H6O   ",
    "C3H4O   ", "C2H2    ", "C6H6    ", "C7H8    ", "C8H10   ", "C8H8    ", "C6H6O   ", "ETO     ",
    "C2H8O2  ", "NMHC    ", "GAS     ", "GAS     ", "UDG1    ", "UDG2    ", "UDG3    ", "UDG4    ",
    "GAS     ", "He    ",   "Ne    ",   "Ar    ",   "Kr    ",   "Xe     ",  "CH3Br",
};

constexpr int kUnitCount = 8;
constexpr char kUnitNameTable[kUnitCount][kNameFieldBytes] = {
    "PPM", "PPB", "%VOL", "%LEL", "mg/m3", "g/m3", " ", " ",
};

struct PrecisionEntry {
    const char* text;
    const char* format;
    double divisor;
};

constexpr int kPrecisionCount = 4;
constexpr PrecisionEntry kPrecisionTable[kPrecisionCount] = {
    {"1", "%5.0f", 1.0},
    {"0.1", "%5.1f", 10.0},
    {"0.01", "%5.2f", 100.0},
    {"0.001", "%5.3f", 1000.0},
};

} // namespace

QString GasNameOf(quint8 code, const UserGasNames& userGases) {
    if (code < kBuiltInGasCount) {
        return QString::fromLatin1(kGasNameTable[code]);
    }
    if (code <= kLastBuiltInCode) {
        return {};
    }
    if (code < kFirstUserGasCode + kUserGasCount) {
        return userGases[static_cast<size_t>(code - kFirstUserGasCode)];
    }
    // Codes above the user range have no table at all: they show as no gas.
    return {};
}

QString UnitNameOf(int code) {
    if (code < 0 || code >= kUnitCount) {
        return {};
    }
    return QString::fromLatin1(kUnitNameTable[code]);
}

QString PrecisionTextOf(int code) {
    if (code < 0 || code >= kPrecisionCount) {
        return {};
    }
    return QString::fromLatin1(kPrecisionTable[code].text);
}

double ScaledReading(quint16 raw, qint32 precision, bool scaled) {
    const float value = static_cast<float>(raw);
    // Codes outside the table format like code 0 and are never divided.
    const bool known = precision >= 0 && precision < kPrecisionCount;
    if (known && scaled) {
        return static_cast<double>(value) / kPrecisionTable[precision].divisor;
    }
    return value;
}

QString FormatReading(quint16 raw, qint32 precision, bool scaled) {
    const bool known = precision >= 0 && precision < kPrecisionCount;
    const PrecisionEntry& entry = kPrecisionTable[known ? precision : 0];
    char text[32];
    std::snprintf(text, sizeof text, entry.format, ScaledReading(raw, precision, scaled));
    return QString::fromLatin1(text);
}
