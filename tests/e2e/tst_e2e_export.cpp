// Downloaded records in the day's workbook, read back by xlrd: header and cells character for
// character (trailing spaces of gas names, leading spaces of readings, the two spaces in the
// time), a new workbook for a new day, appending on the same day; Open folder.
#include "controls.h"
#include "expectedtexts.h"
#include "instrumentrig.h"
#include "stallwatch.h"
#include "workbookreaders.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QTest>
#include <QUrl>

namespace {

// The "Storage" sheet's rows as xlrd reads them; a text naming the problem when it can't.
QList<QStringList> storageRows(const QString& path, QString& problem) {
    const ReadBook book = readWithXlrd(path);
    problem = book.error;
    const ReadSheet* sheet = book.sheet(QStringLiteral("Storage"));
    if (problem.isEmpty() && sheet == nullptr) {
        problem = QStringLiteral("no sheet \"Storage\" in ") + path;
    }
    return sheet != nullptr ? sheet->rows : QList<QStringList>();
}

QList<QStringList> expectedSheet(const SimulatorConfig& config, quint32 first, quint32 last) {
    QList<QStringList> rows{expectedCaptions(config.channels)};
    for (quint32 n = first; n <= last; ++n) {
        rows << expectedSheetRow(config, n);
    }
    return rows;
}

} // namespace

class ExportTest : public QObject {
    Q_OBJECT
public slots:
    void openUrl(const QUrl& url) { m_opened << url; }

private slots:
    void fourChannelRecordsFillTheDaysWorkbookAndANewDayStartsAnother();
    void sixChannelRecordsOfTheSameDayAppendBelowTheHeader();

private:
    QList<QUrl> m_opened;
};

void ExportTest::fourChannelRecordsFillTheDaysWorkbookAndANewDayStartsAnother() {
    SimulatorConfig config;
    config.recordCount = 45;
    for (int attempt = 1;; ++attempt) {
        InstrumentRig rig(config);

        // Open folder before any export shows the folder and leaves it uncreated.
        m_opened.clear();
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
        rig.window.press(ControlId::OpenFolder);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(rig.recordFolder())});
        QVERIFY(!QFileInfo::exists(rig.recordFolder()));

        StallWatch watch;
        QVERIFY(rig.openPort());
        QVERIFY(rig.readParameter());
        rig.pressDownload();
        QVERIFY(rig.waitForDownload(10000));

        // The next day's download (a larger total reported by a new read) starts that day's
        // workbook with its own header.
        rig.today = rig.today.addDays(1);
        rig.sim.config().recordCount = 70;
        QVERIFY(rig.readParameter());
        rig.pressDownload();
        QVERIFY(rig.waitForDownload(10000));

        QString problem;
        const QList<QStringList> first =
            storageRows(rig.recordWorkbook(QStringLiteral("C4-25-03-07.xls")), problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        const QList<QStringList> second =
            storageRows(rig.recordWorkbook(QStringLiteral("C4-25-03-08.xls")), problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        const bool exact =
            first == expectedSheet(config, 1, 45) && second == expectedSheet(config, 46, 70);
        if (watch.retry(exact, attempt)) {
            continue;
        }
        QCOMPARE(first.value(0), expectedCaptions(4));
        QCOMPARE(first.value(1).value(0), QStringLiteral("2025-02-02  01:00:07"));
        QCOMPARE(first.value(1).value(1), QStringLiteral("CO      "));
        QCOMPARE(first.value(1).value(2), QStringLiteral("   42"));
        QCOMPARE(first, expectedSheet(config, 1, 45));
        QCOMPARE(second, expectedSheet(config, 46, 70));
        QCOMPARE(rig.window.messages.count(), 0);
        return;
    }
}

void ExportTest::sixChannelRecordsOfTheSameDayAppendBelowTheHeader() {
    SimulatorConfig config = SimulatorConfig::sixChannels();
    config.recordCount = 40;
    for (int attempt = 1;; ++attempt) {
        InstrumentRig rig(config);
        StallWatch watch;
        QVERIFY(rig.openPort());
        QVERIFY(rig.readParameter());
        rig.pressDownload();
        QVERIFY(rig.waitForDownload(10000));
        rig.sim.config().recordCount = 60;
        QVERIFY(rig.readParameter());
        rig.pressDownload();
        QVERIFY(rig.waitForDownload(10000));

        QString problem;
        const QList<QStringList> rows =
            storageRows(rig.recordWorkbook(QStringLiteral("C6-25-03-07.xls")), problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        if (watch.retry(rows == expectedSheet(config, 1, 60), attempt)) {
            continue;
        }
        QCOMPARE(rows.value(0).size(), 19);
        QCOMPARE(rows.value(0).last(), QStringLiteral("CH6 Unit"));
        QCOMPARE(rows, expectedSheet(config, 1, 60));
        QVERIFY(!QFileInfo::exists(rig.recordWorkbook(QStringLiteral("C4-25-03-07.xls"))));
        QCOMPARE(rig.window.messages.count(), 0);
        return;
    }
}

QTEST_MAIN(ExportTest)
#include "tst_e2e_export.moc"
