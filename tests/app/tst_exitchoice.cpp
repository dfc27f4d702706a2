// Leaving with downloaded records that cannot be written: the window asks until the user tries
// again with success, saves them elsewhere, or discards them. Only discarding loses them; the
// window manager's close asks the same.
#include "eventwait.h"
#include "modalscript.h"
#include "windowfixture.h"
#include "workbookreaders.h"

#include "app/mainwindow/controlids.h"
#include "app/mainwindow/trellmodlg.h"
#include "export/recordworkbook.h"
#include "model/recordstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr quint32 kHeld = 30;

QString recordTime(quint32 n) {
    return QStringLiteral("2025-03-07  10:00:%1").arg(n, 2, 10, QLatin1Char('0'));
}

// A download whose 30 records could not be written: held by the link, record folder blocked.
void holdRecords(CTrellmoDlg& dlg, const QString& recordFolder) {
    RecordStore& store = dlg.link().records();
    for (quint32 r = 0; r < kHeld; ++r) {
        store.setCell(0, r, recordTime(r));
        for (int c = 1; c < RecordStore::kColumns; ++c) {
            store.setCell(c, r, QStringLiteral("c%1").arg(c));
        }
    }
    dlg.link().state().sixChannel = 0;
    dlg.link().state().storeRow = kHeld;
    QFile blocker(recordFolder);
    if (!blocker.open(QIODevice::WriteOnly) || blocker.write("not a folder") <= 0) {
        qFatal("cannot block the record folder");
    }
}

QStringList expectedRow(quint32 n) {
    QStringList row{recordTime(n)};
    for (int ch = 1; ch <= 4; ++ch) {
        row << QStringLiteral("c%1").arg(ch) << QStringLiteral("c%1").arg(ch + 6)
            << QStringLiteral("c%1").arg(ch + 12);
    }
    return row;
}

QList<QStringList> expectedSheet() {
    QList<QStringList> rows{recordCaptions(ChannelLayout::Four)};
    for (quint32 n = 0; n < kHeld; ++n) {
        rows << expectedRow(n);
    }
    return rows;
}

QList<QStringList> storageRows(const QString& path) {
    const ReadBook book = readWithXlrd(path);
    const ReadSheet* sheet = book.sheet(QStringLiteral("Storage"));
    return sheet ? sheet->rows : QList<QStringList>{};
}

} // namespace

class ExitChoiceTest : public QObject {
    Q_OBJECT
private slots:
    void tryAgainWritesOnceTheFolderCanBeMade();
    void saveElsewhereWritesAWorkbookOtherProgramsRead();
    void discardIsTheOnlyWayToLoseThemAlsoFromTheCloseBox();
};

void ExitChoiceTest::tryAgainWritesOnceTheFolderCanBeMade() {
    WindowFixture window;
    CTrellmoDlg& dlg = *window.dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const QString folder = window.files.filePath(QStringLiteral("TRELLMO_RECORD_DATA"));
    holdRecords(dlg, folder);

    ModalScript script;
    // The first try fails like the last one; before the second, the way is cleared.
    script.then(QStringLiteral("unwrittenRecordsBox"),
                ModalScript::click(QStringLiteral("tryAgainButton")));
    script.then(QStringLiteral("unwrittenRecordsBox"), [folder](QWidget* box) {
        QFile::remove(folder);
        ModalScript::click(QStringLiteral("tryAgainButton"))(box);
    });
    QSignalSpy finished(&dlg, &QDialog::finished);
    window.press(ControlId::Exit);
    QCOMPARE(finished.count(), 1);
    QVERIFY(script.finished());
    QCOMPARE(script.surprises(), QStringList());
    QCOMPARE(script.boxTexts().size(), 2);
    for (const QString& text : script.boxTexts()) {
        QVERIFY2(text.contains(QStringLiteral("30 downloaded records")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("cannot be created")), qPrintable(text));
    }
    const QString day =
        folder + QLatin1Char('/') + recordWorkbookName(ChannelLayout::Four, QDate::currentDate());
    QCOMPARE(storageRows(day), expectedSheet());
    QCOMPARE(dlg.link().state().storeRow, 0u);
}

