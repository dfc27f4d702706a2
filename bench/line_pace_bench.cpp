// Downloads from the simulated instrument in line-timing mode (a separate trellmo-sim process
// answering as over a 38400 bit/s cable after a 3 ms think time) through InstrumentLink, the
// serial port and the record export into a day workbook, as the main window drives them.
// Prints, per channel layout, records per second beside the line's limit (one request and one
// answer back to back, plus the think time) and their ratio, and the CPU seconds this process
// (the program's side) spent per 1000 records.
//
//   line_pace_bench [records=5000] [--pace tick]
#include "export/recordexporter.h"
#include "nulllinkevents.h"
#include "protocol/answerpace.h"
#include "protocol/instrumentlink.h"
#include "serial/linepacetimer.h"
#include "serialline.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {

constexpr double kThinkMs = 3.0;
constexpr double kTarget = 0.9;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Result {
    bool complete = false;
    double seconds = 0;
    double cpu = 0;
    quint32 requests = 0;
};

// Counts the record requests that go out.
class CountingLine : public SerialLine {
public:
    quint32 records = 0;
    void sendFrame(const QByteArray& frame) override {
        records += frame.size() > 1 && quint8(frame[1]) == 0x41 ? 1 : 0;
        SerialLine::sendFrame(frame);
    }
};

Result download(int channels, quint32 records, bool tickPace) {
    Result result;
    QProcess sim;
    sim.start(QStringLiteral(TRELLMO_SIM_PATH),
              {QStringLiteral("--line-timing"), QStringLiteral("--think"),
               QString::number(kThinkMs), QStringLiteral("--channels"), QString::number(channels),
               QStringLiteral("--records"), QString::number(records)});
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "line_pace_bench: trellmo-sim did not start\n");
        return result;
    }
    const QString device = QString::fromLocal8Bit(sim.readLine()).trimmed();
    CountingLine line;
    if (!line.open(device)) {
        std::fprintf(stderr, "line_pace_bench: cannot open %s\n", qPrintable(device));
        return result;
    }
    QTemporaryDir folder;
    RecordExporter exporter(folder.path(), [] { return QDate(2025, 3, 7); });
    NullLinkEvents events;
    const UserGasNames userGases;
    InstrumentLink link(line, events, userGases);
    link.setExporter(&exporter);
    LinePaceTimer pace;
    QObject::connect(&pace, &LinePaceTimer::fired, [&] { link.paceTimeout(); });
    if (!tickPace) {
        link.setPaceTimer(&pace);
    }
    QObject::connect(&line.port(), &QSerialPort::readyRead,
                     [&] { link.receive(line.port().readAll()); });
    QTimer parameterTimer;
    parameterTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&parameterTimer, &QTimer::timeout, [&] {
        if (link.parameterTick() == TickOutcome::StopTimer) {
            parameterTimer.stop();
        }
    });
    QTimer downloadTimer;
    downloadTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&downloadTimer, &QTimer::timeout, [&] { link.downloadTick(); });

    QEventLoop loop;
    QTimer poll;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    link.readParameter();
    if (!link.pacedByAnswers()) {
        parameterTimer.start(InstrumentLink::kParameterPeriodMs);
    }
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (link.state().sequenceStep == 9) {
            loop.quit();
        }
    });
    poll.start(5);
    deadline.start(10000);
    loop.exec();
    poll.stop();
    deadline.stop();
    if (link.state().recordTotal != records) {
        std::fprintf(stderr, "line_pace_bench: the parameter read did not report %u records\n",
                     records);
        return result;
    }

    QElapsedTimer clock;
    const double cpuBefore = cpuSeconds();
    clock.start();
    line.records = 0;
    downloadTimer.start(InstrumentLink::kDownloadPeriodMs);
    link.startDownload();
    QObject::disconnect(&poll, nullptr, nullptr, nullptr);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const PollState& s = link.state();
        if (s.recordIndex == s.recordTotal && s.awaitingRecord == 0 && s.storeRow == 0) {
            loop.quit();
        }
    });
    poll.start(20);
    deadline.start(static_cast<int>(records) * 100 + 30000);
    loop.exec();
    result.seconds = clock.nsecsElapsed() / 1e9;
    result.cpu = cpuSeconds() - cpuBefore;
    result.requests = line.records;
    const PollState& s = link.state();
    result.complete = s.recordIndex == records && s.awaitingRecord == 0 && s.storeRow == 0;
    if (link.tickPaceSince() != 0) {
        std::printf("  (went back to the tick pace at record %u)\n", link.tickPaceSince());
    }
    sim.kill();
    sim.waitForFinished();
    return result;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    quint32 records = 5000;
    bool tickPace = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pace") == 0 && i + 1 < argc) {
            tickPace = std::strcmp(argv[++i], "tick") == 0;
        } else {
            records = static_cast<quint32>(std::atol(argv[i]));
        }
    }
    std::printf("line_pace_bench: %u records per layout at the %s pace, 38400 bit/s, "
                "think time %.0f ms\n",
                records, tickPace ? "tick" : "answer", kThinkMs);
    bool ok = true;
    for (const int channels : {4, 6}) {
        const int answerBytes = channels == 6 ? 23 : 19;
        const double recordUs =
            double(lineTiming::bytesUs(8) + lineTiming::bytesUs(answerBytes)) + kThinkMs * 1000;
        const double limit = 1e6 / recordUs;
        const Result r = download(channels, records, tickPace);
        const double rate = r.seconds > 0 ? records / r.seconds : 0;
        std::printf("  %d channels: %s %u records in %.1f s, %u requests: %.1f records/s, "
                    "line limit %.1f, ratio %.3f; CPU %.3f s per 1000 records\n",
                    channels, r.complete ? "downloaded" : "INCOMPLETE", records, r.seconds,
                    r.requests, rate, limit, rate / limit, r.cpu / records * 1000);
        ok = ok && r.complete && (tickPace || rate / limit >= kTarget);
    }
    std::printf("%s (target at the answer pace: %.1f of the line limit)\n", ok ? "PASS" : "FAIL",
                kTarget);
    return ok ? 0 : 1;
}
