// A download across the 1000-record batch boundary while the record folder can't be made (a
// file of its name is in the way): one message naming the workbook; once the way is clear, the
// end of the download writes every record, none lost and none twice.
#include "eventwait.h"
#include "expectedtexts.h"
#include "instrumentrig.h"
#include "stallwatch.h"
#include "workbookreaders.h"

#include "app/mainwindow/trellmodlg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

class ExportFailureTest : public QObject {
    Q_OBJECT
private slots:
    void blockedFolderIsReportedOnceAndTheBatchIsWrittenLater();
};

void ExportFailureTest::blockedFolderIsReportedOnceAndTheBatchIsWrittenLater() {
    // 20 records a second: about 51 s for the download.
    constexpr quint32 kRecords = 1010;
    SimulatorConfig config;
    config.recordCount = kRecords;
    InstrumentRig rig(config);
    const QString workbook = rig.recordWorkbook(QStringLiteral("C4-25-03-07.xls"));
    {
        QFile blocker(rig.recordFolder());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write("not a folder");
    }
    StallWatch watch;
    QVERIFY(rig.openPort());
    QVERIFY(rig.readParameter());
    // The last record waits until the folder is back, whatever the pace of the download.
    rig.sim.faultRecord(kRecords, SimFault::noAnswer(), 1 << 30);
    rig.pressDownload();

    // The batch due at record 1000 fails; the user hears of it once, with the workbook named.
    QVERIFY(waitUntil([&] { return rig.sim.recordRequests().contains(1002u); }, 90000));
    rig.window.settle();
    QCOMPARE(rig.window.messages.count(), 1);
    const QString message = rig.window.messages.texts().first();
    QVERIFY2(message.contains(QDir::toNativeSeparators(workbook)), qPrintable(message));
    QVERIFY(QFileInfo(rig.recordFolder()).isFile());

    QVERIFY(QFile::remove(rig.recordFolder()));
    rig.sim.clearFaults();
    QVERIFY(rig.waitForDownload(10000));
    QCOMPARE(rig.window.messages.count(), 1);

    const ReadBook book = readWithXlrd(workbook);
    QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
    const ReadSheet* sheet = book.sheet(QStringLiteral("Storage"));
    QVERIFY(sheet != nullptr);
    QCOMPARE(sheet->rows.size(), qsizetype(kRecords + 1));
    QCOMPARE(sheet->rows.first(), expectedCaptions(4));
    for (quint32 n = 1; n <= kRecords; ++n) {
        QVERIFY2(sheet->rows[n] == expectedSheetRow(config, n),
                 qPrintable(QStringLiteral("record %1 (event loop stalled up to %2 ms)")
                                .arg(n)
                                .arg(watch.worstLatenessMs())));
    }
    QCOMPARE(rig.dlg().link().state().storeRow, 0u);
}

QTEST_MAIN(ExportFailureTest)
#include "tst_e2e_exportfailure.moc"
