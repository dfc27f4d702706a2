// User gas names end to end: a name entered in the Gas Type dialog, opened from the menu while
// a parameter read goes on, names the instrument's gas 81 in the channel table and is loaded
// again by the next start; an unreadable parameter workbook is reported after start-up.
#include "controls.h"
#include "eventwait.h"
#include "expectedtexts.h"
#include "instrumentrig.h"
#include "workbookreaders.h"

#include "app/gastypedialog/gastypeedit.h"
#include "app/mainwindow/trellmodlg.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// Opens "MENU" in the menu bar and clicks "Gas Type", as a user does. inDialog runs while the
// modal dialog is up; whatever it leaves open is closed. False when the dialog never came.
bool runGasTypeDialog(CTrellmoDlg& window, const std::function<void(CGastypeEdit&)>& inDialog) {
    bool appeared = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<CGastypeEdit*>(QApplication::activeModalWidget());
        if (dialog == nullptr || appeared) {
            return;
        }
        appeared = true;
        poll.stop();
        inDialog(*dialog);
        if (dialog->isVisible()) {
            dialog->reject();
        }
    });
    poll.start();

    auto* menuBar = window.findChild<QMenuBar*>();
    QAction* menuTitle = menuBar->actions().first();
    QTest::mouseClick(menuBar, Qt::LeftButton, {}, menuBar->actionGeometry(menuTitle).center());
    QMenu* menu = menuTitle->menu();
    if (!waitUntil([menu] { return menu->isVisible(); })) {
        return false;
    }
    QAction* gasType = menu->findChild<QAction*>(controlObjectName(ControlId::GasTypeCommand));
    // Returns once the modal dialog has closed.
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(gasType).center());
    return appeared;
}

void clickNameOf(CGastypeEdit& dialog, int row) {
    auto* list = dialog.findChild<QTableWidget*>(QStringLiteral("ctl1006"));
    list->scrollToItem(list->item(row, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row, 1)).center());
}

void clickButton(CGastypeEdit& dialog, int id) {
    QTest::mouseClick(dialog.findChild<QPushButton*>(controlObjectName(id)), Qt::LeftButton);
}

} // namespace

class GasNamesTest : public QObject {
    Q_OBJECT
private slots:
    void nameEnteredInTheDialogNamesGas81AndIsLoadedAgainAtTheNextStart();
    void unreadableParameterWorkbookIsReportedAfterStartUp();
    void nameHoldingQuotesAndSeparatorsStaysWholeInTableDialogAndFile();
};

void GasNamesTest::nameEnteredInTheDialogNamesGas81AndIsLoadedAgainAtTheNextStart() {
    QTemporaryDir files;
    const QString parameterWorkbook = files.filePath(QStringLiteral("parameter1.xls"));
    const auto useWorkbook = [&](DialogSettings& settings) {
        settings.parameterWorkbook = parameterWorkbook;
    };
    SimulatorConfig config;
    config.gasCodes[0] = 81;
    const QString name = QStringLiteral("R-410A mix "); // kept as typed, trailing space too

    {
        InstrumentRig rig(config, useWorkbook);
        rig.dlg().show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.dlg()));
        QVERIFY(rig.openPort());
        rig.window.press(ControlId::ReadParameter);

        bool sequenceEnded = false;
        QString gasCellWhileOpen;
        const bool opened = runGasTypeDialog(rig.dlg(), [&](CGastypeEdit& dialog) {
            // The main window's timer and serial events go on under the modal dialog.
            sequenceEnded =
                waitUntil([&] { return rig.dlg().link().state().sequenceStep == 9; }, 5000);
            gasCellWhileOpen = rig.tableRow(0).value(1);
            clickNameOf(dialog, 0); // No.81
            auto* box = dialog.findChild<QLineEdit*>(QStringLiteral("ctl1008"));
            box->selectAll();
            QTest::keyClicks(box, name);
            clickButton(dialog, CGastypeEdit::kOkId);
            clickButton(dialog, CGastypeEdit::kBackId);
        });
        QVERIFY(opened);
        QVERIFY(sequenceEnded);
        // The fields are redrawn at most every 50 ms: the last redraw may still be due.
        QTRY_COMPARE_WITH_TIMEOUT(rig.window.field(ControlId::ChannelCount), QStringLiteral("4"),
                                  2000);
        QCOMPARE(gasCellWhileOpen, QString()); // no name for gas 81 yet
        QVERIFY(QFile::exists(parameterWorkbook));

        // Decoding after the save uses the new name.
        QVERIFY(rig.readParameter());
        QCOMPARE(rig.tableRow(0).value(1), name);
        QCOMPARE(rig.tableRow(1), expectedChannelRow(config, 2));
        QCOMPARE(rig.window.messages.count(), 0);
    }

    // The next run starts with empty names (each window holds its own) and loads them from the
    // parameter workbook.
    InstrumentRig restarted(config, useWorkbook);
    QVERIFY(restarted.openPort());
    QVERIFY(restarted.readParameter());
    QCOMPARE(restarted.tableRow(0).value(1), name);
    QCOMPARE(restarted.window.messages.count(), 0);
}

