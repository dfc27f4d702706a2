#include "serial/portnumber.h"

#include <limits>

qint16 portNumberFromText(const QString& portText) {
    const QString rest = portText.mid(3);
    int i = 0;
    while (i < rest.size() && (rest.at(i) == QLatin1Char(' ') || rest.at(i) == QLatin1Char('\t'))) {
        ++i;
    }
    bool negative = false;
    if (i < rest.size() && (rest.at(i) == QLatin1Char('+') || rest.at(i) == QLatin1Char('-'))) {
        negative = rest.at(i) == QLatin1Char('-');
        ++i;
    }
    // Like the C library's conversion, an overflowing number saturates at the 32-bit limits
    // before it is cut to 16 bits.
    qint64 value = 0;
    for (; i < rest.size() && rest.at(i).isDigit() && rest.at(i).unicode() < 128; ++i) {
        value = value * 10 + (rest.at(i).unicode() - '0');
        if (value > std::numeric_limits<qint32>::max()) {
            value = std::numeric_limits<qint32>::max() + qint64(negative ? 1 : 0);
            break;
        }
    }
    const auto wide = static_cast<qint32>(negative ? -value : value);
    return static_cast<qint16>(static_cast<quint16>(static_cast<quint32>(wide) & 0xFFFFu));
}
