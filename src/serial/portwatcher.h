#pragma once

#include "serial/portmap.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QFileSystemWatcher;

// Tells when serial devices of the port table appear, vanish or change owner or mode in the
// device folder (a USB adapter plugged in or pulled out, udev setting its group), without
// polling: the folder is watched through the kernel's file notifications. A burst of changes
// (udev creates a node, then sets its group and mode) is reported once, shortly after it has
// settled; changes to other files of the folder are not reported at all.
class PortWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kSettleMs = 250;

    explicit PortWatcher(PortMap ports, QObject* parent = nullptr);

    // Whether the folder is being watched (false when it does not exist).
    bool isWatching() const;

signals:
    void portsChanged();

private:
    void onFolderChanged();
    void onSettled();
    QByteArray deviceSignature() const;

    PortMap m_ports;
    QFileSystemWatcher* m_watcher;
    QTimer m_settle;
    QByteArray m_signature;
};
