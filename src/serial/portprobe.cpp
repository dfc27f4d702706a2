#include "serial/portprobe.h"

#include <QFileInfo>
#include <QSerialPort>

#include <cerrno>
#include <unistd.h>

PortAccess checkPortAccess(const QString& devicePath) {
    // QSerialPort takes the port's lock file and TIOCEXCL, so a port held by this or any other
    // well-behaved program fails here, and it restores the terminal settings on close.
    QSerialPort port;
    port.setPortName(devicePath);
    if (port.open(QIODevice::ReadWrite)) {
        port.close();
        return PortAccess::Openable;
    }
    if (port.error() != QSerialPort::PermissionError) {
        return PortAccess::Failed;
    }
    // QSerialPort reports a missing access right, a device held exclusively elsewhere and a
    // lock file of another program all alike; access() tells the first one apart.
    if (::access(devicePath.toLocal8Bit().constData(), R_OK | W_OK) != 0 &&
        (errno == EACCES || errno == EPERM)) {
        return PortAccess::Refused;
    }
    return PortAccess::Busy;
}

bool canOpenExclusively(const QString& devicePath) {
    return checkPortAccess(devicePath) == PortAccess::Openable;
}

PortProbe probePortAccess(const PortMap& ports, int heldPort, const PortAccessCheck& check) {
    PortProbe probe;
    for (int number = 1; number <= PortMap::kProbeLimit; ++number) {
        const QString devicePath = ports.devicePath(number);
        if (devicePath.isEmpty() || !QFileInfo::exists(devicePath)) {
            continue;
        }
        const ProbedPort port{number, QStringLiteral("COM%1").arg(number), devicePath};
        if (number == heldPort) {
            probe.openable.append(port);
            continue;
        }
        switch (check ? check(devicePath) : checkPortAccess(devicePath)) {
        case PortAccess::Openable:
            probe.openable.append(port);
            break;
        case PortAccess::Refused:
            probe.refused.append(port);
            break;
        case PortAccess::Busy:
            probe.busy.append(port);
            break;
        case PortAccess::Failed:
            break;
        }
    }
    return probe;
}

QList<ProbedPort> probePorts(const PortMap& ports, int heldPort) {
    return probePortAccess(ports, heldPort).openable;
}
