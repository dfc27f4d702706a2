#pragma once

#include "serial/portprobe.h"

#include <QObject>
#include <QTimer>

class CMscomm1;
class PortHintLabel;
class PortWatcher;
class QComboBox;
class QPushButton;

// Keeps the main window's port list in step with the serial devices: probes them on request
// (start-up, Check port) and by itself when a device appears or vanishes, shows each entry's
// device and adapter as its tooltip, enables Open Port when there is a port, and names the
// devices that exist but cannot be opened in the hint line below the window's controls.
class PortListPresenter : public QObject {
    Q_OBJECT
public:
    PortListPresenter(CMscomm1& comm, QComboBox& combo, QPushButton& openPort, PortHintLabel& hint,
                      PortAccessCheck check, QObject* parent = nullptr);

    // Empties and refills the list, selecting the port held open, or else the first entry.
    void probe();
    // Updates the list after a device change; the open port, the selected entry and a typed
    // port text stay as they are, and an unchanged list is not touched at all. While the user
    // has the list dropped down, the update waits until it is closed.
    void followDevices();

    // The open port named name ("COM3") went away: when it comes back it is selected again,
    // unless the user has picked another entry meanwhile.
    void portLost(const QString& name) { m_lostPort = name; }

    const PortWatcher& watcher() const { return *m_watcher; }

private:
    PortProbe probeNow() const;
    void finish(const PortProbe& probe);

    CMscomm1& m_comm;
    QComboBox& m_combo;
    QPushButton& m_openPort;
    PortHintLabel& m_hint;
    PortAccessCheck m_check;
    PortWatcher* m_watcher;
    QTimer m_retry;
    QString m_lostPort;
};
