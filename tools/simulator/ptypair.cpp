#include "ptypair.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        return;
    }
    // Raw mode on both sides: the line discipline must not turn 0x0D into 0x0A or eat 0x03.
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    m_master = master;
    m_slaveKeepAlive = slave;
    m_slavePath = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair() {
    hangUp();
    if (m_slaveKeepAlive >= 0) {
        ::close(m_slaveKeepAlive);
    }
}

bool PtyPair::linkAs(const QString& folder, const QString& name) const {
    const QString link = folder + QLatin1Char('/') + name;
    // Replace only a stale link of an earlier run, never a real device node of that name.
    const QFileInfo existing(link);
    if (existing.isSymLink()) {
        QFile::remove(link);
    } else if (existing.exists()) {
        return false;
    }
    return QFile::link(m_slavePath, link);
}

void PtyPair::hangUp() {
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    // The slave we hold open ourselves would keep the terminal alive; let go of it as well.
    if (m_slaveKeepAlive >= 0) {
        ::close(m_slaveKeepAlive);
        m_slaveKeepAlive = -1;
    }
}