void GasNamesTest::unreadableParameterWorkbookIsReportedAfterStartUp() {
    QTemporaryDir files;
    const QString parameterWorkbook = files.filePath(QStringLiteral("parameter1.xls"));
    {
        QFile file(parameterWorkbook);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("this is no workbook");
    }
    InstrumentRig rig(
        {}, [&](DialogSettings& settings) { settings.parameterWorkbook = parameterWorkbook; });
    // Not from inside the start-up: the message comes once the window's loop runs.
    QCOMPARE(rig.window.messages.count(), 0);
    rig.window.settle();
    QCOMPARE(rig.window.messages.count(), 1);
    const QString native = QDir::toNativeSeparators(parameterWorkbook);
    QVERIFY2(rig.window.messages.texts().first().contains(native),
             qPrintable(rig.window.messages.texts().first()));
    QCOMPARE(rig.tableRow(0).value(0), QStringLiteral("CH1"));
    QVERIFY(rig.window.button(ControlId::OpenPort)->isEnabled());
    QCOMPARE(rig.window.field(ControlId::PercentText), QStringLiteral("0%"));

    // The Gas Type dialog meets the same file and tells the user through the main window.
    rig.dlg().show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.dlg()));
    const bool opened = runGasTypeDialog(rig.dlg(), [&](CGastypeEdit& dialog) {
        waitUntil([&] { return rig.window.messages.count() == 2; }, 2000);
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QVERIFY(opened);
    QCOMPARE(rig.window.messages.count(), 2);
    QVERIFY2(rig.window.messages.texts().last().contains(native),
             qPrintable(rig.window.messages.texts().last()));
}

// A name another program wrote, holding what the workbook class once took for the border of two
// cells: the whole name in the channel table, in the dialog and in the file after a save.
void GasNamesTest::nameHoldingQuotesAndSeparatorsStaysWholeInTableDialogAndFile() {
    QTemporaryDir files;
    const QString parameterWorkbook = files.filePath(QStringLiteral("parameter1.xls"));
    const QString name = QStringLiteral("a\",;.?\"b");
    QCOMPARE(writeWithXlwt(parameterWorkbook, QStringLiteral("GasType"),
                           {{QStringLiteral("Number"), QStringLiteral("Gas Type")},
                            {QStringLiteral("81"), name},
                            {QStringLiteral("82"), QStringLiteral("Ozone")}}),
             QString());
    SimulatorConfig config;
    config.gasCodes[0] = 81;
    InstrumentRig rig(
        config, [&](DialogSettings& settings) { settings.parameterWorkbook = parameterWorkbook; });
    rig.dlg().show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.dlg()));
    QVERIFY(rig.openPort());
    QVERIFY(rig.readParameter());
    QCOMPARE(rig.tableRow(0).value(1), name);

    QString shownInDialog;
    const bool opened = runGasTypeDialog(rig.dlg(), [&](CGastypeEdit& dialog) {
        auto* list = dialog.findChild<QTableWidget*>(QStringLiteral("ctl1006"));
        shownInDialog = list->item(0, 1)->text();
        clickNameOf(dialog, 1); // No.82
        auto* box = dialog.findChild<QLineEdit*>(QStringLiteral("ctl1008"));
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral("Argon"));
        clickButton(dialog, CGastypeEdit::kOkId);
        clickButton(dialog, CGastypeEdit::kBackId);
    });
    QVERIFY(opened);
    QCOMPARE(shownInDialog, name);
    const ReadBook book = readWithXlrd(parameterWorkbook);
    QCOMPARE(book.error, QString());
    const ReadSheet* sheet = book.sheet(QStringLiteral("GasType"));
    QVERIFY(sheet);
    QCOMPARE(sheet->rows.value(1).value(1), name);
    QCOMPARE(sheet->rows.value(2).value(1), QStringLiteral("Argon"));
    QVERIFY(rig.readParameter());
    QCOMPARE(rig.tableRow(0).value(1), name);
    QCOMPARE(rig.window.messages.count(), 0);
}

QTEST_MAIN(GasNamesTest)
#include "tst_e2e_gasnames.moc"
