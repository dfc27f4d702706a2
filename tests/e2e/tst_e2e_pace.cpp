// The download at the pace of the line, through the real main window against an instrument timed
// like the cable: slow instruments get every record once, one that cannot keep up goes on at one
// request per tick with one notice, and Close Port, pulling the cable and Exit in the middle of
// a fast download leave nothing polled and nothing lost.
#include "controls.h"
#include "eventwait.h"
#include "expectedtexts.h"
#include "instrumentrig.h"
#include "workbookreaders.h"

#include "app/mainwindow/linknotice.h"
#include "app/mainwindow/trellmodlg.h"
#include "export/recordexporter.h"
#include "model/recordstore.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

namespace {

SimulatorConfig lineTimed(quint32 records, double thinkMs = 3.0) {
    SimulatorConfig config;
    config.lineTiming = true;
    config.thinkMs = thinkMs;
    config.recordCount = records;
    return config;
}

// The workbook's rows below the captions, as xlrd reads them.
QList<QStringList> sheetRows(const InstrumentRig& rig) {
    const ReadBook book = readWithXlrd(rig.recordWorkbook(QStringLiteral("C4-25-03-07.xls")));
    const ReadSheet* sheet = book.sheet(QStringLiteral("Storage"));
    return sheet == nullptr ? QList<QStringList>() : sheet->rows.mid(1);
}

QList<QStringList> expectedSheetRows(const SimulatorConfig& config, quint32 count) {
    QList<QStringList> rows;
    for (quint32 n = 1; n <= count; ++n) {
        rows << expectedSheetRow(config, n);
    }
    return rows;
}

bool askedInOrder(const QList<quint32>& asked) {
    for (qsizetype i = 1; i < asked.size(); ++i) {
        if (asked[i] != asked[i - 1] && asked[i] != asked[i - 1] + 1) {
            return false;
        }
    }
    return true;
}

} // namespace

class PaceTest : public QObject {
    Q_OBJECT
private slots:
    void slowInstrumentsGetEveryRecordOnce();
    void instrumentThatCannotKeepUpGoesOnAtTheTickPaceWithOneNotice();
    void closePortUnplugAndExitInTheMiddleLoseNothing();
    void aLongWorkbookWriteIsOneGapInTheRequests();
};

void PaceTest::slowInstrumentsGetEveryRecordOnce() {
    for (const double thinkMs : {40.0, 120.0}) {
        const SimulatorConfig config = lineTimed(25, thinkMs);
        InstrumentRig rig(config);
        QVERIFY(rig.openPort());
        QVERIFY(rig.readParameter());
        for (int channel = 1; channel <= 4; ++channel) {
            QCOMPARE(rig.tableRow(channel - 1), expectedChannelRow(config, channel));
        }
        rig.sim.clearLog();
        rig.pressDownload();
        QVERIFY(rig.waitForDownload(20000));
        QCOMPARE(rig.storedRows(25), rig.expectedStoreRows(1, 25));
        const QList<quint32> asked = rig.sim.recordRequests();
        QVERIFY(askedInOrder(asked));
        // Its answer time is known from the parameter read: no repeat is needed.
        QVERIFY2(asked.size() <= 27,
                 qPrintable(QStringLiteral("%1 requests at %2 ms").arg(asked.size()).arg(thinkMs)));
        QCOMPARE(rig.dlg().link().tickPaceSince(), 0u);
        QCOMPARE(sheetRows(rig), expectedSheetRows(config, 25));
    }
}

void PaceTest::instrumentThatCannotKeepUpGoesOnAtTheTickPaceWithOneNotice() {
    const SimulatorConfig config = lineTimed(60);
    InstrumentRig rig(config);
    QVERIFY(rig.openPort());
    QVERIFY(rig.readParameter());
    auto* notice = rig.dlg().findChild<LinkNotice*>(QStringLiteral("linkNotice"));
    QStringList shown;
    connect(notice, &LinkNotice::changed, this, [&](const QString& text) { shown << text; });
    // From here it drops every answer that follows its previous one by less than 20 ms.
    rig.sim.config().minAnswerSpacingMs = 20;
    rig.sim.clearLog();
    rig.pressDownload();
    QVERIFY(rig.waitForDownload(30000));
    QCOMPARE(rig.storedRows(60), rig.expectedStoreRows(1, 60));
    QCOMPARE(sheetRows(rig), expectedSheetRows(config, 60));
    const quint32 since = rig.dlg().link().tickPaceSince();
    QVERIFY2(since > 0 && since < 20, qPrintable(QString::number(since)));
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown.first().contains(QStringLiteral("from record %1 on").arg(since)),
             qPrintable(shown.first()));
    QCOMPARE(notice->text(), shown.first());
    // After it, one request per 50 ms tick: a late tick may come close to the next one, but
    // the requests after the switch cannot take less time than their ticks.
    const QList<SimRequest>& requests = rig.sim.requests();
    qsizetype first = 0;
    while (first < requests.size() && requests[first].recordNumber <= since) {
        ++first;
    }
    const qsizetype ticked = requests.size() - 1 - first;
    QVERIFY(ticked > 20);
    QVERIFY2(requests.last().atMs - requests[first].atMs >= ticked * 40,
             qPrintable(QStringLiteral("%1 requests in %2 ms")
                            .arg(ticked)
                            .arg(requests.last().atMs - requests[first].atMs)));
    QVERIFY(askedInOrder(rig.sim.recordRequests()));
    QCOMPARE(rig.window.messages.count(), 0);
}

