// The main window as the user meets it without an instrument: captions, initial values, enable
// states, layout, the keys it ignores, Exit and the About box.
#include "controls.h"
#include "eventwait.h"
#include "windowfixture.h"

#include "app/mainwindow/aboutdlg.h"
#include "app/mainwindow/trellmodlg.h"
#include "app/widgets/dialogunits.h"
#include "serial/mscomm1.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace {

const QList<int> kButtons{ControlId::OpenPort,  ControlId::CheckPort,     ControlId::About,
                          ControlId::Exit,      ControlId::ReadParameter, ControlId::DownloadData,
                          ControlId::OpenFolder};

void showAndWait(QWidget& window) {
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

// Runs trigger, which opens a modal box of type Box; returns the texts of its labels once it
// has appeared (empty if it never did) and closes it.
template <typename Box> QString textOfModalBox(const std::function<void()>& trigger) {
    QString seen;
    bool appeared = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<Box*>(QApplication::activeModalWidget())) {
            appeared = true;
            for (QLabel* label : box->template findChildren<QLabel*>()) {
                seen += label->text() + QLatin1Char('\n');
            }
            box->accept();
        }
    });
    poll.start(10);
    trigger();
    waitUntil([&] { return appeared; });
    return seen;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void controlsStartWithTheirCaptionsValuesAndStates();
    void layoutFollowsTheTemplate();
    void enterAndEscapeDoNothingAnywhere();
    void exitRefusesFieldsThatAreNoNumberInRange();
    void aboutBoxFromContextMenuAndButton();
    void messagesAppearInARealMessageBoxAfterTheHandler();
};

void MainWindowTest::controlsStartWithTheirCaptionsValuesAndStates() {
    WindowFixture w; // no serial device at all
    QCOMPARE(w.dlg->windowTitle(), QStringLiteral("Trellmo"));
    QVERIFY(!w.dlg->windowIcon().isNull());

    const QStringList captions{"Open Port",      "Check port",    "About",      "Exit",
                               "Read parameter", "Download Data", "Open folder"};
    const QList<bool> enabled{false, true, true, true, false, false, true};
    for (int i = 0; i < kButtons.size(); ++i) {
        QCOMPARE(w.button(kButtons[i])->text(), captions[i]);
        QCOMPARE(w.button(kButtons[i])->isEnabled(), enabled[i]);
    }
    QCOMPARE(w.combo()->count(), 0);
    QCOMPARE(w.combo()->currentText(), QString());
    QVERIFY(w.combo()->isEditable() && w.combo()->isEnabled());

    // Edits: initial text, accessible name from the label, alignment.
    const QList<std::tuple<int, const char*, const char*, Qt::Alignment>> edits{
        {ControlId::ChannelCount, "0", "Channel", Qt::AlignHCenter},
        {ControlId::RecordTotal, "0", "Total", Qt::AlignHCenter},
        {ControlId::SendText, "", "Send", Qt::AlignLeft},
        {ControlId::ReceiveText, "", "Receive", Qt::AlignLeft},
        {ControlId::PercentText, "0%", "Download percentage", Qt::AlignHCenter}};
    for (const auto& [id, text, name, alignment] : edits) {
        QCOMPARE(w.field(id), QString::fromLatin1(text));
        QCOMPARE(w.edit(id)->accessibleName(), QString::fromLatin1(name));
        QCOMPARE(w.edit(id)->alignment() & Qt::AlignHorizontal_Mask, alignment);
    }
    auto* progress = controlOf<QProgressBar>(*w.dlg, ControlId::Progress);
    QCOMPARE(progress->value(), 0);
    QCOMPARE(progress->maximum(), 100);
    QVERIFY(!progress->accessibleName().isEmpty());
    QVERIFY(!w.dlg->comm().GetPortOpen());

    auto* table = controlOf<QTableWidget>(*w.dlg, ControlId::ChannelList);
    const QStringList columns{"Channel",   "Gas Type",  "Range",     "Unit",
                              "Precision", "Low Alarm", "High Alarm"};
    QCOMPARE(table->columnCount(), 7);
    QCOMPARE(table->rowCount(), 6);
    for (int column = 0; column < 7; ++column) {
        QCOMPARE(table->horizontalHeaderItem(column)->text(), columns[column]);
        for (int row = 0; row < 6; ++row) {
            QTableWidgetItem* item = table->item(row, column);
            QCOMPARE(item->text(), column == 0 ? QStringLiteral("CH%1").arg(row + 1) : QString());
            QCOMPARE(item->textAlignment(), int(Qt::AlignCenter));
        }
    }
    QVERIFY(table->showGrid());
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);

    QMenu* menu = w.dlg->findChild<QMenuBar*>()->actions().first()->menu();
    QCOMPARE(menu->title(), QStringLiteral("MENU"));
    // "Gas Type", the Records window's command, then the records archive's two commands.
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), 4);
    QCOMPARE(actions[0]->text(), QStringLiteral("Gas Type"));
    QCOMPARE(actions[0]->objectName(), controlObjectName(ControlId::GasTypeCommand));
    QCOMPARE(actions[1]->text(), QStringLiteral("Records..."));
    QCOMPARE(actions[1]->objectName(), controlObjectName(ControlId::RecordsCommand));
    QCOMPARE(actions[2]->text(), QStringLiteral("Download all records"));
    QCOMPARE(actions[3]->text(), QStringLiteral("Import workbooks..."));
}

