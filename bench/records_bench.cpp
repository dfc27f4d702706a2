// The Records window on a full six-channel day: 65,535 records (the most a sheet holds below
// its caption row). Measures, offscreen:
//   - from the request to open the file to the chart drawn with every line;
//   - the longest the user-interface thread was held up meanwhile (the download's timers run
//     there), by a 5 ms beat;
//   - the exposure summary of the whole day;
//   - zooming and panning: each frame sets the view and draws the chart;
//   - the process's peak memory.
// A timed tool, run by hand: records_bench [records]
#include "app/recordswindow/recordschartview.h"
#include "app/recordswindow/recordswindow.h"
#include "records/exposure.h"
#include "spreadsheet/xls/xlsbook.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray dayWorkbook(int records) {
    static const char* gases[] = {"CO      ", "H2S     ", "O2      ",
                                  "EX      ", "NO2     ", "SO2     "};
    static const char* units[] = {"PPM", "PPM", "%VOL", "%LEL", "PPM", "PPM"};
    xls::Book book;
    book.sheets.push_back({QStringLiteral("Storage"), {}});
    auto& rows = book.sheets[0].rows;
    std::vector<QString> header{QStringLiteral("Time")};
    for (int ch = 1; ch <= 6; ++ch) {
        header.push_back(QStringLiteral("CH%1 Gas").arg(ch));
        header.push_back(QStringLiteral("CH%1 Conc").arg(ch));
        header.push_back(QStringLiteral("CH%1 Unit").arg(ch));
    }
    rows.push_back(header);
    quint32 random = 7;
    for (int n = 0; n < records; ++n) {
        const int seconds = n; // one record a second: 18 hours
        std::vector<QString> row{QString::asprintf("2025-03-07  %02d:%02d:%02d", seconds / 3600,
                                                   seconds / 60 % 60, seconds % 60)};
        for (int ch = 0; ch < 6; ++ch) {
            random = random * 1103515245u + 12345u;
            row.push_back(QString::fromLatin1(gases[ch]));
            row.push_back(QString::asprintf("%5.1f", double((random >> 16) % 2000) / 10.0));
            row.push_back(QString::fromLatin1(units[ch]));
        }
        rows.push_back(std::move(row));
    }
    return xls::serialize(book);
}

double peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 65535;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("C6-25-03-07.xls"));
    // The workbook is made by a child process, so that making it does not count in the peak.
    const pid_t child = fork();
    if (child == 0) {
        const QByteArray bytes = dayWorkbook(records);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            _exit(1);
        }
        std::printf("workbook: %d records, %.1f MB\n", records, double(bytes.size()) / 1048576.0);
        std::fflush(stdout);
        _exit(0);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || status != 0) {
        return 1;
    }

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // An empty record folder, so that nothing is opened before the "click".
    QTemporaryDir folder;
    RecordsWindow window(folder.path());
    window.resize(1280, 800);
    window.show();
    QCoreApplication::processEvents();
    const double peakBefore = peakMegabytes();

    qint64 worstLateMs = 0;
    QElapsedTimer beatClock;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&beat, &QTimer::timeout,
                     [&] { worstLateMs = std::max(worstLateMs, beatClock.restart() - 5); });

    QElapsedTimer clock;
    clock.start();
    beatClock.start();
    beat.start(5);
    window.openFile(path);
    while (window.shownPath().isEmpty()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    RecordsChartView& chart = *window.chartView();
    chart.viewport()->repaint();
    const qint64 openMs = clock.elapsed();
    beat.stop();
    std::printf("open to drawn chart: %lld ms (user-interface thread held up at most %lld ms)\n",
                openMs, worstLateMs);

    // The exposure summary under the chart follows the view once a zoom or pan pauses: what the
    // whole day costs, on the user-interface thread.
    double exposureMs = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer summary;
        summary.start();
        const auto rows = summarizeExposure(*window.shape());
        exposureMs = std::max(exposureMs, double(summary.nsecsElapsed()) / 1e6);
        if (rows.empty()) {
            return 1;
        }
    }
    std::printf("exposure summary of the whole day: worst of 5 %.1f ms\n", exposureMs);

    // Zoom in step by step towards the middle, then pan across, drawing every frame.
    const auto [from, to] = chart.timeRange();
    std::vector<double> frames;
    double width = to - from;
    double middle = (from + to) / 2;
    double setMs = 0;
    for (int step = 0; step < 30; ++step) {
        width *= 0.75;
        QElapsedTimer frame;
        frame.start();
        chart.setTimeRange(middle - width / 2, middle + width / 2);
        setMs += double(frame.nsecsElapsed()) / 1e6;
        chart.viewport()->repaint();
        frames.push_back(double(frame.nsecsElapsed()) / 1e6);
    }
    std::printf("zoom: %.1f ms per frame to set the view, the rest drawing\n", setMs / 30);
    width = (to - from) / 4;
    for (int step = 0; step < 40; ++step) {
        const double start = from + (to - from - width) * step / 39.0;
        QElapsedTimer frame;
        frame.start();
        chart.setTimeRange(start, start + width);
        chart.viewport()->repaint();
        frames.push_back(double(frame.nsecsElapsed()) / 1e6);
    }
    double fullMs = 0;
    for (int step = 0; step < 10; ++step) {
        QElapsedTimer frame;
        frame.start();
        chart.resetView();
        chart.viewport()->repaint();
        frames.push_back(double(frame.nsecsElapsed()) / 1e6);
        fullMs = std::max(fullMs, frames.back());
    }
    std::printf("whole day in view: worst frame %.1f ms\n", fullMs);
    std::sort(frames.begin(), frames.end());
    double sum = 0;
    for (double f : frames) {
        sum += f;
    }
    std::printf("zoom/pan frame: mean %.1f ms, median %.1f ms, worst %.1f ms (%zu frames)\n",
                sum / double(frames.size()), frames[frames.size() / 2], frames.back(),
                frames.size());
    std::printf("peak memory: %.1f MB (%.1f MB with the window shown, before opening)\n",
                peakMegabytes(), peakBefore);
    return 0;
}
