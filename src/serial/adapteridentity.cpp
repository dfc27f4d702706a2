#include "serial/adapteridentity.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

AdapterIdentity adapterIdentityOf(const QString& devicePath) {
    // udev knows devices by their real node, so a link (as the tests make) is followed first.
    const QString canonical = QFileInfo(devicePath).canonicalFilePath();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (info.systemLocation() == devicePath || info.systemLocation() == canonical) {
            return {info.description().trimmed(), info.manufacturer().trimmed(),
                    info.serialNumber().trimmed()};
        }
    }
    return {};
}

QString portToolTip(const QString& devicePath, const AdapterIdentity& identity) {
    QStringList lines{devicePath};
    if (!identity.description.isEmpty()) {
        lines << identity.description;
    }
    if (!identity.manufacturer.isEmpty() && identity.manufacturer != identity.description) {
        lines << QStringLiteral("Maker: %1").arg(identity.manufacturer);
    }
    if (!identity.serialNumber.isEmpty()) {
        lines << QStringLiteral("Serial number: %1").arg(identity.serialNumber);
    }
    return lines.join(QLatin1Char('\n'));
}
