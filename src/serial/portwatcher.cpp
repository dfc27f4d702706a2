#include "serial/portwatcher.h"

#include <QFileSystemWatcher>

#include <sys/stat.h>

PortWatcher::PortWatcher(PortMap ports, QObject* parent)
    : QObject(parent), m_ports(std::move(ports)), m_watcher(new QFileSystemWatcher(this)) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &PortWatcher::onSettled);
    m_watcher->addPath(m_ports.deviceFolder());
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &PortWatcher::onFolderChanged);
    m_signature = deviceSignature();
}

bool PortWatcher::isWatching() const {
    return !m_watcher->directories().isEmpty();
}

void PortWatcher::onFolderChanged() {
    // Each further change restarts the wait, so one plug-in is one report.
    m_settle.start();
}

void PortWatcher::onSettled() {
    QByteArray signature = deviceSignature();
    if (signature == m_signature) {
        return;
    }
    m_signature = std::move(signature);
    emit portsChanged();
}

QByteArray PortWatcher::deviceSignature() const {
    // Which candidate devices exist, and what they are and who may open them. /dev changes for
    // many reasons; only a change here is worth probing the ports (opening each one) again.
    QByteArray signature;
    for (int number = 1; number <= PortMap::kProbeLimit; ++number) {
        const QString path = m_ports.devicePath(number);
        struct stat info {};
        if (path.isEmpty() || ::stat(path.toLocal8Bit().constData(), &info) != 0) {
            continue;
        }
        signature += QByteArray::number(number) + ':' + QByteArray::number(quint64(info.st_rdev)) +
                     ':' + QByteArray::number(quint64(info.st_ino)) + ':' +
                     QByteArray::number(info.st_mode) + ':' + QByteArray::number(info.st_uid) +
                     ':' + QByteArray::number(info.st_gid) + ';';
    }
    return signature;
}
