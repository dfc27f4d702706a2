#include "spreadsheet/safefilewrite.h"

#include "spreadsheet/workbooklock.h"

#include <QDir>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace safefilewrite {

namespace {

const QString kPartialMarker = QStringLiteral(".trellmo-partial-");

WriteFault& writeFault() {
    static WriteFault fault;
    return fault;
}

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString folderProblem(const QString& folder, int error) {
    switch (error) {
    case ENOENT:
        return QStringLiteral("the folder %1 does not exist").arg(QDir::toNativeSeparators(folder));
    case ENOTDIR:
        return QStringLiteral("%1 is not a folder").arg(QDir::toNativeSeparators(folder));
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("the folder %1 cannot be written (%2)")
            .arg(QDir::toNativeSeparators(folder), systemError(error));
    default:
        return systemError(error);
    }
}

QString temporaryPrefix(const QString& fileName) {
    return QLatin1Char('.') + fileName + kPartialMarker;
}

QString newTemporaryPath(const QString& folder, const QString& fileName) {
    static std::atomic<unsigned> counter{0};
    return folder + QLatin1Char('/') + temporaryPrefix(fileName) + QString::number(::getpid()) +
           QLatin1Char('-') + QString::number(counter++);
}

// Appends the content to what `written` bytes of the file hold so far.
bool writeAll(int fd, QByteArrayView content, qint64& written, int& error) {
    qint64 done = 0;
    while (done < content.size()) {
        if (const WriteFault& fault = writeFault(); fault) {
            if (const int injected = fault(written); injected != 0) {
                error = injected;
                return false;
            }
        }
        // Large writes go in pieces so that the fault seam and a signal see the progress.
        const size_t piece = static_cast<size_t>(std::min<qint64>(content.size() - done, 1 << 18));
        const ssize_t wrote = ::write(fd, content.data() + done, piece);
        if (wrote < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return false;
        }
        done += wrote;
        written += wrote;
    }
    return true;
}

// The folder entry of a rename is only durable once the folder itself is flushed.
int flushFolder(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    int error = 0;
    if (::fsync(fd) != 0 && errno != EINVAL) {
        error = errno;
    }
    ::close(fd);
    return error;
}

// Leftovers of killed processes, of any workbook in the folder: removed so that they cannot
// pile up, but only while no process holds that workbook's lock, since a holder may be writing
// it right now. The process named in the file must be gone too, which keeps the temporary
// files of a writer that does not lock (an older copy of the program) safe as well.
void removeStaleTemporaries(const QString& folder) {
    const QDir dir(folder);
    // Filtered by hand: a file name may hold characters that a name filter treats as a pattern.
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (!isTemporaryFileName(entry)) {
            continue;
        }
        const qsizetype marker = entry.lastIndexOf(kPartialMarker);
        const QString workbook = entry.mid(1, marker - 1);
        const QStringView owner = QStringView(entry).sliced(marker + kPartialMarker.size());
        const qsizetype dash = owner.indexOf(u'-');
        bool ok = false;
        const qint64 pid = owner.first(dash < 0 ? owner.size() : dash).toLongLong(&ok);
        if (!ok || pid <= 0 || pid == ::getpid()) {
            continue;
        }
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) {
            continue;
        }
        if (WorkbookLock::noOtherHolder(dir.filePath(workbook))) {
            QFile::remove(dir.filePath(entry));
        }
    }
}

} // namespace

bool isTemporaryFileName(const QString& fileName) {
    return fileName.startsWith(QLatin1Char('.')) && fileName.contains(kPartialMarker);
}

void setWriteFaultForTesting(WriteFault fault) {
    writeFault() = std::move(fault);
}

bool replaceFile(const QString& path, QByteArrayView content, QString& failure) {
    return replaceFile(
        path, [content](const PieceWriter& write) { return write(content); }, failure);
}

bool replaceFile(const QString& path, const ContentProducer& produce, QString& failure) {
    // A link is followed so that the file it names is replaced, not the link.
    QFileInfo info(path);
    const QString target =
        info.isSymLink() && info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    info = QFileInfo(target);
    const QString folder = info.absolutePath();
    const QString fileName = info.fileName();
    const QString shownPath = QDir::toNativeSeparators(path);

    struct stat old {};
    const bool hadFile = ::stat(QFile::encodeName(target).constData(), &old) == 0;
    if (hadFile && S_ISDIR(old.st_mode)) {
        failure = QStringLiteral("Cannot write %1: it is a folder").arg(shownPath);
        return false;
    }

    const QString temporary = newTemporaryPath(folder, fileName);
    const QByteArray temporaryName = QFile::encodeName(temporary);
    const int fd = ::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        failure =
            QStringLiteral("Cannot write %1: %2").arg(shownPath, folderProblem(folder, errno));
        return false;
    }

    int error = 0;
    bool ok = true;
    // The new file keeps the permissions the user gave the old one.
    if (hadFile && ::fchmod(fd, old.st_mode & 07777) != 0) {
        error = errno;
        ok = false;
    }
    qint64 written = 0;
    try {
        ok = ok &&
             produce([&](QByteArrayView piece) { return writeAll(fd, piece, written, error); });
        // A producer that gives up without a failed write still leaves no file behind.
        if (!ok && error == 0) {
            error = EIO;
        }
    } catch (...) {
        ::close(fd);
        ::unlink(temporaryName.constData());
        throw;
    }
    if (ok && ::fsync(fd) != 0) {
        error = errno;
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        error = errno;
        ok = false;
    }
    if (ok && ::rename(temporaryName.constData(), QFile::encodeName(target).constData()) != 0) {
        error = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(temporaryName.constData());
        failure = QStringLiteral("Cannot write %1: %2").arg(shownPath, systemError(error));
        return false;
    }
    if (const int folderError = flushFolder(folder); folderError != 0) {
        failure = QStringLiteral("Cannot make sure %1 is on the disk: %2")
                      .arg(shownPath, systemError(folderError));
        return false;
    }
    removeStaleTemporaries(folder);
    return true;
}

} // namespace safefilewrite
