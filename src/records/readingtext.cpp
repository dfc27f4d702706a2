#include "records/readingtext.h"

#include <cmath>

namespace {

// Up to this many digits the plain form is summed exactly enough in a double; longer texts go
// through the full conversion.
constexpr int kFastDigits = 15;
constexpr int kMaxShownDecimals = 15;

} // namespace

std::optional<ReadingNumber> parseReading(QStringView text) {
    text = text.trimmed();
    if (text.isEmpty()) {
        return std::nullopt;
    }

    // The program's own form, [-]digits[.digits], read by hand: a day's workbook holds
    // hundreds of thousands of readings.
    qsizetype at = 0;
    const bool negative = text[0] == u'-';
    if (negative || text[0] == u'+') {
        ++at;
    }
    qint64 mantissa = 0;
    int digits = 0;
    int decimals = 0;
    bool seenPoint = false;
    bool plain = at < text.size();
    for (; at < text.size(); ++at) {
        const char16_t c = text[at].unicode();
        if (c >= u'0' && c <= u'9') {
            mantissa = mantissa * 10 + (c - u'0');
            ++digits;
            if (seenPoint) {
                ++decimals;
            }
            if (digits > kFastDigits) {
                plain = false;
                break;
            }
        } else if (c == u'.' && !seenPoint) {
            seenPoint = true;
        } else {
            plain = false;
            break;
        }
    }
    if (plain && digits > 0) {
        static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const double value = static_cast<double>(mantissa) / kPowers[decimals];
        return ReadingNumber{negative ? -value : value, decimals};
    }

    // Other programs write exponents ("1.5e-07") and long fractions.
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    if (text.contains(u'e', Qt::CaseInsensitive)) {
        return ReadingNumber{value, ReadingNumber::kShortest};
    }
    const qsizetype point = text.indexOf(u'.');
    const int shown = point < 0 ? 0 : static_cast<int>(text.size() - point - 1);
    return ReadingNumber{value, std::min(shown, kMaxShownDecimals)};
}