void PaceTest::closePortUnplugAndExitInTheMiddleLoseNothing() {
    const SimulatorConfig config = lineTimed(300);
    {
        InstrumentRig rig(config);
        QVERIFY(rig.openPort());
        QVERIFY(rig.readParameter());
        rig.sim.clearLog();
        rig.pressDownload();
        QVERIFY(waitUntil([&] { return rig.sim.recordRequests().size() >= 120; }, 10000));
        rig.window.press(ControlId::OpenPort); // "Close Port"
        const qsizetype askedAtClose = rig.sim.requests().size();
        runEventLoopFor(300);
        QCOMPARE(rig.sim.requests().size(), askedAtClose);
        QVERIFY(rig.openPort());
        rig.pressDownload();
        QVERIFY(rig.waitForDownload(20000));
        QCOMPARE(rig.storedRows(300), rig.expectedStoreRows(1, 300));
        QVERIFY(askedInOrder(rig.sim.recordRequests()));
        QCOMPARE(sheetRows(rig), expectedSheetRows(config, 300));
        QCOMPARE(rig.window.messages.count(), 0);
    }
    {
        // Pulled at 41 % while another adapter is plugged in; plugged in again, the port
        // comes back selected, and Download Data goes on from the next record.
        InstrumentRig rig(config);
        QVERIFY(rig.window.devices.add(QStringLiteral("ttyUSB1")) != nullptr);
        QVERIFY(waitUntil([&] { return rig.window.combo()->count() == 2; }, 5000));
        QVERIFY(rig.openPort());
        QVERIFY(rig.readParameter());
        rig.pressDownload();
        QVERIFY(waitUntil([&] { return rig.dlg().link().state().recordIndex >= 123; }, 10000));
        rig.sim.hangUp();
        rig.window.devices.unlink(QStringLiteral("ttyUSB0")); // its device node goes away
        QVERIFY(waitUntil([&] { return rig.window.messages.count() > 0; }, 5000));
        const PollState& state = rig.dlg().link().state();
        const quint32 taken = state.recordIndex - state.awaitingRecord;
        const QString message = rig.window.messages.texts().first();
        QVERIFY2(message.contains(QStringLiteral("after %1 of 300 records").arg(taken)) &&
                     message.contains(
                         QStringLiteral("Download Data to go on from record %1").arg(taken + 1)),
                 qPrintable(message));
        QVERIFY(waitUntil([&] { return rig.window.combo()->currentText() == "COM2"; }, 5000));

        InstrumentSimulator again(config);
        QVERIFY(again.linkAs(rig.window.devices.path(), QStringLiteral("ttyUSB0")));
        QVERIFY(waitUntil([&] { return rig.window.combo()->currentText() == "COM1"; }, 5000));
        QVERIFY(rig.openPort());
        rig.pressDownload();
        QVERIFY(rig.waitForDownload(20000));
        QCOMPARE(again.recordRequests().first(), taken + 1);
        QCOMPARE(rig.storedRows(300), rig.expectedStoreRows(1, 300));
        QCOMPARE(sheetRows(rig), expectedSheetRows(config, 300));
        QCOMPARE(rig.window.messages.count(), 1);
    }
    {
        InstrumentRig rig(config);
        QVERIFY(rig.openPort());
        QVERIFY(rig.readParameter());
        rig.pressDownload();
        QVERIFY(waitUntil([&] { return rig.sim.recordRequests().size() >= 100; }, 10000));
        rig.window.press(ControlId::Exit);
        QVERIFY(!rig.dlg().isVisible());
        // What was taken when the user left is on disk, in order, once.
        const PollState& state = rig.dlg().link().state();
        const quint32 taken = state.recordIndex - state.awaitingRecord;
        const qsizetype askedAtExit = rig.sim.requests().size();
        runEventLoopFor(300);
        QCOMPARE(rig.sim.requests().size(), askedAtExit);
        QVERIFY(taken >= 99);
        QCOMPARE(sheetRows(rig), expectedSheetRows(config, taken));
    }
}

QTEST_MAIN(PaceTest)
// The batch of 1000 is written on the window's thread after its last answer was taken: into a
// day workbook of 60,000 records that takes about 0.15 s, during which no request is out. The
// next request simply goes out after it: nothing asked twice, nothing lost.
void PaceTest::aLongWorkbookWriteIsOneGapInTheRequests() {
    SimulatorConfig config;
    config.recordCount = 1500;
    InstrumentRig rig(config);
    {
        RecordStore store;
        for (quint32 n = 1; n <= 60000; ++n) {
            const QStringList row = expectedStoreRow(config, n % 1500 + 1);
            for (int column = 0; column < row.size(); ++column) {
                store.setCell(column, n - 1, row[column]);
            }
        }
        RecordExporter exporter(rig.recordFolder(), [] { return QDate(2025, 3, 7); });
        QVERIFY(exporter.exportBatch(ChannelLayout::Four, store, 60000));
    }
    QVERIFY(rig.openPort());
    QVERIFY(rig.readParameter());
    rig.sim.clearLog();
    rig.pressDownload();
    QVERIFY(rig.waitForDownload(60000));
    const QList<quint32> asked = rig.sim.recordRequests();
    QCOMPARE(asked.count(1000), 1);
    QCOMPARE(asked.count(1001), 1);
    QCOMPARE(rig.dlg().link().tickPaceSince(), 0u);
    QCOMPARE(sheetRows(rig).mid(60000), expectedSheetRows(config, 1500));
}

#include "tst_e2e_pace.moc"
