// Leaving the program with downloaded records that could not be written: the Exit button asks
// what to do with them, telling how many and where, before the window goes; the close box
// writes them once the way is clear.
#include "controls.h"
#include "expectedtexts.h"
#include "instrumentrig.h"
#include "modalscript.h"
#include "stallwatch.h"
#include "workbookreaders.h"

#include "app/mainwindow/trellmodlg.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace {

bool blockFolder(const QString& path) {
    QFile blocker(path);
    return blocker.open(QIODevice::WriteOnly) && blocker.write("not a folder") > 0;
}

struct ShownMessage {
    QString text;
    bool windowVisible = false;
};

} // namespace

class ExitTest : public QObject {
    Q_OBJECT
private slots:
    void exitTellsOfUnwrittenRecordsBeforeTheWindowCloses();
    void closeBoxWritesTheRecordsOnceTheFolderCanBeMade();
};

void ExitTest::exitTellsOfUnwrittenRecordsBeforeTheWindowCloses() {
    SimulatorConfig config;
    config.recordCount = 30;
    QList<ShownMessage> shown;
    InstrumentRig rig(config, [&shown](DialogSettings& settings) {
        settings.presentMessage = [&shown](QWidget* parent, const QString& text) {
            shown.append({text, parent->window()->isVisible()});
        };
    });
    rig.dlg().show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.dlg()));
    QVERIFY(blockFolder(rig.recordFolder()));
    QVERIFY(rig.openPort());
    QVERIFY(rig.readParameter());
    rig.pressDownload();
    QVERIFY(rig.waitForDownload(10000));
    const QString workbook =
        QDir::toNativeSeparators(rig.recordWorkbook(QStringLiteral("C4-25-03-07.xls")));
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].text.contains(workbook), qPrintable(shown[0].text));

    bool windowVisibleWhenAsked = false;
    ModalScript script;
    script.then(QStringLiteral("unwrittenRecordsBox"), [&](QWidget* box) {
        windowVisibleWhenAsked = rig.dlg().isVisible();
        ModalScript::click(QStringLiteral("discardButton"))(box);
    });
    QSignalSpy finished(&rig.dlg(), &QDialog::finished);
    rig.window.press(ControlId::Exit);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toInt(), int(QDialog::Accepted));
    QVERIFY(script.finished());
    QVERIFY(windowVisibleWhenAsked);
    QCOMPARE(script.boxTexts().size(), 1);
    const QString asked = script.boxTexts().first();
    QVERIFY2(asked.contains(QLatin1String("30 downloaded records")) && asked.contains(workbook),
             qPrintable(asked));
    rig.window.settle();
    QCOMPARE(shown.size(), 1);
}

void ExitTest::closeBoxWritesTheRecordsOnceTheFolderCanBeMade() {
    SimulatorConfig config;
    config.recordCount = 30;
    for (int attempt = 1;; ++attempt) {
        InstrumentRig rig(config);
        rig.dlg().show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.dlg()));
        QVERIFY(blockFolder(rig.recordFolder()));
        StallWatch watch;
        QVERIFY(rig.openPort());
        QVERIFY(rig.readParameter());
        rig.pressDownload();
        QVERIFY(rig.waitForDownload(10000));
        QCOMPARE(rig.window.messages.count(), 1);

        QVERIFY(QFile::remove(rig.recordFolder()));
        QSignalSpy finished(&rig.dlg(), &QDialog::finished);
        rig.dlg().close();
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.first().first().toInt(), int(QDialog::Rejected));

        const ReadBook book = readWithXlrd(rig.recordWorkbook(QStringLiteral("C4-25-03-07.xls")));
        QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
        const ReadSheet* sheet = book.sheet(QStringLiteral("Storage"));
        QVERIFY(sheet != nullptr);
        QList<QStringList> expected{expectedCaptions(4)};
        for (quint32 n = 1; n <= 30; ++n) {
            expected << expectedSheetRow(config, n);
        }
        if (watch.retry(sheet->rows == expected, attempt)) {
            continue;
        }
        QCOMPARE(sheet->rows, expected);
        rig.window.settle();
        QCOMPARE(rig.window.messages.count(), 1);
        return;
    }
}

QTEST_MAIN(ExitTest)
#include "tst_e2e_exit.moc"
