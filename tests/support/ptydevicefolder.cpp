#include "ptydevicefolder.h"

#include <QFile>

PtyDeviceFolder::PtyDeviceFolder() : m_dir(QStringLiteral("/tmp/trellmo-dev-XXXXXX")) {}

QString PtyDeviceFolder::devicePath(const QString& deviceName) const {
    return m_dir.path() + QLatin1Char('/') + deviceName;
}

PtyPair* PtyDeviceFolder::add(const QString& deviceName) {
    auto pair = std::make_unique<PtyPair>();
    if (!pair->isValid() || !pair->linkAs(m_dir.path(), deviceName)) {
        return nullptr;
    }
    PtyPair* added = pair.get();
    m_pairs[deviceName] = std::move(pair);
    return added;
}

PtyPair* PtyDeviceFolder::pair(const QString& deviceName) const {
    const auto found = m_pairs.find(deviceName);
    return found == m_pairs.end() ? nullptr : found->second.get();
}

void PtyDeviceFolder::unlink(const QString& deviceName) {
    QFile::remove(devicePath(deviceName));
}