void MainWindowTest::layoutFollowsTheTemplate() {
    WindowFixture w;
    showAndWait(*w.dlg);
    const DialogUnits units(w.dlg->font());
    QCOMPARE(w.dlg->font().pointSize(), 9);
    QCOMPARE(w.dlg->findChild<QWidget*>(QStringLiteral("client"))->size(),
             QSize(units.x(419), units.y(198)));
    QCOMPARE(w.button(ControlId::OpenPort)->geometry(), units.rect(16, 9, 55, 18));
    QCOMPARE(w.edit(ControlId::ReceiveText)->geometry(), units.rect(151, 176, 261, 12));
    QCOMPARE(w.dlg->minimumSize(), w.dlg->maximumSize());
    QVERIFY(w.dlg->windowFlags() & Qt::WindowMinimizeButtonHint);
    // The download controls lie on top of their group box.
    QWidget* client = w.button(ControlId::DownloadData)->parentWidget();
    QCOMPARE(client->childAt(w.button(ControlId::DownloadData)->geometry().center()),
             w.button(ControlId::DownloadData));

    // Seven columns of a seventh of the client width each, the remainder left empty; all six
    // rows fit without scrolling.
    auto* table = controlOf<QTableWidget>(*w.dlg, ControlId::ChannelList);
    QCOMPARE(table->geometry(), units.rect(114, 37, 278, 84));
    for (int column = 0; column < 7; ++column) {
        QCOMPARE(table->columnWidth(column), table->viewport()->width() / 7);
    }
    QVERIFY(!table->horizontalScrollBar()->isVisible() && !table->verticalScrollBar()->isVisible());
    QVERIFY(table->rowViewportPosition(5) + table->rowHeight(5) <= table->viewport()->height());
}

void MainWindowTest::enterAndEscapeDoNothingAnywhere() {
    WindowFixture w;
    showAndWait(*w.dlg);
    QSignalSpy finished(w.dlg.get(), &QDialog::finished);
    int clicks = 0;
    for (int id : kButtons) {
        // Enabled, so that a default button would be pressed if there were one.
        w.button(id)->setEnabled(true);
        connect(w.button(id), &QPushButton::clicked, this, [&clicks] { ++clicks; });
    }
    w.combo()->setEditText(QStringLiteral("COM7"));
    QList<QWidget*> targets{w.combo(), w.combo()->lineEdit(), w.button(ControlId::Exit),
                            controlOf<QTableWidget>(*w.dlg, ControlId::ChannelList), w.dlg.get()};
    for (int id : {ControlId::ChannelCount, ControlId::RecordTotal, ControlId::SendText,
                   ControlId::ReceiveText, ControlId::PercentText}) {
        targets << w.edit(id);
    }
    for (QWidget* target : targets) {
        target->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(target, key);
            QTest::keyClick(target, key, Qt::KeypadModifier);
        }
    }
    w.settle();
    QVERIFY(w.dlg->isVisible());
    QCOMPARE(finished.count(), 0);
    QCOMPARE(clicks, 0);
    QCOMPARE(w.combo()->count(), 0); // Enter in the port text adds no entry
    QCOMPARE(w.messages.count(), 0);

    // Other keys still reach the fields.
    w.edit(ControlId::SendText)->setFocus();
    QTest::keyClicks(w.edit(ControlId::SendText), QStringLiteral("01"));
    QCOMPARE(w.field(ControlId::SendText), QStringLiteral("01"));
}

