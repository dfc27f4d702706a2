#pragma once

#include <QString>

// Maps the program's port numbers ("COM%d") to Linux serial devices. USB adapters come first
// because that is how the portable instrument is attached:
//   COM1-32   /dev/ttyUSB0-31
//   COM33-64  /dev/ttyACM0-31
//   COM65-96  /dev/ttyS0-31
//   COM97-128 /dev/ttyAMA0-31
// Other numbers map to nothing. The device folder is an argument so that tests can point
// port numbers at pseudo-terminals linked into a temporary folder.
class PortMap {
public:
    static constexpr int kLastPortNumber = 128;
    static constexpr int kProbeLimit = 256; // the probe asks about COM1..COM256

    explicit PortMap(QString deviceFolder = QStringLiteral("/dev"));

    // The device path of a port number, or an empty text for a number that maps to nothing.
    QString devicePath(int portNumber) const;
    const QString& deviceFolder() const { return m_deviceFolder; }

private:
    QString m_deviceFolder;
};
