// The main window as the user meets it without an instrument: captions, initial values, enable
// states, the keys it ignores, Exit and the About box.
#include "controls.h"
#include "eventwait.h"
#include "messagecapture.h"

#include "app/aboutdlg.h"
#include "app/trellmodlg.h"
#include "gastype/dialogunits.h"
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
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// A window whose port probe looks into an empty folder and whose messages are recorded.
struct Window {
    QTemporaryDir devices;
    MessageCapture messages;
    std::unique_ptr<CTrellmoDlg> dlg;

    Window() {
        dlg = std::make_unique<CTrellmoDlg>(DialogSettings{devices.path(), messages.presenter()});
    }

    template <typename T> T* control(int id) {
        T* found = controlOf<T>(*dlg, id);
        if (found == nullptr) {
            qFatal("control %d not found", id);
        }
        return found;
    }
    QPushButton* button(int id) { return control<QPushButton>(id); }
    QLineEdit* edit(int id) { return control<QLineEdit>(id); }
};

const QList<int> kButtons{ControlId::OpenPort,  ControlId::CheckPort,     ControlId::About,
                          ControlId::Exit,      ControlId::ReadParameter, ControlId::DownloadData,
                          ControlId::OpenFolder};
const QList<int> kEdits{ControlId::ChannelCount, ControlId::RecordTotal, ControlId::SendText,
                        ControlId::ReceiveText, ControlId::PercentText};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void controlsStartWithTheirCaptionsValuesAndStates();
    void channelTableHasSevenEqualColumnsAndSixChannels();
    void windowFollowsTheTemplateLayout();
    void enterAndEscapeDoNothingAnywhere();
    void exitRefusesFieldsThatAreNoNumberInRange();
    void closeBoxEndsTheDialog();
    void aboutIsReachedThroughTheContextMenu();
    void aboutButtonShowsTheAboutBox();
    void messagesAppearInARealMessageBox();
};

void MainWindowTest::controlsStartWithTheirCaptionsValuesAndStates() {
    Window w;
    QCOMPARE(w.dlg->windowTitle(), QStringLiteral("Trellmo"));
    QVERIFY(!w.dlg->windowIcon().isNull());

    const QList<std::pair<int, const char*>> captions{{ControlId::OpenPort, "Open Port"},
                                                      {ControlId::CheckPort, "Check port"},
                                                      {ControlId::About, "About"},
                                                      {ControlId::Exit, "Exit"},
                                                      {ControlId::ReadParameter, "Read parameter"},
                                                      {ControlId::DownloadData, "Download Data"},
                                                      {ControlId::OpenFolder, "Open folder"}};
    for (const auto& [id, caption] : captions) {
        QCOMPARE(w.button(id)->text(), QString::fromLatin1(caption));
        // Buttons announce their captions.
        QVERIFY(w.button(id)->accessibleName().isEmpty());
    }
    // No port was found: the list is empty and Open Port can't be pressed.
    auto* combo = w.control<QComboBox>(ControlId::PortCombo);
    QCOMPARE(combo->count(), 0);
    QCOMPARE(combo->currentText(), QString());
    QVERIFY(combo->isEditable());
    QVERIFY(combo->isEnabled());
    QVERIFY(!w.button(ControlId::OpenPort)->isEnabled());
    QVERIFY(!w.button(ControlId::ReadParameter)->isEnabled());
    QVERIFY(!w.button(ControlId::DownloadData)->isEnabled());
    for (int id :
         {ControlId::CheckPort, ControlId::About, ControlId::Exit, ControlId::OpenFolder}) {
        QVERIFY2(w.button(id)->isEnabled(), qPrintable(QString::number(id)));
    }

    const QList<std::tuple<int, const char*, const char*, Qt::Alignment>> edits{
        {ControlId::ChannelCount, "0", "Channel", Qt::AlignHCenter},
        {ControlId::RecordTotal, "0", "Total", Qt::AlignHCenter},
        {ControlId::SendText, "", "Send", Qt::AlignLeft},
        {ControlId::ReceiveText, "", "Receive", Qt::AlignLeft},
        {ControlId::PercentText, "0%", "Download percentage", Qt::AlignHCenter}};
    for (const auto& [id, text, name, alignment] : edits) {
        QLineEdit* edit = w.edit(id);
        QCOMPARE(edit->text(), QString::fromLatin1(text));
        QCOMPARE(edit->accessibleName(), QString::fromLatin1(name));
        QCOMPARE(edit->alignment() & Qt::AlignHorizontal_Mask, alignment);
        QVERIFY(edit->isEnabled() && !edit->isReadOnly());
    }
    for (const char* label : {"Channel", "Total", "Send", "Receive"}) {
        bool found = false;
        for (QLabel* candidate : w.dlg->findChildren<QLabel*>()) {
            found = found || candidate->text() == QLatin1String(label);
        }
        QVERIFY2(found, label);
    }
    auto* progress = w.control<QProgressBar>(ControlId::Progress);
    QCOMPARE(progress->value(), 0);
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 100);
    QVERIFY(!progress->accessibleName().isEmpty());

    // The serial line is there, closed, and the window starts no timer of its own.
    QVERIFY(controlOf<CMscomm1>(*w.dlg, ControlId::Comm) != nullptr);
    QVERIFY(!w.dlg->comm().GetPortOpen());

    QMenuBar* menuBar = w.dlg->findChild<QMenuBar*>();
    QVERIFY(menuBar != nullptr);
    QCOMPARE(menuBar->actions().size(), 1);
    QCOMPARE(menuBar->actions().first()->text(), QStringLiteral("MENU"));
    QMenu* menu = menuBar->actions().first()->menu();
    QCOMPARE(menu->actions().size(), 1);
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("Gas Type"));
    QCOMPARE(menu->actions().first()->objectName(), controlObjectName(ControlId::GasTypeCommand));
    QVERIFY(menu->actions().first()->isEnabled());
}

