#include "spreadsheet/xls/numbertext.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace xls {

QString numberText(double value) {
    if (std::isnan(value)) {
        return QStringLiteral("NaN");
    }
    if (std::isinf(value)) {
        return value > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    }
    if (value == 0) {
        return QStringLiteral("0");
    }
    const double magnitude = std::fabs(value);
    const auto format = magnitude >= 1e-5 && magnitude < 1e15 ? std::chars_format::fixed
                                                              : std::chars_format::scientific;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

double rkNumber(uint32_t rk) {
    double value;
    if (rk & 0x02) {
        // A 30-bit signed integer in the high bits.
        value = static_cast<double>(static_cast<int32_t>(rk) >> 2);
    } else {
        // The high 30 bits of an IEEE double; the low 34 bits are zero.
        const uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    if (rk & 0x01) {
        value /= 100;
    }
    return value;
}

} // namespace xls
