// The Records window offscreen on day workbooks written by the program's own export: the list
// of the record folder, the chart's lines, names and points, legend toggling, alarm levels,
// hover readout and table, the exports, and a file that is no record workbook.
#include "eventwait.h"

#include "app/recordswindow/recordschartview.h"
#include "app/recordswindow/recordswindow.h"
#include "export/recordexporter.h"
#include "model/recordstore.h"
#include "records/recordshape.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <cmath>

namespace {

const char* const kGases[] = {"CO      ", "H2S     ", "O2      ",
                              "EX      ", "NO2     ", "SO2     "};
const char* const kUnits[] = {"PPM", "PPM", "%VOL", "%LEL", "PPM", "PPM"};

// Downloads of `records` records as the export writes them, in batches of up to 1000: three
// seconds apart from 08:00:00; channel 2 measures CO from record 100 on; channel 1 reads "----"
// every 50th record.
void exportDay(const QString& folder, const QDate& date, int channels, int records) {
    RecordExporter exporter(folder, [date] { return date; });
    RecordStore store;
    int row = 0;
    for (int n = 0; n < records; ++n) {
        const int seconds = 8 * 3600 + 3 * n;
        store.setCell(0, quint32(row),
                      QString::asprintf("%04d-%02d-%02d  %02d:%02d:%02d", date.year(), date.month(),
                                        date.day(), seconds / 3600, seconds / 60 % 60,
                                        seconds % 60));
        for (int ch = 1; ch <= channels; ++ch) {
            const bool co = ch == 2 && n >= 100;
            store.setCell(ch, quint32(row), QString::fromLatin1(co ? kGases[0] : kGases[ch - 1]));
            store.setCell(6 + ch, quint32(row),
                          ch == 1 && n % 50 == 49
                              ? QStringLiteral("----")
                              : QString::asprintf("%5.1f", double((n * ch) % 97) + ch));
            store.setCell(12 + ch, quint32(row), QString::fromLatin1(kUnits[ch - 1]));
        }
        if (++row == 1000 || n == records - 1) {
            if (!exporter.exportBatch(channels == 6 ? ChannelLayout::Six : ChannelLayout::Four,
                                      store, quint32(row))) {
                qFatal("export failed: %s", qPrintable(exporter.lastFailure().reason));
            }
            row = 0;
        }
    }
}

QStringList listed(const QTreeWidget& list, int column) {
    QStringList texts;
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        texts << list.topLevelItem(i)->text(column);
    }
    return texts;
}

bool waitShown(RecordsWindow& window, const QString& fileName) {
    const bool shown = waitUntil(
        [&] { return !window.isLoading() && window.shownPath().endsWith(fileName); }, 20000);
    // The chart lays its legend out once the event loop runs.
    QTest::qWait(50);
    return shown;
}

} // namespace

class RecordsWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void listsTheFolderNewestFirstAndShowsTheNewestDay();
    void legendEntriesHideAndShowTheirLines();
    void alarmLevelsAreDashedLinesOfTheChannel();
    void hoverReadsOutTheNearestReadingAndScrollsTheTable();
    void exportsTheChartAndTheRecords();
    void aFileThatIsNoRecordWorkbookLeavesTheShownRecords();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<RecordsWindow> m_window;
};

void RecordsWindowTest::initTestCase() {
    exportDay(m_dir.path(), QDate(2025, 3, 6), 4, 40);
    exportDay(m_dir.path(), QDate(2025, 3, 7), 6, 1500);
    m_window = std::make_unique<RecordsWindow>(m_dir.path());
    m_window->resize(1000, 700);
    m_window->show();
    QVERIFY(waitShown(*m_window, QStringLiteral("C6-25-03-07.xls")));
}

