#pragma once

#include "ptypair.h"

#include <QString>
#include <QTemporaryDir>

#include <map>
#include <memory>

// A temporary device folder for a PortMap: each added device is a pseudo-terminal whose slave
// side is linked under a serial device name (ttyUSB0 is COM1, ttyACM0 COM33, ...). The test
// plays the instrument on the master side.
class PtyDeviceFolder {
public:
    PtyDeviceFolder();

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString devicePath(const QString& deviceName) const;

    // Creates a pair and links it as deviceName; nullptr when that fails.
    PtyPair* add(const QString& deviceName);
    PtyPair* pair(const QString& deviceName) const;
    // Removes the device's link, as when udev drops a device node.
    void unlink(const QString& deviceName);

private:
    QTemporaryDir m_dir;
    std::map<QString, std::unique_ptr<PtyPair>> m_pairs;
};
