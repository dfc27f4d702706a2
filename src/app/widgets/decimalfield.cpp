#include "app/widgets/decimalfield.h"

std::optional<quint64> parseDecimalField(const QString& text, quint64 maximum) {
    const QString digits = text.trimmed();
    if (digits.isEmpty()) {
        return std::nullopt;
    }
    quint64 value = 0;
    for (const QChar ch : digits) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9')) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<quint64>(ch.unicode() - '0');
        if (value > maximum) {
            return std::nullopt;
        }
    }
    return value;
}
