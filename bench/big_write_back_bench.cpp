// One cell changed in a large workbook: a 64 MiB file whose big sheet holds 65,536 rows of
// record-like texts, beside a second sheet, is opened, one cell of the big sheet is set and the
// workbook is written back. Time and peak memory of that write-back, in a process of its own
// so that the peak is its own.
//
// big_write_back_bench [--megabytes 64] [--unique]
// --unique: every cell a text of its own (a string table as large as the cells)
#include "spreadsheet/xls/xlsbook.h"
#include "spreadsheet/xlsworkbookstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Texts as a day's records hold them: mostly repeated gas names and units, unique times and
// readings, so that the string table is large and most cells are shared strings.
xls::Book bigBook(qint64 megabytes, bool unique) {
    xls::Book book;
    xls::Sheet big{QStringLiteral("Storage"), {}};
    const int columns = 19;
    // About 14 bytes a cell, plus the string table's share of the unique texts.
    const qint64 cells = megabytes * 1024 * 1024 / 17;
    const int width = int(std::min<qint64>(256, cells / 65536 + 1));
    for (int r = 0; r < 65536; ++r) {
        std::vector<QString> row;
        row.reserve(size_t(width));
        for (int c = 0; c < width; ++c) {
            if (r == 0 && c == 0) {
                row.push_back(QStringLiteral("Time"));
            } else if (c % columns == 0) {
                row.push_back(QString::asprintf("2025-03-07 %05d.%03d", r, c));
            } else if (unique) {
                row.push_back(QString::number(r * 256 + c));
            } else if (c % 3 == 1) {
                row.push_back(QStringLiteral("CO      "));
            } else if (c % 3 == 2) {
                row.push_back(QString::asprintf("%6.1f", (r * 7 + c) % 20000 / 10.0));
            } else {
                row.push_back(QStringLiteral("PPM"));
            }
        }
        big.rows.push_back(std::move(row));
    }
    book.sheets.push_back(std::move(big));
    book.sheets.push_back({QStringLiteral("Notes"), {{QStringLiteral("kept")}}});
    return book;
}

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The write-back, in this process; prints its figures.
int writeBackOnce(const QString& path, qint64 fileSize) {
    const long before = peakKilobytes();
    QElapsedTimer timer;
    timer.start();
    XlsWorkbookStore store;
    store.connect(QStringLiteral("DRIVER={x};DSN='';DBQ=%1").arg(path));
    const long afterRead = peakKilobytes();
    store.execute(QStringLiteral("INSERT INTO [Storage$A1:IV40000] ([Time]) VALUES ('changed')"));
    QString failure;
    if (!store.disconnect(failure)) {
        std::fprintf(stderr, "write-back failed: %s\n", qPrintable(failure));
        std::fflush(stderr);
        return 1;
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const long peak = peakKilobytes();
    std::printf("file %.1f MiB  time %.2f s  peak RSS %.0f MiB (%.1f x file; %.0f MiB before, "
                "%.0f MiB after reading)\n",
                double(fileSize) / 1048576.0, seconds, double(peak) / 1024.0,
                double(peak) * 1024.0 / double(fileSize), double(before) / 1024.0,
                double(afterRead) / 1024.0);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qint64 megabytes = 64;
    const QStringList args = app.arguments();
    const int at = int(args.indexOf(QStringLiteral("--megabytes")));
    if (at >= 0 && at + 1 < args.size()) {
        megabytes = args[at + 1].toLongLong();
    }
    const bool unique = args.contains(QStringLiteral("--unique"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.xls"));
    qint64 fileSize = 0;
    // The workbook is made in a child, so that its memory is not counted in the write-back's.
    const pid_t maker = fork();
    if (maker == 0) {
        QFile file(path);
        const QByteArray bytes = xls::serialize(bigBook(megabytes, unique));
        _exit(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? 0 : 1);
    }
    int status = 0;
    waitpid(maker, &status, 0);
    fileSize = QFile(path).size();
    if (status != 0 || fileSize == 0) {
        std::fprintf(stderr, "cannot make the workbook\n");
        return 1;
    }
    const pid_t writer = fork();
    if (writer == 0) {
        std::fflush(stdout);
        _exit(writeBackOnce(path, fileSize));
    }
    waitpid(writer, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
