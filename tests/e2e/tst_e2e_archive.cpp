// The records archive through the real window against the simulated instrument, over several
// program runs sharing one record folder: one copy of every record in the workbook and in the
// archive, a grown memory fetched from where the archive ends (requests counted at the
// instrument), a cleared one fetched whole as a new memory.
#include "eventwait.h"
#include "expectedtexts.h"
#include "instrumentrig.h"
#include "workbookreaders.h"

#include "app/mainwindow/trellmodlg.h"
#include "app/recordswindow/recordswindow.h"
#include "archive/archiveservice.h"
#include "records/recordshape.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>

#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Rows of `sql` read with Python's own sqlite3 module, fields joined by "|".
QStringList sqliteRows(const QString& path, const QString& sql) {
    const QString script = QStringLiteral("import sqlite3, sys\n"
                                          "for row in sqlite3.connect(sys.argv[1]).execute("
                                          "sys.argv[2]):\n"
                                          "    print('|'.join(str(v) for v in row))\n");
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path, sql});
    python.waitForFinished(60000);
    return QString::fromUtf8(python.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

struct RunResult {
    QList<quint32> requests; // record numbers asked for during Download Data
    QString note;            // the line under the controls afterwards
};

// One program run: open, read parameters, Download Data, until the last record is taken (or
// nothing more is due), then the window is closed.
RunResult runOnce(const SimulatorConfig& config, const QString& folder) {
    RunResult result;
    InstrumentRig rig(config, [&](DialogSettings& s) { s.recordFolder = folder; });
    if (!rig.openPort() || !rig.readParameter()) {
        return result;
    }
    const bool done = rig.downloadThroughArchive();
    rig.window.settle();
    if (done) {
        result.requests = rig.sim.recordRequests();
        result.note = rig.dlg().findChild<QLabel*>(QStringLiteral("linkNotice"))->text();
    }
    rig.dlg().close();
    return result;
}

} // namespace

class ArchiveDownloadTest : public QObject {
    Q_OBJECT
private slots:
    void runTwiceKeepsOneCopyAndAGrownMemoryFetchesOnlyTheNewRecords();
    void aClearedMemoryIsFetchedWholeAsANewMemory();

private:
    QString archiveOf(const QString& folder) const {
        return folder + QStringLiteral("/trellmo-archive.sqlite");
    }
};

void ArchiveDownloadTest::runTwiceKeepsOneCopyAndAGrownMemoryFetchesOnlyTheNewRecords() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("TRELLMO_RECORD_DATA"));
    SimulatorConfig config;
    config.recordCount = 40;
    const RunResult first = runOnce(config, folder);
    QCOMPARE(first.requests.size(), 40);
    const RunResult second = runOnce(config, folder);
    // Record 1 and record 40 asked again to know the memory; nothing new.
    QCOMPARE(second.requests, (QList<quint32>{1, 40}));
    QVERIFY2(second.note.contains(QStringLiteral("No new records")), qPrintable(second.note));

    const QString workbook = folder + QStringLiteral("/C4-25-03-07.xls");
    ReadBook book = readWithXlrd(workbook);
    QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
    QCOMPARE(book.sheet(QStringLiteral("Storage"))->rows.size(), 41);
    QCOMPARE(sqliteRows(archiveOf(folder), QStringLiteral("SELECT COUNT(*) FROM records")),
             QStringList{QStringLiteral("40")});

    // What a reporting tool reads: the readings the instrument sent, scaled by the precision
    // of the parameter read (channel 2: code 1, tenths).
    const QStringList readings =
        sqliteRows(archiveOf(folder), QStringLiteral("SELECT instrument_id, record_number, "
                                                     "taken_at, channel, gas, unit, value "
                                                     "FROM record_readings WHERE channel = 2 "
                                                     "ORDER BY record_number"));
    QCOMPARE(readings.size(), 40);
    for (quint32 n = 1; n <= 40; ++n) {
        const SimRecord sent = simRecordOf(n);
        const auto& t = sent.time;
        const QString taken = QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", t[0] + 2000, t[1],
                                                t[2], t[3], t[4], t[5]);
        const QStringList row = readings[int(n - 1)].split(QLatin1Char('|'));
        QCOMPARE(row.mid(0, 6),
                 (QStringList{QStringLiteral("1"), QString::number(n), taken, QStringLiteral("2"),
                              expectedSheetRow(config, n)[4].trimmed(),
                              expectedSheetRow(config, n)[6].trimmed()}));
        QCOMPARE(row[6].toDouble(), sent.readings[1] / 10.0);
    }

    // The instrument took 25 more records: only those are asked for after the two checks.
    config.recordCount = 65;
    const RunResult grown = runOnce(config, folder);
    QList<quint32> expected{1, 40};
    for (quint32 n = 41; n <= 65; ++n) {
        expected << n;
    }
    QCOMPARE(grown.requests, expected);
    QVERIFY2(grown.note.contains(QStringLiteral("40 records are in the archive already")),
             qPrintable(grown.note));
    book = readWithXlrd(workbook);
    const ReadSheet* sheet = book.sheet(QStringLiteral("Storage"));
    QCOMPARE(sheet->rows.size(), 66);
    for (quint32 n = 1; n <= 65; ++n) {
        QCOMPARE(sheet->rows[int(n)], expectedSheetRow(config, n));
    }
    QCOMPARE(
        sqliteRows(archiveOf(folder), QStringLiteral("SELECT COUNT(*), COUNT(DISTINCT memory_id), "
                                                     "MAX(record_number) FROM records")),
        QStringList{QStringLiteral("65|1|65")});
}

void ArchiveDownloadTest::aClearedMemoryIsFetchedWholeAsANewMemory() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("TRELLMO_RECORD_DATA"));
    SimulatorConfig config;
    config.recordCount = 40;
    QCOMPARE(runOnce(config, folder).requests.size(), 40);

    config.recordCount = 30;
    config.contentOffset = 5000; // cleared and filled again: record 1 is another record
    const RunResult cleared = runOnce(config, folder);
    QList<quint32> expected{1};
    for (quint32 n = 1; n <= 30; ++n) {
        expected << n;
    }
    QCOMPARE(cleared.requests, expected);
    QVERIFY2(cleared.note.contains(QStringLiteral("new memory")), qPrintable(cleared.note));
    QCOMPARE(sqliteRows(archiveOf(folder),
                        QStringLiteral("SELECT instrument_id, COUNT(*) FROM record_readings "
                                       "WHERE channel = 1 GROUP BY instrument_id")),
             (QStringList{QStringLiteral("1|40"), QStringLiteral("2|30")}));
}

QTEST_MAIN(ArchiveDownloadTest)
#include "tst_e2e_archive.moc"