void MainWindowTest::channelTableHasSevenEqualColumnsAndSixChannels() {
    Window w;
    auto* table = w.control<QTableWidget>(ControlId::ChannelList);
    const QStringList captions{"Channel",   "Gas Type",  "Range",     "Unit",
                               "Precision", "Low Alarm", "High Alarm"};
    QCOMPARE(table->columnCount(), 7);
    QCOMPARE(table->rowCount(), 6);
    for (int column = 0; column < 7; ++column) {
        QCOMPARE(table->horizontalHeaderItem(column)->text(), captions[column]);
        QCOMPARE(table->horizontalHeaderItem(column)->textAlignment(), int(Qt::AlignCenter));
    }
    for (int row = 0; row < 6; ++row) {
        for (int column = 0; column < 7; ++column) {
            QTableWidgetItem* item = table->item(row, column);
            QVERIFY(item != nullptr);
            QCOMPARE(item->text(), column == 0 ? QStringLiteral("CH%1").arg(row + 1) : QString());
            QCOMPARE(item->textAlignment(), int(Qt::AlignCenter));
            QVERIFY(!(item->flags() & Qt::ItemIsEditable));
        }
    }
    QVERIFY(table->showGrid());
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(table->verticalHeader()->isHidden());

    // Every column is a seventh of the client width; the remainder stays empty on the right,
    // and all six rows fit without scrolling.
    w.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.dlg.get()));
    const int clientWidth = table->viewport()->width();
    for (int column = 0; column < 7; ++column) {
        QCOMPARE(table->columnWidth(column), clientWidth / 7);
    }
    QVERIFY(!table->horizontalScrollBar()->isVisible());
    QVERIFY(!table->verticalScrollBar()->isVisible());
    QVERIFY(table->rowViewportPosition(5) + table->rowHeight(5) <= table->viewport()->height());
}

