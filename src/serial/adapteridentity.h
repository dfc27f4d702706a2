#pragma once

#include <QString>

// What the system knows about the adapter behind a serial device (from udev, through
// QSerialPortInfo): enough to tell two USB adapters apart. Any part may be unknown (empty),
// and a built-in port or a pseudo-terminal has none.
struct AdapterIdentity {
    QString description;  // e.g. "FT232R USB UART"
    QString manufacturer; // e.g. "FTDI"
    QString serialNumber; // e.g. "A50285BI"
};

// The identity of the adapter at devicePath; all parts empty when the system knows none.
AdapterIdentity adapterIdentityOf(const QString& devicePath);

// The tooltip of a port list entry: the device on the first line, then whichever of the
// adapter's description, maker and serial number are known, one to a line.
QString portToolTip(const QString& devicePath, const AdapterIdentity& identity);
