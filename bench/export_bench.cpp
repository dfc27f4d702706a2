// One batch of the download export: 1000 six-channel records (19 columns) appended to the
// day's workbook, first while the day is new, then when it already holds 60,000 records.
#include "export/recordexporter.h"
#include "export/recordworkbook.h"
#include "model/recordstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

const QDate kDay(2025, 3, 7);

void fillRecords(RecordStore& store, quint32 rows, int firstSecond) {
    for (quint32 r = 0; r < rows; ++r) {
        const int n = firstSecond + static_cast<int>(r);
        store.setCell(0, r,
                      QString::asprintf("2025-03-07  %02d:%02d:%02d", (n / 3600) % 24,
                                        (n / 60) % 60, n % 60));
        for (int ch = 1; ch <= 6; ++ch) {
            store.setCell(ch, r, QStringLiteral("CO      "));
            store.setCell(6 + ch, r, QString::asprintf("%5.1f", (n % 1000) / 10.0));
            store.setCell(12 + ch, r, QStringLiteral("PPM"));
        }
    }
}

struct Setup {
    QTemporaryDir dir;
    QString folder = dir.path() + QStringLiteral("/TRELLMO_RECORD_DATA");
    RecordExporter exporter{folder, [] {
                                return kDay;
                            }};
    QString dayBook = folder + QLatin1Char('/') + recordWorkbookName(ChannelLayout::Six, kDay);
    RecordStore batch;
    Setup() { fillRecords(batch, 1000, 0); }
};

void bmExportBatchIntoNewDay(benchmark::State& state) {
    Setup s;
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(s.dayBook);
        state.ResumeTiming();
        if (!s.exporter.exportBatch(ChannelLayout::Six, s.batch, 1000)) {
            state.SkipWithError(qPrintable(s.exporter.lastFailure().reason));
        }
    }
}

void bmExportBatchIntoBusyDay(benchmark::State& state) {
    Setup s;
    const auto existing = static_cast<quint32>(state.range(0));
    // The day as it is after a long download: the first batch, then the rest, which also
    // leaves the backup sheet made when the workbook was first reopened.
    RecordStore earlier;
    fillRecords(earlier, existing, 0);
    if (!s.exporter.exportBatch(ChannelLayout::Six, earlier, 1000) ||
        !s.exporter.exportBatch(ChannelLayout::Six, earlier, existing - 1000)) {
        state.SkipWithError("could not prepare the day workbook");
        return;
    }
    const QString prepared = s.dir.path() + QStringLiteral("/prepared.xls");
    QFile::copy(s.dayBook, prepared);
    state.counters["workbook_MB"] = static_cast<double>(QFileInfo(prepared).size()) / 1e6;

    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(s.dayBook);
        QFile::copy(prepared, s.dayBook);
        state.ResumeTiming();
        if (!s.exporter.exportBatch(ChannelLayout::Six, s.batch, 1000)) {
            state.SkipWithError(qPrintable(s.exporter.lastFailure().reason));
        }
    }
}

} // namespace

BENCHMARK(bmExportBatchIntoNewDay)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(bmExportBatchIntoBusyDay)->Arg(60000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_MAIN();
