// The record export's cycle on the day's workbook, timed at several sizes of the workbook,
// beside the same cycle done with xlrd and xlwt:
//   construct CWorkbook (path, "Storage", keep backup), HoldWrites, SetHeaderRow (19
//   captions, replace false), 1000 x PutRow (row 0), WriteBack (flushed to disk), destroy.
// Each size runs in its own process, so that its peak RSS and its page faults are its own.
// The first cycle of a process is shown apart: all its memory is new, and on a virtual machine
// the first touch of a page can cost more than the work done on it.
//
// workbook_cycle_bench [--rows 0,10000,30000,60000] [--runs 5] [--no-python]
//
// The machine is shared, so wall times are noisy; instruction counts of one cycle are steadier
// (valgrind --tool=callgrind --toggle-collect='*exportCycle*' with --runs 1 --no-python).
#include "spreadsheet/workbook.h"
#include "spreadsheet/xls/xlsbook.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

QStringList captions() {
    QStringList names{QStringLiteral("Time")};
    for (int channel = 1; channel <= 6; ++channel) {
        for (const char* part : {"Gas", "Conc", "Unit"}) {
            names.append(QStringLiteral("CH%1 %2").arg(channel).arg(QLatin1String(part)));
        }
    }
    return names;
}

// Record-like texts: unique times, gas names with trailing blanks, right-aligned readings.
QStringList record(int n) {
    QStringList cells{
        QString::asprintf("2025-03-07  %02d:%02d:%02d", n / 3600 % 24, n / 60 % 60, n % 60)};
    static const char* const gases[] = {"CO      ", "H2S     ", "O2      ",
                                        "CH4     ", "NO2     ", "SO2     "};
    static const char* const units[] = {"PPM", "PPM", "%VOL", "%LEL", "PPM", "PPM"};
    for (int channel = 0; channel < 6; ++channel) {
        cells.append(QLatin1String(gases[channel]));
        cells.append(QString::asprintf("%6.1f", (n % 1000) / 10.0));
        cells.append(QLatin1String(units[channel]));
    }
    return cells;
}

std::vector<QString> toCells(const QStringList& list) {
    return {list.begin(), list.end()};
}

// The day's workbook after `rows` records in batches: the records, and the backup sheet made
// at the second batch, which holds the first batch.
void prepareWorkbook(const QString& path, int rows) {
    if (rows == 0) {
        return; // the first batch of a day creates the workbook
    }
    xls::Book book;
    xls::Sheet storage{QStringLiteral("Storage"), {toCells(captions())}};
    for (int n = 0; n < rows; ++n) {
        storage.rows.push_back(toCells(record(n)));
    }
    xls::Sheet backup{QStringLiteral("CWorkbookBackup"),
                      {storage.rows.begin(), storage.rows.begin() + std::min(rows, 1000) + 1}};
    book.sheets = {std::move(storage), std::move(backup)};
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(xls::serialize(book)) < 0) {
        qFatal("cannot prepare %s", qPrintable(path));
    }
}

// Prepares in a process of its own: the measuring process is forked from this one, and the
// prepared book's freed memory would otherwise reach it as pages shared copy-on-write, which
// neither its peak RSS nor its page faults should count.
void prepareWorkbookApart(const QString& path, int rows) {
    const pid_t child = ::fork();
    if (child == 0) {
        prepareWorkbook(path, rows);
        ::_exit(0);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        qFatal("cannot prepare %s", qPrintable(path));
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Measured {
    std::vector<double> seconds;
    std::vector<double> cpuSeconds;
    std::vector<double> systemSeconds; // the part of the CPU time spent in the kernel
    std::vector<double> pageFaults;    // each a first touch of a page: kernel time
    std::vector<double> fsyncSeconds;  // writing the file's size in bytes, with fsync
    long peakKib = 0;
    qint64 fileBytes = 0;
};

struct CpuSeconds {
    double user = 0;
    double system = 0;
    double pageFaults = 0;
};

CpuSeconds cpuSecondsNow() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return {usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6,
            usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6,
            static_cast<double>(usage.ru_minflt + usage.ru_majflt)};
}

// One cycle as the export runs it. Kept out of line so that an instruction count can be
// limited to it: valgrind --tool=callgrind --toggle-collect='*exportCycle*'.
[[gnu::noinline]] void exportCycle(const QString& work, const std::vector<QStringList>& batch) {
    CWorkbook book(work, QStringLiteral("Storage"), true);
    book.HoldWrites();
    book.SetHeaderRow(captions(), false);
    for (const QStringList& cells : batch) {
        book.PutRow(cells, 0, false);
    }
    if (!book.WriteBack()) {
        qFatal("write-back failed: %s", qPrintable(book.lastError()));
    }
}

// The floor of any write-back: the same number of bytes written to a new file in the same
// folder and flushed to the disk, then removed.
double fsyncWriteSeconds(const QString& folder, const QByteArray& bytes) {
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/fsync-baseline.bin"));
    QElapsedTimer timer;
    timer.start();
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        qFatal("cannot write the fsync baseline");
    }
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0) {
            qFatal("cannot write the fsync baseline");
        }
        done += n;
    }
    ::fsync(fd);
    ::close(fd);
    const double seconds = timer.nsecsElapsed() / 1e9;
    ::unlink(path.constData());
    return seconds;
}

