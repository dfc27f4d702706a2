#include "serial/serialerror.h"

#include <grp.h>
#include <sys/stat.h>

#include <array>

SerialError::SerialError(const QString& text)
    : std::runtime_error(text.toUtf8().toStdString()), m_text(text) {}

namespace SerialRefusal {

namespace {
QString portName(int portNumber) {
    return QStringLiteral("COM%1").arg(portNumber);
}
QString portAndDevice(int portNumber, const QString& devicePath) {
    return QStringLiteral("%1 (%2)").arg(portName(portNumber), devicePath);
}
} // namespace

QString invalidPortNumber(int portNumber) {
    return QStringLiteral("%1 is not a serial port this program can use. Ports COM1 to COM128 "
                          "stand for the serial devices of this computer.")
        .arg(portName(portNumber));
}

QString portNumberLockedWhileOpen(int openPort) {
    return QStringLiteral("The port number can't be changed while %1 is open.")
        .arg(portName(openPort));
}

QString alreadyOpen(int portNumber) {
    return QStringLiteral("%1 is already open.").arg(portName(portNumber));
}

QString notOpen() {
    return QStringLiteral("The serial port is not open.");
}

QString deviceMissing(int portNumber, const QString& devicePath) {
    return QStringLiteral("%1 is not present. Connect the instrument's cable and press "
                          "Check port.")
        .arg(portAndDevice(portNumber, devicePath));
}

QString permissionDenied(int portNumber, const QString& devicePath) {
    const QString group = owningGroup(devicePath);
    return QStringLiteral("You have no permission to use %1. Serial devices belong to the "
                          "group \"%2\": add your user to it (sudo adduser $USER %2), then log "
                          "out and in again.")
        .arg(portAndDevice(portNumber, devicePath), group);
}

QString inUse(int portNumber, const QString& devicePath) {
    return QStringLiteral("%1 is in use by another program. Close that program and try again.")
        .arg(portAndDevice(portNumber, devicePath));
}

QString openFailed(int portNumber, const QString& devicePath, const QString& reason) {
    return QStringLiteral("%1 can't be opened: %2.")
        .arg(portAndDevice(portNumber, devicePath), reason);
}

QString invalidValue(const char* property, int value) {
    return QStringLiteral("%1 can't be set to %2.").arg(QLatin1String(property)).arg(value);
}

QString invalidSettings(const QString& settings) {
    return QStringLiteral("\"%1\" is not a valid line setting; it must read like "
                          "\"38400,n,8,1\" (speed, parity n/e/o/m/s, data bits 5 to 8, stop bits "
                          "1, 1.5 or 2).")
        .arg(settings);
}

QString settingsRejected(const QString& settings, const QString& reason) {
    return QStringLiteral("The serial device refused the line setting \"%1\": %2.")
        .arg(settings, reason);
}

QString portLost(int portNumber, const QString& devicePath) {
    return QStringLiteral("The connection to %1 was lost: the device is gone (was the cable "
                          "unplugged?). The port has been closed.")
        .arg(portAndDevice(portNumber, devicePath));
}

QString owningGroup(const QString& devicePath) {
    const QString fallback = QStringLiteral("dialout");
    struct stat info {};
    if (::stat(devicePath.toLocal8Bit().constData(), &info) != 0) {
        return fallback;
    }
    group entry{};
    group* found = nullptr;
    std::array<char, 4096> buffer{};
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || info.st_gid == 0) {
        // A device owned by root's group gives no useful advice; dialout is what Debian uses.
        return fallback;
    }
    return QString::fromLocal8Bit(found->gr_name);
}

} // namespace SerialRefusal
