#include "serial/linesettings.h"

#include "serial/serialerror.h"

#include <QStringList>

namespace {

bool parseParity(const QString& letter, QSerialPort::Parity& parity) {
    if (letter.size() != 1) {
        return false;
    }
    switch (letter.at(0).toLower().toLatin1()) {
    case 'n':
        parity = QSerialPort::NoParity;
        return true;
    case 'e':
        parity = QSerialPort::EvenParity;
        return true;
    case 'o':
        parity = QSerialPort::OddParity;
        return true;
    case 'm':
        parity = QSerialPort::MarkParity;
        return true;
    case 's':
        parity = QSerialPort::SpaceParity;
        return true;
    default:
        return false;
    }
}

bool parseDataBits(const QString& text, QSerialPort::DataBits& dataBits) {
    bool ok = false;
    const int bits = text.toInt(&ok);
    if (!ok || bits < 5 || bits > 8) {
        return false;
    }
    dataBits = static_cast<QSerialPort::DataBits>(bits);
    return true;
}

bool parseStopBits(const QString& text, QSerialPort::StopBits& stopBits) {
    if (text == QLatin1String("1")) {
        stopBits = QSerialPort::OneStop;
    } else if (text == QLatin1String("1.5")) {
        stopBits = QSerialPort::OneAndHalfStop;
    } else if (text == QLatin1String("2")) {
        stopBits = QSerialPort::TwoStop;
    } else {
        return false;
    }
    return true;
}

} // namespace

LineSettings parseLineSettings(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    LineSettings settings;
    bool speedOk = false;
    if (parts.size() == 4) {
        settings.baudRate = parts[0].trimmed().toInt(&speedOk);
    }
    if (!speedOk || settings.baudRate <= 0 || !parseParity(parts[1].trimmed(), settings.parity) ||
        !parseDataBits(parts[2].trimmed(), settings.dataBits) ||
        !parseStopBits(parts[3].trimmed(), settings.stopBits)) {
        throw SerialError(SerialRefusal::invalidSettings(text));
    }
    return settings;
}