void ExitChoiceTest::saveElsewhereWritesAWorkbookOtherProgramsRead() {
    WindowFixture window;
    CTrellmoDlg& dlg = *window.dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const QString folder = window.files.filePath(QStringLiteral("TRELLMO_RECORD_DATA"));
    holdRecords(dlg, folder);
    const QString chosen = window.files.filePath(QStringLiteral("kept/records"));
    QVERIFY(QDir().mkpath(QFileInfo(chosen).path()));

    ModalScript script;
    // Cancelling the file dialog comes back to the question; a failed save does too, with its
    // reason (a file there that is no workbook, left as it was).
    script.then(QStringLiteral("unwrittenRecordsBox"),
                ModalScript::click(QStringLiteral("saveElsewhereButton")));
    script.then(QStringLiteral("saveElsewhereDialog"), ModalScript::cancel());
    script.then(QStringLiteral("unwrittenRecordsBox"),
                ModalScript::click(QStringLiteral("saveElsewhereButton")));
    const QString inTheWay = window.files.filePath(QStringLiteral("kept/taken.xls"));
    {
        QFile garbage(inTheWay);
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray("not a workbook\r\n").repeated(50));
    }
    script.then(QStringLiteral("saveElsewhereDialog"), ModalScript::chooseFile(inTheWay));
    script.then(QStringLiteral("unwrittenRecordsBox"),
                ModalScript::click(QStringLiteral("saveElsewhereButton")));
    script.then(QStringLiteral("saveElsewhereDialog"), ModalScript::chooseFile(chosen));
    QSignalSpy finished(&dlg, &QDialog::finished);
    window.press(ControlId::Exit);
    QCOMPARE(finished.count(), 1);
    QVERIFY2(script.finished(), qPrintable(script.boxTexts().join(QStringLiteral("\n---\n"))));
    QCOMPARE(script.surprises(), QStringList());
    QCOMPARE(script.boxTexts().size(), 3);
    QVERIFY2(script.boxTexts()[2].contains(QStringLiteral("Saving them elsewhere failed")),
             qPrintable(script.boxTexts()[2]));

    // ".xls" is added; xlrd reads the records back in order, under the captions.
    QCOMPARE(storageRows(chosen + QStringLiteral(".xls")), expectedSheet());
    QCOMPARE(dlg.link().state().storeRow, 0u);
    QVERIFY(QFileInfo(folder).isFile());
    QCOMPARE(QFileInfo(inTheWay).size(), qint64(16 * 50));
}

void ExitChoiceTest::discardIsTheOnlyWayToLoseThemAlsoFromTheCloseBox() {
    WindowFixture window;
    CTrellmoDlg& dlg = *window.dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const QString folder = window.files.filePath(QStringLiteral("TRELLMO_RECORD_DATA"));
    holdRecords(dlg, folder);

    ModalScript script;
    // Escape answers nothing: the question stays until one of the three is chosen.
    script.then(QStringLiteral("unwrittenRecordsBox"), [](QWidget* box) {
        QTest::keyClick(box, Qt::Key_Escape);
        QTest::qWait(50);
        if (box->isVisible()) {
            ModalScript::click(QStringLiteral("discardButton"))(box);
        }
    });
    QSignalSpy finished(&dlg, &QDialog::finished);
    dlg.close(); // as the window manager's close does
    QCOMPARE(finished.count(), 1);
    QVERIFY(script.finished());
    QCOMPARE(script.surprises(), QStringList());
    QCOMPARE(script.boxTexts().size(), 1);
    QCOMPARE(dlg.link().state().storeRow, 0u);
    QVERIFY(QFileInfo(folder).isFile());
    QCOMPARE(window.messages.count(), qsizetype(0));
}

QTEST_MAIN(ExitChoiceTest)
#include "tst_exitchoice.moc"