void RecordsWindowTest::listsTheFolderNewestFirstAndShowsTheNewestDay() {
    RecordsWindow& w = *m_window;
    QTreeWidget& list = *w.fileList();
    QVERIFY(waitUntil([&] { return !listed(list, 1).contains(QStringLiteral("...")); }, 10000));
    QCOMPARE(listed(list, 2),
             QStringList({QStringLiteral("C6-25-03-07.xls"), QStringLiteral("C4-25-03-06.xls")}));
    QCOMPARE(listed(list, 0),
             QStringList({QStringLiteral("2025-03-07"), QStringLiteral("2025-03-06")}));
    QCOMPARE(listed(list, 1), QStringList({QStringLiteral("1500"), QStringLiteral("40")}));
    QCOMPARE(list.currentItem()->text(2), QStringLiteral("C6-25-03-07.xls"));

    const RecordShape& shape = *w.shape();
    QStringList names;
    for (const RecordSeries& s : shape.series) {
        names << s.name;
    }
    QCOMPARE(names, QStringList({"CH1 CO PPM", "CH2 H2S PPM", "CH2 CO PPM", "CH3 O2 %VOL",
                                 "CH4 EX %LEL", "CH5 NO2 PPM", "CH6 SO2 PPM"}));
    QCOMPARE(shape.series[0].points.size(), size_t(1500 - 30));
    QCOMPARE(shape.series[1].points.size(), size_t(100));
    QCOMPARE(shape.series[2].points.size(), size_t(1400));
    QCOMPARE(w.statusText(),
             QStringLiteral("C6-25-03-07.xls: 1500 records, 7 lines, 30 readings not numeric"));

    // Qt Charts gets one legend entry per line, named alike, and per pixel column at most the
    // lowest and highest reading.
    RecordsChartView& chart = *w.chartView();
    QStringList legend;
    for (QLegendMarker* marker : chart.chart()->legend()->markers()) {
        if (marker->isVisible()) {
            legend << marker->label();
        }
    }
    QCOMPARE(legend, names);
    const int columns = int(chart.chart()->plotArea().width());
    for (int i = 0; i < int(shape.series.size()); ++i) {
        QVERIFY(chart.drawnPointCount(i) > 0);
        QVERIFY2(chart.drawnPointCount(i) <= 2 * columns + 2,
                 qPrintable(QString::number(chart.drawnPointCount(i))));
    }
    // Zoomed in on a minute, every reading of it is drawn.
    chart.setTimeRange(shape.series[3].points[200].time, shape.series[3].points[219].time);
    QCOMPARE(chart.drawnPointCount(3), 22); // 20 inside, one beyond each edge
    chart.resetView();
    QCOMPARE(w.tableView()->model()->rowCount(), 1500);
    QCOMPARE(w.tableView()->model()->index(0, 0).data().toString(),
             QStringLiteral("2025-03-07  08:00:00"));

    // The older day, from the list.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.visualItemRect(list.topLevelItem(1)).center());
    QVERIFY(waitShown(w, QStringLiteral("C4-25-03-06.xls")));
    QCOMPARE(w.shape()->series.size(), size_t(4));
    QCOMPARE(w.shape()->series[0].name, QStringLiteral("CH1 CO PPM"));
    QCOMPARE(w.shape()->series[0].points.size(), size_t(40));
    QCOMPARE(w.chartView()->drawnPointCount(0), 40);
    w.openFile(m_dir.filePath(QStringLiteral("C6-25-03-07.xls")));
    QVERIFY(waitShown(w, QStringLiteral("C6-25-03-07.xls")));
}

void RecordsWindowTest::legendEntriesHideAndShowTheirLines() {
    RecordsChartView& chart = *m_window->chartView();
    QLegendMarker* marker = chart.chart()->legend()->markers(chart.legendSeries(1)).value(0);
    QVERIFY(marker);
    emit marker->clicked();
    QVERIFY(!chart.isSeriesShown(1));
    QCOMPARE(chart.drawnPointCount(1), 0);
    // The entry stays, dimmed, to show the line again.
    QVERIFY(marker->isVisible());
    QVERIFY(marker->labelBrush().color().alphaF() < 0.5);
    QVERIFY(chart.isSeriesShown(2));
    QVERIFY(chart.drawnPointCount(2) > 0);
    emit marker->clicked();
    QVERIFY(chart.isSeriesShown(1));
    QVERIFY(chart.drawnPointCount(1) > 0);
    QCOMPARE(marker->labelBrush().color().alphaF(), 1.0);
}

void RecordsWindowTest::alarmLevelsAreDashedLinesOfTheChannel() {
    RecordsWindow& w = *m_window;
    RecordsChartView& chart = *w.chartView();
    const auto levels = [&](int series) {
        std::vector<double> drawn = chart.drawnAlarmLevels(series);
        for (double& level : drawn) {
            level = std::round(level * 1000) / 1000;
        }
        return drawn;
    };
    QCOMPARE(levels(0).size(), size_t(0));
    w.setAlarmSource([] {
        return std::vector<ChannelAlarm>{{1, QStringLiteral("CO"), QStringLiteral("PPM"), 35, 200},
                                         {2, QStringLiteral("H2S"), QStringLiteral("PPM"), 10, 15}};
    });
    QVERIFY(waitUntil([&] { return !levels(0).empty(); }, 2000));
    QCOMPARE(levels(0), (std::vector<double>{35, 200}));
    QCOMPARE(levels(1), (std::vector<double>{10, 15}));
    // The CO line of channel 2 gets none: the levels were reported for H2S.
    QCOMPARE(levels(2).size(), size_t(0));
    QVERIFY(!w.shape()->series[2].lowAlarm);
    // The levels go and come with their line; the highest stays in view.
    QVERIFY(chart.timeRange().second > 0);
    chart.setSeriesShown(0, false);
    QCOMPARE(levels(0).size(), size_t(0));
    chart.setSeriesShown(0, true);
    QCOMPARE(levels(0).size(), size_t(2));
}

