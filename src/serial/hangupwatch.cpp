#include "serial/hangupwatch.h"

#include <QChildEvent>
#include <QSerialPort>
#include <QSocketNotifier>

#include <poll.h>

HangUpWatch::HangUpWatch(QSerialPort& port) : m_port(port) {
    m_port.installEventFilter(this);
}

void HangUpWatch::arm() {
    m_armed = true;
    for (QObject* child : m_port.children()) {
        child->installEventFilter(this);
    }
}

void HangUpWatch::silence() {
    m_armed = false;
    for (QSocketNotifier* notifier : m_port.findChildren<QSocketNotifier*>()) {
        notifier->setEnabled(false);
    }
}

bool HangUpWatch::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_port) {
        // The port creates its write notifier lazily, at the first write.
        if (event->type() == QEvent::ChildAdded) {
            static_cast<QChildEvent*>(event)->child()->installEventFilter(this);
        }
        return false;
    }
    if (event->type() != QEvent::SockAct || !m_armed || !descriptorHungUp()) {
        return false;
    }
    if (auto* notifier = qobject_cast<QSocketNotifier*>(watched)) {
        notifier->setEnabled(false);
    }
    m_armed = false;
    emit hungUp();
    return true;
}

bool HangUpWatch::descriptorHungUp() const {
    const int fd = m_port.handle();
    if (fd < 0) {
        return false;
    }
    pollfd probe{fd, POLLIN, 0};
    return ::poll(&probe, 1, 0) == 1 && (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}
