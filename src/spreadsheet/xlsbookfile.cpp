#include "spreadsheet/xlsworkbookstore.h"

#include "spreadsheet/safefilewrite.h"
#include "spreadsheet/xls/cfbrewriter.h"
#include "spreadsheet/xlsstoredetail.h"

#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

// Reading the workbook file into the book, and writing the changed book back to it.

using namespace xlsstore;

XlsWorkbookStore::FileIdentity XlsWorkbookStore::identityOf(const QString& path) {
    FileIdentity identity;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return identity;
    }
    identity.present = true;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = info.st_size;
    identity.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return identity;
}

void XlsWorkbookStore::loadBook(const QString& path, bool createIfMissing) {
    const FileIdentity identity = identityOf(path);
    // The book of the previous connection is kept while the file is the one it was read from
    // or written to: a job connects several times, and a day's workbook is large.
    if (m_bookValid && path == m_path && identity == m_identity) {
        return;
    }

    m_bookValid = false;
    m_book = {};
    m_layout.reset();
    if (!identity.present) {
        if (!createIfMissing) {
            throw WorkbookConnectError(
                toMessage(QStringLiteral("Cannot open the workbook %1: the file does not exist")
                              .arg(shown(path))));
        }
    } else {
        QFile file(path);
        if (QFileInfo(path).isDir()) {
            throw WorkbookConnectError(toMessage(
                QStringLiteral("Cannot open the workbook %1: it is a folder").arg(shown(path))));
        }
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            throw WorkbookConnectError(toMessage(QStringLiteral("Cannot open the workbook %1: %2")
                                                     .arg(shown(path), file.errorString())));
        }
        // Read in one piece into a buffer of the file's size: a day's workbook is tens of
        // megabytes, and growing the buffer while reading costs more than the reading.
        QByteArray bytes(file.size(), Qt::Uninitialized);
        qint64 got = 0;
        while (got < bytes.size()) {
            const qint64 read = file.read(bytes.data() + got, bytes.size() - got);
            if (read < 0) {
                throw WorkbookConnectError(
                    toMessage(QStringLiteral("Cannot read the workbook %1: %2")
                                  .arg(shown(path), file.errorString())));
            }
            if (read == 0) {
                break;
            }
            got += read;
        }
        bytes.truncate(got);
        try {
            xls::KeptBook kept = xls::parseKeeping(bytes);
            m_book = std::move(kept.book);
            m_layout = std::move(kept.layout);
        } catch (const xls::FormatError& error) {
            m_book = {};
            m_layout.reset();
            throw WorkbookConnectError(
                toMessage(QStringLiteral("Cannot open the workbook %1: it cannot be read as an "
                                         "Excel 97-2003 workbook (%2)")
                              .arg(shown(path), QString::fromUtf8(error.what()))));
        }
    }
    m_path = path;
    m_identity = identity;
    m_bookValid = true;
}

bool XlsWorkbookStore::writeBook(QString& why) {
    std::vector<xls::SheetChange> changes;
    if (!collectChanges(changes)) {
        return true;
    }
    if (!m_layout) {
        // A workbook this connection created: written out piece by piece, since a buffer of its
        // size would be fresh memory on every write-back.
        std::unique_ptr<xls::BookFileWriter> writer;
        try {
            writer = std::make_unique<xls::BookFileWriter>(m_book);
        } catch (const xls::FormatError& error) {
            why = QStringLiteral("Cannot write the workbook %1: %2")
                      .arg(shown(m_path), QString::fromUtf8(error.what()));
            return false;
        }
        return safefilewrite::replaceFile(
            m_path, [&writer](const auto& write) { return writer->writeTo(write); }, why);
    }
    // Like a read-only file in any editor: a workbook the user may not change is not replaced,
    // although the folder would let a new file take its name. A file without any write
    // permission counts as read-only also for the administrator.
    struct stat info {};
    const QByteArray encoded = QFile::encodeName(m_path);
    const bool noWriteBits = ::stat(encoded.constData(), &info) == 0 &&
                             (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    if (noWriteBits || ::access(encoded.constData(), W_OK) != 0) {
        why = QStringLiteral("Cannot write the workbook %1: the file is read-only for you; it was "
                             "left as it was")
                  .arg(shown(m_path));
        return false;
    }
    std::vector<QByteArray> file;
    try {
        file = xls::rewriteCompoundFile(m_layout->compound,
                                        xls::writeKeptStream(*m_layout, m_book, changes));
    } catch (const xls::FormatError& error) {
        why = QStringLiteral("Cannot write the workbook %1 without losing what it holds: %2. The "
                             "file was left as it was")
                  .arg(shown(m_path), QString::fromUtf8(error.what()));
        return false;
    } catch (const std::bad_alloc&) {
        why = QStringLiteral("Cannot write the workbook %1: not enough memory; it was left as "
                             "it was")
                  .arg(shown(m_path));
        return false;
    }
    return safefilewrite::replaceFile(
        m_path,
        [&file](const safefilewrite::PieceWriter& write) {
            for (const QByteArray& piece : file) {
                if (!write(piece)) {
                    return false;
                }
            }
            return true;
        },
        why);
}