void MainWindowTest::exitRefusesFieldsThatAreNoNumberInRange() {
    WindowFixture w;
    showAndWait(*w.dlg);
    QSignalSpy finished(w.dlg.get(), &QDialog::finished);
    QLineEdit* channel = w.edit(ControlId::ChannelCount);
    QLineEdit* total = w.edit(ControlId::RecordTotal);

    const QList<std::tuple<const char*, const char*, QLineEdit*, const char*>> refused{
        {"300", "0", channel, "255"},
        {"x", "0", channel, "255"},
        {"", "0", channel, "255"},
        {"-1", "0", channel, "255"},
        {"255", "4294967296", total, "4294967295"},
        {"255", "12x", total, "4294967295"}};
    for (const auto& [channelText, totalText, culprit, range] : refused) {
        channel->setText(QString::fromLatin1(channelText));
        total->setText(QString::fromLatin1(totalText));
        w.messages.clear();
        w.press(ControlId::Exit);
        QVERIFY(waitUntil([&] { return w.messages.count() == 1; }));
        QVERIFY(w.dlg->isVisible());
        QCOMPARE(finished.count(), 0);
        const QString message = w.messages.texts().first();
        QVERIFY2(message.contains(culprit->accessibleName()) && message.contains(range),
                 qPrintable(message));
        QCOMPARE(QApplication::focusWidget(), culprit);
    }

    channel->setText(QStringLiteral(" 255 "));
    total->setText(QStringLiteral("4294967295"));
    w.press(ControlId::Exit);
    QCOMPARE(finished.count(), 1);
    // The channel count taken from the field is the N the protocol decodes with from now on.
    QCOMPARE(w.dlg->link().state().channelCount, quint8(255));
    QCOMPARE(finished.first().first().toInt(), int(QDialog::Accepted));

    // The close box cancels, even with a field that doesn't parse.
    WindowFixture closed;
    showAndWait(*closed.dlg);
    QSignalSpy cancelled(closed.dlg.get(), &QDialog::finished);
    closed.edit(ControlId::ChannelCount)->setText(QStringLiteral("x"));
    closed.dlg->close();
    QCOMPARE(cancelled.count(), 1);
    QCOMPARE(cancelled.first().first().toInt(), int(QDialog::Rejected));
}

void MainWindowTest::aboutBoxFromContextMenuAndButton() {
    WindowFixture w;
    showAndWait(*w.dlg);

    // A right click on the window brings up its menu, ending with a separator and the About item.
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5),
                            w.dlg->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(w.dlg.get(), &click);
    QMenu& menu = w.dlg->systemMenu();
    QVERIFY(waitUntil([&] { return menu.isVisible(); }));
    const QList<QAction*> actions = menu.actions();
    QVERIFY(actions.size() >= 2 && actions.at(actions.size() - 2)->isSeparator());
    QCOMPARE(actions.last()->text(), QStringLiteral("About Trellmo(&A)..."));
    menu.hide();

    QVERIFY(textOfModalBox<CAboutDlg>([&] {
                actions.last()->trigger();
            }).contains(QLatin1String("Trellmo")));
    QVERIFY(textOfModalBox<CAboutDlg>([&] {
                w.press(ControlId::About);
            }).contains(QLatin1String("Trellmo")));
    QVERIFY(w.dlg->isVisible());
    QCOMPARE(w.messages.count(), 0);
}

void MainWindowTest::messagesAppearInARealMessageBoxAfterTheHandler() {
    WindowFixture w({}, [](DialogSettings& settings) { settings.presentMessage = {}; });
    showAndWait(*w.dlg);
    w.edit(ControlId::ChannelCount)->setText(QStringLiteral("x"));

    bool boxInsideHandler = true;
    const QString text = textOfModalBox<QMessageBox>([&] {
        w.press(ControlId::Exit);
        boxInsideHandler = QApplication::activeModalWidget() != nullptr;
    });
    QVERIFY(!boxInsideHandler);
    QVERIFY2(text.contains(QLatin1String("Channel")), qPrintable(text));
    QVERIFY(w.dlg->isVisible());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
