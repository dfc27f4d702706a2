#include "archive/archivetypes.h"

#include <QStringList>
#include <cstdio>

QString ArchiveConfig::key() const {
    QStringList parts{QString::number(channels)};
    for (int i = 0; i < channels; ++i) {
        const ArchiveChannel& c = channel[static_cast<size_t>(i)];
        parts << QStringLiteral("%1/%2/%3/%4/%5")
                     .arg(c.gasCode)
                     .arg(c.gas)
                     .arg(c.unitCode)
                     .arg(c.precisionCode)
                     .arg(c.rangeRaw);
    }
    return parts.join(QLatin1Char(';'));
}

QString isoTakenAt(const std::array<quint8, 6>& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t[0] + 2000, t[1], t[2], t[3],
                  t[4], t[5]);
    return QString::fromLatin1(text);
}

bool isCalendarTime(const std::array<quint8, 6>& t) {
    return QDate(t[0] + 2000, t[1], t[2]).isValid() && QTime(t[3], t[4], t[5]).isValid();
}

QString memoryFingerprint(const ArchiveConfig& config, const ArchiveRecord& first) {
    QStringList readings;
    for (int i = 0; i < config.channels; ++i) {
        const auto& r = first.readings[static_cast<size_t>(i)];
        readings << (r ? QString::number(*r) : QStringLiteral("-"));
    }
    return config.key() + QLatin1Char('|') + isoTakenAt(first.time) + QLatin1Char('|') +
           readings.join(QLatin1Char(','));
}