void RecordsWindowTest::hoverReadsOutTheNearestReadingAndScrollsTheTable() {
    RecordsWindow& w = *m_window;
    RecordsChartView& chart = *w.chartView();
    QSignalSpy hovered(&chart, &RecordsChartView::hovered);
    const RecordPoint& target = w.shape()->series[3].points[750];
    // Middle of the plot: some reading near the middle of the day is read out.
    const QRectF plot = chart.chart()->plotArea();
    const QPoint middle = chart.mapFromScene(chart.chart()->mapToScene(plot.center()));
    QTest::mouseMove(chart.viewport(), middle);
    QVERIFY(waitUntil([&] { return !hovered.isEmpty(); }, 2000));
    const auto* readout = w.findChild<QLabel*>(QStringLiteral("readout"));
    QVERIFY(readout->text().startsWith(QStringLiteral("2025-03-07  ")));
    const QModelIndexList selected = w.tableView()->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QVERIFY(qAbs(selected.first().row() - target.record) < 150);
    const QRect visible = w.tableView()->viewport()->rect();
    QVERIFY(visible.intersects(w.tableView()->visualRect(selected.first())));
}

void RecordsWindowTest::exportsTheChartAndTheRecords() {
    RecordsWindow& w = *m_window;
    QString failure;
    const QString png = m_dir.filePath(QStringLiteral("chart.png"));
    QVERIFY2(w.exportChartImage(png, failure), qPrintable(failure));
    QImage image(png);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), w.chartView()->size() * w.chartView()->devicePixelRatio());
    const QString svg = m_dir.filePath(QStringLiteral("chart.svg"));
    QVERIFY2(w.exportChartImage(svg, failure), qPrintable(failure));
    QFile svgFile(svg);
    QVERIFY(svgFile.open(QIODevice::ReadOnly));
    const QByteArray drawing = svgFile.readAll();
    QVERIFY(drawing.contains("<svg"));
    // A drawing of the chart's size, its lines as vector paths.
    QVERIFY(drawing.contains(QStringLiteral("viewBox=\"0 0 %1 %2\"")
                                 .arg(w.chartView()->width())
                                 .arg(w.chartView()->height())
                                 .toLatin1()));
    QVERIFY(drawing.count("<polyline") >= 7); // at least one per line of the chart

    QSignalSpy exported(&w, &RecordsWindow::csvExported);
    const QString csv = m_dir.filePath(QStringLiteral("records.csv"));
    w.exportCsv(csv);
    QVERIFY(exported.wait(20000));
    QCOMPARE(exported.first().at(1).toString(), QString());
    QFile csvFile(csv);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csvFile.readAll().split('\n');
    QCOMPARE(lines.size(), 1500 + 2); // header, records, and the empty rest after the last end
    QCOMPARE(lines[0], QByteArray("Time,CH1 Gas,CH1 Conc,CH1 Unit,CH2 Gas,CH2 Conc,CH2 Unit,"
                                  "CH3 Gas,CH3 Conc,CH3 Unit,CH4 Gas,CH4 Conc,CH4 Unit,CH5 Gas,"
                                  "CH5 Conc,CH5 Unit,CH6 Gas,CH6 Conc,CH6 Unit\r"));
    QVERIFY(lines[1].startsWith("2025-03-07T08:00:00,CO,1.0,PPM,H2S,2.0,PPM,"));
    QVERIFY(lines[50].startsWith("2025-03-07T08:02:27,CO,----,PPM,"));
    QVERIFY(w.statusText().startsWith(QStringLiteral("Records saved as ")));
}

void RecordsWindowTest::aFileThatIsNoRecordWorkbookLeavesTheShownRecords() {
    RecordsWindow& w = *m_window;
    const QString shown = w.shownPath();
    const RecordShape* shape = w.shape();
    const qsizetype drawn = w.chartView()->drawnPointCount(0);
    const QString broken = m_dir.filePath(QStringLiteral("broken.xls"));
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("this is no workbook");
    file.close();

    QSignalSpy refused(&w, &RecordsWindow::fileRefused);
    w.openFile(broken);
    QVERIFY(refused.wait(10000));
    QVERIFY(w.statusText().contains(QStringLiteral("cannot be read as an Excel 97-2003 workbook")));
    QVERIFY(!w.statusText().contains(u'\n'));
    QCOMPARE(w.shownPath(), shown);
    QCOMPARE(w.shape(), shape);
    QCOMPARE(w.chartView()->drawnPointCount(0), drawn);
    QCOMPARE(w.tableView()->model()->rowCount(), 1500);
    QCOMPARE(w.fileList()->currentItem()->text(2), QStringLiteral("C6-25-03-07.xls"));
    QFile again(broken);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), QByteArray("this is no workbook"));

    // A record folder without day workbooks (none downloaded yet) says so.
    QTemporaryDir empty;
    RecordsWindow fresh(empty.filePath(QStringLiteral("TRELLMO_RECORD_DATA")));
    QVERIFY(fresh.statusText().startsWith(QStringLiteral("No day workbooks in ")));
    QVERIFY(!fresh.isLoading());
    QVERIFY(!QFileInfo::exists(empty.filePath(QStringLiteral("TRELLMO_RECORD_DATA"))));

    if (!qEnvironmentVariableIsEmpty("TRELLMO_RECORDS_SCREENSHOT")) {
        w.grab().save(qEnvironmentVariable("TRELLMO_RECORDS_SCREENSHOT"));
    }
}

QTEST_MAIN(RecordsWindowTest)
#include "tst_recordswindow.moc"
