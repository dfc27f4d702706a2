// Speed of reading and writing the day's record workbook: one export batch parses the file,
// appends 1000 rows of 19 cells and writes it again. Run with --benchmark_counters_tabular=true;
// the peak_rss_MB counter is the process's peak so far, so run one size per process
// (--benchmark_filter=/60000) to read the peak of that size.
#include "spreadsheet/xls/cfbwriter.h"
#include "spreadsheet/xls/xlsbook.h"

#include <QtEndian>

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
    for (int r = 0; r < rows; ++r) {
        book.sheets[0].rows.push_back(recordRow(r, random));
    }
    return xls::serialize(book);
}

void reportPeak(benchmark::State& state, const QByteArray& file) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["file_MB"] = static_cast<double>(file.size()) / (1024.0 * 1024.0);
}

void bmParse(benchmark::State& state) {
    const QByteArray file = dayWorkbook(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        xls::Book book = xls::parse(file);
        benchmark::DoNotOptimize(book);
    }
    reportPeak(state, file);
}

void bmSerialize(benchmark::State& state) {
    const QByteArray file = dayWorkbook(static_cast<int>(state.range(0)));
    const xls::Book book = xls::parse(file);
    for (auto _ : state) {
        QByteArray out = xls::serialize(book);
        benchmark::DoNotOptimize(out);
    }
    reportPeak(state, file);
}

// One export batch: parse, append 1000 rows, serialize.
void bmExportCycle(benchmark::State& state) {
    const QByteArray file = dayWorkbook(static_cast<int>(state.range(0)));
    std::mt19937 random(11);
    std::vector<std::vector<QString>> batch;
    for (int r = 0; r < kBatchRows; ++r) {
        batch.push_back(recordRow(static_cast<int>(state.range(0)) + r, random));
    }
    for (auto _ : state) {
        xls::Book book = xls::parse(file);
        auto& rows = book.sheets[0].rows;
        rows.insert(rows.end(), batch.begin(), batch.end());
        QByteArray out = xls::serialize(book);
        benchmark::DoNotOptimize(out);
    }
    reportPeak(state, file);
}

// Crafted files of about 66 KB beside a genuine day workbook of that size: reading or refusing
// any of them must take no longer than reading the genuine one.
QByteArray record(uint16_t type, const QByteArray& data) {
    QByteArray out(4, '\0');
    qToLittleEndian<uint16_t>(type, out.data());
    qToLittleEndian<uint16_t>(static_cast<uint16_t>(data.size()), out.data() + 2);
    return out + data;
}

QByteArray le16(uint16_t v) {
    QByteArray out(2, '\0');
    qToLittleEndian(v, out.data());
    return out;
}

QByteArray le32(uint32_t v) {
    QByteArray out(4, '\0');
    qToLittleEndian(v, out.data());
    return out;
}

// A thousand sheets, each holding `sheetRecords` between its BOF and EOF.
QByteArray thousandSheets(const QByteArray& sheetRecords) {
    auto bof = [](uint16_t type) {
        return record(0x0809, le16(0x0600) + le16(type) + QByteArray(12, '\0'));
    };
    const QByteArray sst =
        record(0x00FC, le32(1) + le32(1) + le16(1) + QByteArray(1, '\0') + QByteArray("x"));
    constexpr int kSheets = 1000;
    const QByteArray sheet = bof(0x0010) + sheetRecords + record(0x000A, {});
    const qsizetype boundSize = 4 + 8 + 5;
    const qsizetype globals = bof(0x0005).size() + sst.size() + kSheets * boundSize + 4;
    QByteArray bounds;
    for (int i = 0; i < kSheets; ++i) {
        bounds += record(0x0085, le32(static_cast<uint32_t>(globals + i * sheet.size())) + le16(0) +
                                     QByteArray(1, '\5') + QByteArray(1, '\0') +
                                     QByteArray::number(10000 + i));
    }
    QByteArray stream = bof(0x0005) + sst + bounds + record(0x000A, {});
    for (int i = 0; i < kSheets; ++i) {
        stream += sheet;
    }
    return xls::writeCompoundFile(stream);
}

void bmReadOrRefuse(benchmark::State& state) {
    const QByteArray lastRow = le16(65535) + le16(0) + le16(15);
    QByteArray file;
    switch (state.range(0)) {
    case 0:
        file = dayWorkbook(220);
        state.SetLabel("genuine day workbook");
        break;
    case 1: // ROW records alone make no rows
        file = thousandSheets(
            record(0x0208, le16(65535) + le16(0) + le16(256) + QByteArray(10, '\0')));
        state.SetLabel("1000 sheets, a ROW record at row 65,536 each");
        break;
    case 2: // refused by the read budget
        file = thousandSheets(record(0x00FD, lastRow + le32(0)));
        state.SetLabel("1000 sheets, a cell at row 65,536 each (refused)");
        break;
    case 3: { // what the budget's fixed part allows: reads
        xls::Book book;
        for (const char* name : {"A", "B"}) {
            xls::Sheet sheet{QString::fromLatin1(name), {}};
            sheet.rows.resize(65536);
            sheet.rows.back().resize(256);
            sheet.rows.back().back() = QStringLiteral("x");
            book.sheets.push_back(std::move(sheet));
        }
        file = xls::serialize(book);
        state.SetLabel("genuine, 2 sheets with a cell at IV65536");
        break;
    }
    }
    for (auto _ : state) {
        try {
            xls::Book book = xls::parse(file);
            benchmark::DoNotOptimize(book);
        } catch (const xls::FormatError&) {
        }
    }
    reportPeak(state, file);
}

} // namespace

BENCHMARK(bmReadOrRefuse)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(bmParse)->Arg(0)->Arg(10000)->Arg(30000)->Arg(60000)->Unit(benchmark::kMillisecond);
BENCHMARK(bmSerialize)->Arg(0)->Arg(10000)->Arg(30000)->Arg(60000)->Unit(benchmark::kMillisecond);
BENCHMARK(bmExportCycle)->Arg(0)->Arg(10000)->Arg(30000)->Arg(60000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
