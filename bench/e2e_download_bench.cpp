// A download through the real main window (offscreen, real serial port on a pseudo-terminal,
// real 50 ms timer) that crosses the 1000-record batch boundary while the day's workbook
// already holds many rows, so that the export at record 1000 runs inside the receive event.
// Reports the largest lateness of a download tick as the instrument saw the requests, how long
// the event loop stood still, the pace in records per second, and whether any record was asked
// for twice.
//
//   e2e_download_bench [records=1200] [rows already in the day's workbook=30000]
#include "instrumentrig.h"
#include "stallwatch.h"

#include "app/mainwindow/trellmodlg.h"
#include "export/recordexporter.h"
#include "export/recordworkbook.h"
#include "model/recordstore.h"
#include "spreadsheet/workbook.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace {

// The day's earlier downloads, written batch by batch as the program writes them.
bool prefillDay(const QString& folder, const QDate& day, quint32 rows) {
    RecordExporter exporter(folder, [day] { return day; });
    RecordStore batch;
    for (quint32 r = 0; r < 1000; ++r) {
        batch.setCell(
            0, r,
            QString::asprintf("2025-03-07  %02u:%02u:%02u", r / 3600 % 24, r / 60 % 60, r % 60));
        for (int ch = 1; ch <= 4; ++ch) {
            batch.setCell(ch, r, QStringLiteral("CO      "));
            batch.setCell(6 + ch, r, QString::asprintf("%5.1f", (r % 1000) / 10.0));
            batch.setCell(12 + ch, r, QStringLiteral("PPM"));
        }
    }
    for (quint32 written = 0; written < rows; written += 1000) {
        if (!exporter.exportBatch(ChannelLayout::Four, batch, qMin(1000u, rows - written))) {
            std::fprintf(stderr, "prefill: %s\n", qPrintable(exporter.lastFailure().reason));
            return false;
        }
    }
    return true;
}

// Rows below the header.
qsizetype sheetRows(const QString& path) {
    CWorkbook book(path, recordSheetName(), false);
    return book.RowCount() - 1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const quint32 records = argc > 1 ? static_cast<quint32>(std::atol(argv[1])) : 1200;
    const quint32 existing = argc > 2 ? static_cast<quint32>(std::atol(argv[2])) : 30000;

    SimulatorConfig config;
    config.recordCount = records;
    InstrumentRig rig(config);
    const QString workbook = rig.recordWorkbook(recordWorkbookName(ChannelLayout::Four, rig.today));

    QElapsedTimer clock;
    clock.start();
    if (!prefillDay(rig.recordFolder(), rig.today, existing)) {
        return 2;
    }
    std::printf("e2e_download_bench: %u records into a day workbook of %u rows (%.1f MB, "
                "prepared in %.1f s)\n",
                records, existing, QFileInfo(workbook).size() / 1e6, clock.elapsed() / 1000.0);

    if (!rig.openPort() || !rig.readParameter()) {
        std::fprintf(stderr, "the parameter read did not finish\n");
        return 2;
    }
    rig.sim.clearLog();
    StallWatch watch;
    clock.restart();
    rig.pressDownload();
    const bool done = rig.waitForDownload(static_cast<int>(records) * 150 + 30000);
    const double seconds = clock.elapsed() / 1000.0;

    // Ticks as the instrument saw them: a request is due 50 ms after the one before it.
    const QList<SimRequest>& requests = rig.sim.requests();
    qint64 worstLateness = 0;
    quint32 worstAfter = 0;
    qsizetype repeated = 0;
    for (qsizetype i = 1; i < requests.size(); ++i) {
        const qint64 lateness = requests[i].atMs - requests[i - 1].atMs - 50;
        if (lateness > worstLateness) {
            worstLateness = lateness;
            worstAfter = requests[i - 1].recordNumber;
        }
        if (requests[i].recordNumber == requests[i - 1].recordNumber) {
            ++repeated;
        }
    }
    const double span =
        requests.size() > 1 ? (requests.last().atMs - requests.first().atMs) / 1000.0 : 0.0;
    const qsizetype rowsAfter = sheetRows(workbook);

    std::printf("  download %s in %.1f s: %.2f records/s (first to last request %.1f s)\n",
                done ? "finished" : "DID NOT FINISH", seconds, span > 0 ? (records - 1) / span : 0,
                span);
    std::printf("  largest tick lateness: %lld ms, after the request for record %u\n",
                static_cast<long long>(worstLateness), worstAfter);
    std::printf("  event loop stood still for up to %lld ms\n",
                static_cast<long long>(watch.worstLatenessMs()));
    std::printf("  requests repeated: %lld of %lld\n", static_cast<long long>(repeated),
                static_cast<long long>(requests.size()));
    std::printf("  workbook rows below the header: %lld (expected %u)\n",
                static_cast<long long>(rowsAfter), existing + records);
    std::printf("  messages: %lld\n", static_cast<long long>(rig.window.messages.count()));
    return done && repeated == 0 && rowsAfter == qsizetype(existing + records) ? 0 : 1;
}
