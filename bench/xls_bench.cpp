// Speed of reading and writing the day's record workbook: one export batch parses the file,
// appends 1000 rows of 19 cells and writes it again. Run with --benchmark_counters_tabular=true;
// the peak_rss_MB counter is the process's peak so far, so run one size per process
// (--benchmark_filter=/60000) to read the peak of that size.
#include "spreadsheet/xls/xlsbook.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <random>

namespace {

constexpr int kChannels = 6;
constexpr int kBatchRows = 1000;

std::vector<QString> headerRow() {
    std::vector<QString> row{QStringLiteral("Time")};
    for (int ch = 1; ch <= kChannels; ++ch) {
        row.push_back(QStringLiteral("CH%1 Gas").arg(ch));
        row.push_back(QStringLiteral("CH%1 Conc").arg(ch));
        row.push_back(QStringLiteral("CH%1 Unit").arg(ch));
    }
    return row;
}

// A record row as the export writes it: a unique time, then gas, reading and unit per channel.
std::vector<QString> recordRow(int index, std::mt19937& random) {
    static const QString gases[] = {QStringLiteral("CO      "), QStringLiteral("H2S     "),
                                    QStringLiteral("O2      "), QStringLiteral("EX      "),
                                    QStringLiteral("NO2     "), QStringLiteral("SO2     ")};
    static const QString units[] = {QStringLiteral("PPM"),  QStringLiteral("PPM"),
                                    QStringLiteral("%VOL"), QStringLiteral("%LEL"),
                                    QStringLiteral("PPM"),  QStringLiteral("PPM")};
    const int seconds = index * 3;
    std::vector<QString> row;
    row.reserve(1 + 3 * kChannels);
    row.push_back(QStringLiteral("2025-03-07  %1:%2:%3")
                      .arg(seconds / 3600 % 24, 2, 10, QLatin1Char('0'))
                      .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                      .arg(seconds % 60, 2, 10, QLatin1Char('0')));
    std::uniform_int_distribution<int> reading(0, 2000);
    for (int ch = 0; ch < kChannels; ++ch) {
        row.push_back(gases[ch]);
        row.push_back(QStringLiteral("%1").arg(reading(random) / 10.0, 6, 'f', 1));
        row.push_back(units[ch]);
    }
    return row;
}

QByteArray dayWorkbook(int rows) {
    std::mt19937 random(7);
    xls::Book book;
    book.sheets.push_back({QStringLiteral("Storage"), {headerRow()}});
    for (int r = 0; r < rows; ++r)
        book.sheets[0].rows.push_back(recordRow(r, random));
    return xls::serialize(book);
}

void reportPeak(benchmark::State& state, const QByteArray& file) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["file_MB"] = static_cast<double>(file.size()) / (1024.0 * 1024.0);
}

void BM_Parse(benchmark::State& state) {
    const QByteArray file = dayWorkbook(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        xls::Book book = xls::parse(file);
        benchmark::DoNotOptimize(book);
    }
    reportPeak(state, file);
}

void BM_Serialize(benchmark::State& state) {
    const QByteArray file = dayWorkbook(static_cast<int>(state.range(0)));
    const xls::Book book = xls::parse(file);
    for (auto _ : state) {
        QByteArray out = xls::serialize(book);
        benchmark::DoNotOptimize(out);
    }
    reportPeak(state, file);
}

// One export batch: parse, append 1000 rows, serialize.
void BM_ExportCycle(benchmark::State& state) {
    const QByteArray file = dayWorkbook(static_cast<int>(state.range(0)));
    std::mt19937 random(11);
    std::vector<std::vector<QString>> batch;
    for (int r = 0; r < kBatchRows; ++r)
        batch.push_back(recordRow(static_cast<int>(state.range(0)) + r, random));
    for (auto _ : state) {
        xls::Book book = xls::parse(file);
        auto& rows = book.sheets[0].rows;
        rows.insert(rows.end(), batch.begin(), batch.end());
        QByteArray out = xls::serialize(book);
        benchmark::DoNotOptimize(out);
    }
    reportPeak(state, file);
}

} // namespace

BENCHMARK(BM_Parse)->Arg(0)->Arg(10000)->Arg(30000)->Arg(60000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Serialize)->Arg(0)->Arg(10000)->Arg(30000)->Arg(60000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportCycle)
    ->Arg(0)
    ->Arg(10000)
    ->Arg(30000)
    ->Arg(60000)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
