#include "serial/portprobe.h"

#include <QFileInfo>
#include <QSerialPort>

bool canOpenExclusively(const QString& devicePath) {
    // QSerialPort takes the port's lock file and TIOCEXCL, so a port held by this or any other
    // well-behaved program fails here, and it restores the terminal settings on close.
    QSerialPort port;
    port.setPortName(devicePath);
    if (!port.open(QIODevice::ReadWrite)) {
        return false;
    }
    port.close();
    return true;
}

QList<ProbedPort> probePorts(const PortMap& ports, int heldPort) {
    QList<ProbedPort> found;
    for (int number = 1; number <= PortMap::kProbeLimit; ++number) {
        const QString devicePath = ports.devicePath(number);
        if (devicePath.isEmpty() || !QFileInfo::exists(devicePath)) {
            continue;
        }
        if (number == heldPort || canOpenExclusively(devicePath)) {
            found.append({number, QStringLiteral("COM%1").arg(number), devicePath});
        }
    }
    return found;
}
