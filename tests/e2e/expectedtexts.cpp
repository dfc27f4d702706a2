#include "expectedtexts.h"

#include <QtGlobal>

namespace {

int decimalsOf(quint8 precision) {
    return precision <= 3 ? precision : 0;
}

QString timeText(const SimRecord& record) {
    const auto& t = record.time;
    return QString::asprintf("%4d-%02d-%02d  %02d:%02d:%02d", t[0] + 2000, t[1], t[2], t[3], t[4],
                             t[5]);
}

} // namespace

QString gasNameText(quint8 code) {
    switch (code) {
    case 1:
        return QStringLiteral("CO      ");
    case 2:
        return QStringLiteral("H2S     ");
    case 3:
        return QStringLiteral("O2      ");
    case 18:
        return QStringLiteral("CO2     ");
    case 30:
        return QStringLiteral("CH4     ");
    case 69:
        return QStringLiteral("Xe     ");
    case 70:
        return QStringLiteral("CH3Br");
    default:
        qFatal("no expected name for gas code %d", code);
    }
}

QString unitText(quint8 code) {
    static const char* const units[] = {"PPM", "PPB", "%VOL", "%LEL", "mg/m3", "g/m3"};
    return QString::fromLatin1(units[code <= 5 ? code : 0]);
}

QString readingText(quint16 raw, quint8 precision, bool scaled) {
    static const double divisors[] = {1, 10, 100, 1000};
    const int decimals = decimalsOf(precision);
    const double value = scaled ? raw / divisors[decimals] : raw;
    return QString::asprintf("%5.*f", decimals, value);
}

QStringList expectedChannelRow(const SimulatorConfig& config, int channel) {
    const auto c = static_cast<size_t>(channel - 1);
    static const char* const precisionTexts[] = {"1", "0.1", "0.01", "0.001"};
    const quint8 precision = config.precisionCodes[c];
    return {QStringLiteral("CH%1").arg(channel),
            gasNameText(config.gasCodes[c]),
            readingText(config.ranges[c], precision, false),
            unitText(config.unitCodes[c]),
            QString::fromLatin1(precisionTexts[decimalsOf(precision)]),
            readingText(config.lowAlarms[c], precision, true),
            readingText(config.highAlarms[c], precision, true)};
}

QStringList expectedStoreRow(const SimulatorConfig& config, quint32 n) {
    const SimRecord record = simRecordOf(n);
    QStringList gas, conc, unit;
    for (size_t c = 0; c < 6; ++c) {
        const bool present = static_cast<int>(c) < config.channels;
        gas << (present ? gasNameText(config.gasCodes[c]) : QString());
        conc << (present ? readingText(record.readings[c], config.precisionCodes[c], true)
                         : QString());
        unit << (present ? unitText(config.unitCodes[c]) : QString());
    }
    return QStringList{timeText(record)} + gas + conc + unit;
}

QStringList expectedCaptions(int channels) {
    QStringList captions{QStringLiteral("Time")};
    for (int c = 1; c <= channels; ++c) {
        captions << QStringLiteral("CH%1 Gas").arg(c) << QStringLiteral("CH%1 Conc").arg(c)
                 << QStringLiteral("CH%1 Unit").arg(c);
    }
    return captions;
}

QStringList expectedSheetRow(const SimulatorConfig& config, quint32 n) {
    const QStringList store = expectedStoreRow(config, n);
    QStringList cells{store[0]};
    for (int c = 1; c <= config.channels; ++c) {
        cells << store[c] << store[6 + c] << store[12 + c];
    }
    return cells;
}

QString receiveFieldText(const QByteArray& bytes) {
    QString text;
    for (const char byte : bytes) {
        text += QString::asprintf("%02X ", static_cast<quint8>(byte));
    }
    return text;
}
