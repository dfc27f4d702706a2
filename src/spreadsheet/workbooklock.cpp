#include "spreadsheet/workbooklock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Locks this process holds, by lock file path: flock() sees two descriptors of one process as
// two holders, so "is it free?" must know about our own.
QHash<QString, int>& heldHere() {
    static QHash<QString, int> held;
    return held;
}

// The lock is ours only while the path still names the file we locked: its holder may have
// removed it between our open() and our flock().
bool stillNamesLockedFile(int fd, const QByteArray& path) {
    struct stat locked {};
    struct stat named {};
    return ::fstat(fd, &locked) == 0 && ::stat(path.constData(), &named) == 0 &&
           locked.st_dev == named.st_dev && locked.st_ino == named.st_ino;
}

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

WorkbookLock::WorkbookLock(const QString& workbookPath) : m_lockPath(lockFilePath(workbookPath)) {}

WorkbookLock::~WorkbookLock() {
    release();
}

QString WorkbookLock::lockFilePath(const QString& workbookPath) {
    // The same file as the one replaced: a link is followed to the workbook it names.
    const QFileInfo info(workbookPath);
    const QFileInfo target(info.isSymLink() && info.exists() ? info.canonicalFilePath()
                                                             : info.absoluteFilePath());
    return target.absolutePath() + QStringLiteral("/.") + target.fileName() +
           QStringLiteral(".lock");
}

bool WorkbookLock::acquire(int waitMs, QString& failure) {
    if (isHeld()) {
        return true;
    }
    const QByteArray path = QFile::encodeName(m_lockPath);
    const QString shown = QDir::toNativeSeparators(m_lockPath);
    QElapsedTimer waited;
    waited.start();
    // Short naps first: most holds end within a few milliseconds of a small workbook.
    int napMs = 2;
    int fd = -1;
    for (;;) {
        if (fd < 0) {
            fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
            if (fd < 0) {
                failure = QStringLiteral("The lock file %1 cannot be made: %2")
                              .arg(shown, systemError(errno));
                return false;
            }
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (stillNamesLockedFile(fd, path)) {
                break;
            }
            ::close(fd); // its holder removed it on release: start over on the new file
            fd = -1;
            continue;
        }
        const int error = errno;
        if (error == EINTR) {
            continue;
        }
        if (error != EWOULDBLOCK) {
            ::close(fd);
            failure = QStringLiteral("The lock file %1 cannot be locked: %2")
                          .arg(shown, systemError(error));
            return false;
        }
        const qint64 left = waitMs - waited.elapsed();
        if (left <= 0) {
            ::close(fd);
            failure = QStringLiteral("Another program is writing it and did not finish within "
                                     "%1 seconds (lock file %2).")
                          .arg(waitMs / 1000.0, 0, 'g', 3)
                          .arg(shown);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<qint64>(napMs, left)));
        napMs = std::min(napMs * 2, 50);
    }
    m_fd = fd;
    ++heldHere()[m_lockPath];
    return true;
}

void WorkbookLock::release() {
    if (!isHeld()) {
        return;
    }
    auto& held = heldHere();
    if (--held[m_lockPath] <= 0) {
        held.remove(m_lockPath);
    }
    // Removed while still locked, so nobody can lock this file and believe it current.
    ::unlink(QFile::encodeName(m_lockPath).constData());
    ::close(m_fd);
    m_fd = -1;
}

bool WorkbookLock::noOtherHolder(const QString& workbookPath) {
    const QString lockPath = lockFilePath(workbookPath);
    if (heldHere().contains(lockPath)) {
        return true;
    }
    const QByteArray path = QFile::encodeName(lockPath);
    const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT; // a holder's lock file always exists
    }
    bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (free && stillNamesLockedFile(fd, path)) {
        ::unlink(path.constData()); // the leftover of a holder that died
    } else if (free) {
        free = !QFileInfo::exists(lockPath); // a newer lock file may have a holder
    }
    ::close(fd);
    return free;
}