void MainWindowTest::windowFollowsTheTemplateLayout() {
    Window w;
    w.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.dlg.get()));
    const DialogUnits units(w.dlg->font());
    QCOMPARE(w.dlg->font().pointSize(), 9);

    auto* client = w.dlg->findChild<QWidget*>(QStringLiteral("client"));
    QVERIFY(client != nullptr);
    QCOMPARE(client->size(), QSize(units.x(419), units.y(198)));
    QCOMPARE(w.button(ControlId::OpenPort)->geometry(), units.rect(16, 9, 55, 18));
    QCOMPARE(w.edit(ControlId::ReceiveText)->geometry(), units.rect(151, 176, 261, 12));
    QCOMPARE(w.control<QTableWidget>(ControlId::ChannelList)->geometry(),
             units.rect(114, 37, 278, 84));
    // Fixed size: the window can't be resized.
    QCOMPARE(w.dlg->minimumSize(), w.dlg->maximumSize());
    QVERIFY(w.dlg->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(w.dlg->windowFlags() & Qt::WindowMaximizeButtonHint));
    // The download controls sit on top of their group box, not beneath it.
    for (int id : {ControlId::DownloadData, ControlId::OpenFolder}) {
        QPushButton* button = w.button(id);
        QCOMPARE(client->childAt(button->geometry().center()), button);
    }
}

void MainWindowTest::enterAndEscapeDoNothingAnywhere() {
    Window w;
    w.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.dlg.get()));
    QSignalSpy finished(w.dlg.get(), &QDialog::finished);
    int clicks = 0;
    for (int id : kButtons) {
        connect(w.button(id), &QPushButton::clicked, this, [&clicks] { ++clicks; });
    }
    // Enable every button, so that a default button could be pressed if one existed.
    for (int id : kButtons) {
        w.button(id)->setEnabled(true);
    }
    w.dlg->comm().blockSignals(true); // Open Port on an empty list is not what this is about

    QList<QWidget*> targets;
    for (int id : kEdits) {
        targets << w.edit(id);
    }
    auto* combo = w.control<QComboBox>(ControlId::PortCombo);
    combo->setEditText(QStringLiteral("COM7"));
    targets << combo << combo->lineEdit() << w.button(ControlId::Exit)
            << w.control<QTableWidget>(ControlId::ChannelList) << w.dlg.get();
    for (QWidget* target : targets) {
        target->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(target, key);
            QTest::keyClick(target, key, Qt::KeypadModifier);
        }
    }
    QCoreApplication::processEvents();
    QVERIFY(w.dlg->isVisible());
    QCOMPARE(finished.count(), 0);
    QCOMPARE(clicks, 0);
    QCOMPARE(combo->count(), 0); // Enter in the port text adds no entry
    QCOMPARE(combo->currentText(), QStringLiteral("COM7"));
    QCOMPARE(w.messages.count(), 0);

    // Other keys still reach the fields.
    w.edit(ControlId::SendText)->setFocus();
    QTest::keyClicks(w.edit(ControlId::SendText), QStringLiteral("01"));
    QCOMPARE(w.edit(ControlId::SendText)->text(), QStringLiteral("01"));
}

void MainWindowTest::exitRefusesFieldsThatAreNoNumberInRange() {
    Window w;
    w.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.dlg.get()));
    QSignalSpy finished(w.dlg.get(), &QDialog::finished);
    QLineEdit* channel = w.edit(ControlId::ChannelCount);
    QLineEdit* total = w.edit(ControlId::RecordTotal);

    const QList<std::tuple<QString, QString, QLineEdit*, const char*>> refused{
        {QStringLiteral("300"), QStringLiteral("0"), channel, "255"},
        {QStringLiteral("x"), QStringLiteral("0"), channel, "255"},
        {QString(), QStringLiteral("0"), channel, "255"},
        {QStringLiteral("-1"), QStringLiteral("0"), channel, "255"},
        {QStringLiteral("255"), QStringLiteral("4294967296"), total, "4294967295"},
        {QStringLiteral("255"), QStringLiteral("12x"), total, "4294967295"}};
    for (const auto& [channelText, totalText, culprit, range] : refused) {
        channel->setText(channelText);
        total->setText(totalText);
        w.messages.clear();
        w.button(ControlId::Exit)->setFocus();
        QTest::mouseClick(w.button(ControlId::Exit), Qt::LeftButton);
        QVERIFY(waitUntil([&] { return w.messages.count() == 1; }));
        QVERIFY(w.dlg->isVisible());
        QCOMPARE(finished.count(), 0);
        const QString message = w.messages.texts().first();
        QVERIFY2(message.contains(culprit->accessibleName()) &&
                     message.contains(QLatin1String(range)),
                 qPrintable(message));
        QCOMPARE(QApplication::focusWidget(), culprit);
    }

    channel->setText(QStringLiteral(" 255 "));
    total->setText(QStringLiteral("4294967295"));
    w.messages.clear();
    QTest::mouseClick(w.button(ControlId::Exit), Qt::LeftButton);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toInt(), int(QDialog::Accepted));
    QCoreApplication::processEvents();
    QCOMPARE(w.messages.count(), 0);
}

