// A download of 200 records over a pseudo-terminal from a prompt simulated instrument, driven
// by a real 50 ms timer through InstrumentLink, as the main window drives it. One tick per
// record means at least 19.5 records per second and no record asked for twice.
#include "instrumentsim.h"
#include "nulllinkevents.h"
#include "protocol/instrumentlink.h"
#include "serialline.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

constexpr quint32 kRecords = 200;
constexpr double kRequiredRate = 19.5;

class CountingExporter : public BatchExporter {
public:
    quint32 rows = 0;
    std::function<void()> onBatch;
    bool exportBatch(ChannelLayout, const RecordStore&, quint32 rowCount) override {
        rows += rowCount;
        onBatch();
        return true;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    SimulatorConfig config;
    config.recordCount = kRecords;
    InstrumentSimulator sim(config);
    SerialLine line;
    if (!sim.isValid() || !line.open(sim.slavePath())) {
        std::fprintf(stderr, "download_bench: no pseudo-terminal line\n");
        return 2;
    }
    NullLinkEvents events;
    CountingExporter exporter;
    const UserGasNames userGases;
    InstrumentLink link(line, events, userGases);
    link.setExporter(&exporter);
    QObject::connect(&line.port(), &QSerialPort::readyRead,
                     [&] { link.receive(line.port().readAll()); });
    // As after a parameter read that reported the total.
    link.state().recordTotal = kRecords;
    link.setChannelCount(4);

    QElapsedTimer clock;
    qint64 lastTick = -1;
    qint64 worstLateness = 0;
    double finishedMs = -1;
    QTimer downloadTimer;
    downloadTimer.setTimerType(Qt::PreciseTimer);
    downloadTimer.setInterval(InstrumentLink::kDownloadPeriodMs);
    QObject::connect(&downloadTimer, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed() / 1000;
        const qint64 due = (lastTick < 0 ? 0 : lastTick) + InstrumentLink::kDownloadPeriodMs * 1000;
        if (lastTick >= 0 && finishedMs < 0) {
            worstLateness = qMax(worstLateness, now - due);
        }
        lastTick = now;
        link.downloadTick();
    });
    exporter.onBatch = [&] {
        if (exporter.rows >= kRecords && finishedMs < 0) {
            finishedMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            // A little longer, to catch any request sent after the last record.
            QTimer::singleShot(200, &app, &QCoreApplication::quit);
        }
    };
    QTimer::singleShot(30000, &app, &QCoreApplication::quit);

    clock.start();
    downloadTimer.start();
    link.startDownload();
    app.exec();

    const QList<quint32> asked = sim.recordRequests();
    int repeats = 0;
    for (int i = 1; i < asked.size(); ++i) {
        repeats += asked[i] == asked[i - 1] ? 1 : 0;
    }
    const double rate = finishedMs > 0 ? kRecords / (finishedMs / 1000.0) : 0.0;
    std::printf("records: %u in %.1f ms\n", exporter.rows, finishedMs);
    std::printf("records per second: %.2f (required %.1f)\n", rate, kRequiredRate);
    std::printf("requests: %lld, repeated: %d\n", static_cast<long long>(asked.size()), repeats);
    std::printf("largest tick lateness (behind the previous tick + 50 ms): %.2f ms\n",
                worstLateness / 1000.0);
    const bool ok = exporter.rows == kRecords && rate >= kRequiredRate && repeats == 0 &&
                    asked.size() == static_cast<qsizetype>(kRecords);
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
