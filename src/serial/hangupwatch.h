#pragma once

#include <QObject>

class QSerialPort;

// Notices that the device behind an open QSerialPort has gone away.
//
// A hung-up terminal (a USB adapter pulled out) makes read() return 0 for ever. QSerialPort
// takes that for "no data", raises no error and keeps its read notifier armed, so the event
// loop spins at full CPU. This watch sits on the port's socket notifiers, checks the
// descriptor for POLLHUP/POLLERR whenever one of them fires, and on a hang-up switches the
// notifier off and reports once.
class HangUpWatch : public QObject {
    Q_OBJECT
public:
    explicit HangUpWatch(QSerialPort& port);

    // After each open: starts watching the notifiers the port has and will create.
    void arm();
    // Switches the port's notifiers off until the port is closed.
    void silence();

signals:
    void hungUp();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool descriptorHungUp() const;

    QSerialPort& m_port;
    bool m_armed = false;
};