// Runs the cycles in a child process; wall and CPU times come back through a pipe. The batch
// is made before the clock starts: the export has its rows ready in the record store.
Measured measureCycles(const QString& prepared, const QString& work, int runs) {
    int channel[2];
    if (::pipe(channel) != 0) {
        qFatal("pipe");
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        for (int run = 0; run < runs; ++run) {
            QFile::remove(work);
            if (QFile::exists(prepared)) {
                QFile::copy(prepared, work);
            }
            std::vector<QStringList> batch;
            for (int n = 0; n < 1000; ++n) {
                batch.push_back(record(100000 + run * 1000 + n));
            }
            const CpuSeconds cpuBefore = cpuSecondsNow();
            QElapsedTimer timer;
            timer.start();
            exportCycle(work, batch);
            const double wall = timer.nsecsElapsed() / 1e9;
            const CpuSeconds cpuAfter = cpuSecondsNow();
            const double system = cpuAfter.system - cpuBefore.system;
            // Measured right after the cycle, in the same process and folder.
            const QByteArray same(QFileInfo(work).size(), 'x');
            const double fsyncWall = fsyncWriteSeconds(QFileInfo(work).absolutePath(), same);
            const double times[5] = {wall, cpuAfter.user - cpuBefore.user + system, system,
                                     cpuAfter.pageFaults - cpuBefore.pageFaults, fsyncWall};
            if (::write(channel[1], times, sizeof times) != sizeof times) {
                ::_exit(2);
            }
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    Measured measured;
    double times[5] = {};
    while (::read(channel[0], times, sizeof times) == sizeof times) {
        measured.seconds.push_back(times[0]);
        measured.cpuSeconds.push_back(times[1]);
        measured.systemSeconds.push_back(times[2]);
        measured.pageFaults.push_back(times[3]);
        measured.fsyncSeconds.push_back(times[4]);
    }
    ::close(channel[0]);
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || measured.seconds.empty()) {
        qFatal("the measuring process failed");
    }
    measured.peakKib = usage.ru_maxrss;
    measured.fileBytes = QFileInfo(work).size();
    return measured;
}

Measured measurePython(const QString& prepared, const QString& work, int runs) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(TRELLMO_SOURCE_DIR "/bench/workbook_cycle_bench.py"), prepared,
                  work, QString::number(runs)});
    Measured measured;
    if (!python.waitForFinished(-1) || python.exitCode() != 0) {
        std::fprintf(stderr, "python failed: %s\n", python.readAllStandardError().constData());
        return measured;
    }
    const QJsonObject result = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    for (const QJsonValue value : result.value(QLatin1String("seconds")).toArray()) {
        measured.seconds.push_back(value.toDouble());
    }
    measured.peakKib = result.value(QLatin1String("peak_kib")).toInteger();
    measured.fileBytes = QFileInfo(work).size();
    return measured;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QList<int> sizes{0, 10000, 30000, 60000};
    int runs = 5;
    bool python = true;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--rows") && i + 1 < arguments.size()) {
            sizes.clear();
            for (const QString& size : arguments[++i].split(QLatin1Char(','))) {
                sizes.append(size.toInt());
            }
        } else if (arguments[i] == QLatin1String("--runs") && i + 1 < arguments.size()) {
            runs = std::max(1, arguments[++i].toInt());
        } else if (arguments[i] == QLatin1String("--no-python")) {
            python = false;
        } else {
            std::fprintf(stderr, "usage: %s [--rows 0,10000,...] [--runs N] [--no-python]\n",
                         argv[0]);
            return 2;
        }
    }

    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/workbook-bench-XXXXXX"));
    std::printf(
        "cycle: open, SetHeaderRow, 1000 x PutRow(19 cells), WriteBack with fsync, "
        "destroy\nwall seconds median (min) of %d runs, CPU seconds median (of which in the "
        "kernel), page faults per cycle median; the same for the first cycle of the process, "
        "whose memory is all new; peak RSS of the measuring process\n",
        runs);
    std::printf("fsync write s: the median time to write the file's size in bytes to a new file "
                "with fsync, in the same process right after each cycle; ratio: cycle / that\n");
    std::printf("%8s  %16s  %15s  %7s  %22s  %9s  %16s  %9s  %10s  %13s  %6s\n", "rows",
                "C++ wall s", "C++ CPU (sys)", "faults", "first: wall, CPU, faults", "C++ KiB",
                "xlrd+xlwt wall s", "py KiB", "file bytes", "fsync write s", "ratio");
    for (const int rows : sizes) {
        const QString prepared = dir.filePath(QStringLiteral("prepared-%1.xls").arg(rows));
        const QString work = dir.filePath(QStringLiteral("C6-25-03-07.xls"));
        prepareWorkbookApart(prepared, rows);
        const Measured ours = measureCycles(prepared, work, runs);
        Measured theirs;
        if (python) {
            theirs = measurePython(prepared, dir.filePath(QStringLiteral("python.xls")),
                                   std::max(1, runs / 2));
        }
        auto cell = [](const Measured& m) {
            if (m.seconds.empty()) {
                return QStringLiteral("-");
            }
            return QStringLiteral("%1 (%2)")
                .arg(median(m.seconds), 0, 'f', 3)
                .arg(*std::min_element(m.seconds.begin(), m.seconds.end()), 0, 'f', 3);
        };
        const double fsyncMedian = median(ours.fsyncSeconds);
        std::printf("%8d  %16s  %7.3f (%5.3f)  %7.0f  %6.3f, %6.3f, %6.0f  %9ld  %16s  %9ld  "
                    "%10lld  %13.3f  %6.1f\n",
                    rows, qPrintable(cell(ours)), median(ours.cpuSeconds),
                    median(ours.systemSeconds), median(ours.pageFaults), ours.seconds.front(),
                    ours.cpuSeconds.front(), ours.pageFaults.front(), ours.peakKib,
                    qPrintable(cell(theirs)), theirs.peakKib,
                    static_cast<long long>(ours.fileBytes), fsyncMedian,
                    median(ours.seconds) / fsyncMedian);
        std::fflush(stdout);
        QFile::remove(prepared);
    }
    return 0;
}