void MainWindowTest::closeBoxEndsTheDialog() {
    Window w;
    w.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.dlg.get()));
    QSignalSpy finished(w.dlg.get(), &QDialog::finished);
    // Even with a field that doesn't parse: closing cancels and collects nothing.
    w.edit(ControlId::ChannelCount)->setText(QStringLiteral("x"));
    w.dlg->close();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toInt(), int(QDialog::Rejected));
}

namespace {

// Runs trigger, which opens a modal box; returns the box's texts once it has appeared, and
// closes it.
template <typename Box> QString textOfModalBox(const std::function<void()>& trigger) {
    QString seen;
    bool appeared = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<Box*>(QApplication::activeModalWidget())) {
            appeared = true;
            for (QLabel* label : box->template findChildren<QLabel*>()) {
                seen += label->text() + QLatin1Char('\n');
            }
            box->accept();
        }
    });
    poll.start();
    trigger();
    waitUntil([&] { return appeared; }, 5000);
    return appeared ? seen : QString();
}

} // namespace

void MainWindowTest::aboutIsReachedThroughTheContextMenu() {
    Window w;
    w.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.dlg.get()));

    // A right click on the window brings up its menu, which ends with a separator and the
    // About item.
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5),
                            w.dlg->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(w.dlg.get(), &click);
    QMenu& menu = w.dlg->systemMenu();
    QVERIFY(waitUntil([&] { return menu.isVisible(); }));
    const QList<QAction*> actions = menu.actions();
    QVERIFY(actions.size() >= 2);
    QVERIFY(actions.at(actions.size() - 2)->isSeparator());
    QAction* about = actions.last();
    QCOMPARE(about->text(), QStringLiteral("About Trellmo(&A)..."));
    menu.hide();

    const QString text = textOfModalBox<CAboutDlg>([&] { about->trigger(); });
    QVERIFY2(text.contains(QLatin1String("Trellmo")), qPrintable(text));
    QVERIFY(w.dlg->isVisible());
    QCOMPARE(w.messages.count(), 0);
}

void MainWindowTest::aboutButtonShowsTheAboutBox() {
    Window w;
    w.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.dlg.get()));
    const QString text = textOfModalBox<CAboutDlg>(
        [&] { QTest::mouseClick(w.button(ControlId::About), Qt::LeftButton); });
    QVERIFY2(text.contains(QLatin1String("Trellmo")), qPrintable(text));
    QVERIFY(w.dlg->isVisible());
}

void MainWindowTest::messagesAppearInARealMessageBox() {
    QTemporaryDir devices;
    CTrellmoDlg dlg(DialogSettings{devices.path(), {}});
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    controlOf<QLineEdit>(dlg, ControlId::ChannelCount)->setText(QStringLiteral("x"));

    // The box comes after the handler has returned, from the event loop.
    bool handlerReturned = false;
    const QString text = textOfModalBox<QMessageBox>([&] {
        QTest::mouseClick(controlOf<QPushButton>(dlg, ControlId::Exit), Qt::LeftButton);
        handlerReturned = QApplication::activeModalWidget() == nullptr;
    });
    QVERIFY(handlerReturned);
    QVERIFY2(text.contains(QLatin1String("Channel")), qPrintable(text));
    QVERIFY(dlg.isVisible());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
