// The main window's port handling over pseudo-terminals: the port list, Open Port / Close Port,
// refused opens, Check port while a port is open, and a device that vanishes while open.
#include "controls.h"
#include "cputime.h"
#include "eventwait.h"
#include "masterside.h"
#include "messagecapture.h"
#include "ptydevicefolder.h"

#include "app/trellmodlg.h"
#include "serial/mscomm1.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPort>
#include <QTest>

#include <memory>
#include <termios.h>

namespace {

struct Window {
    PtyDeviceFolder devices;
    MessageCapture messages;
    std::unique_ptr<CTrellmoDlg> dlg;

    explicit Window(const QStringList& deviceNames) {
        for (const QString& name : deviceNames) {
            if (devices.add(name) == nullptr) {
                qFatal("no pseudo-terminal for %s", qPrintable(name));
            }
        }
        dlg = std::make_unique<CTrellmoDlg>(DialogSettings{devices.path(), messages.presenter()});
    }

    QPushButton* button(int id) { return controlOf<QPushButton>(*dlg, id); }
    QComboBox* combo() { return controlOf<QComboBox>(*dlg, ControlId::PortCombo); }
    QString caption() { return button(ControlId::OpenPort)->text(); }
    void press(int id) { QTest::mouseClick(button(id), Qt::LeftButton); }
    QStringList entries() {
        QStringList names;
        for (int i = 0; i < combo()->count(); ++i) {
            names << combo()->itemText(i);
        }
        return names;
    }
    // Lets queued messages through.
    void settle() {
        waitUntil([] { return false; }, 30);
    }
};

void verifyClosedState(Window& w) {
    QCOMPARE(w.caption(), QStringLiteral("Open Port"));
    QVERIFY(w.combo()->isEnabled());
    QVERIFY(!w.button(ControlId::ReadParameter)->isEnabled());
}

void verifyOpenState(Window& w) {
    QCOMPARE(w.caption(), QStringLiteral("Close Port"));
    QVERIFY(w.button(ControlId::OpenPort)->isEnabled());
    QVERIFY(!w.combo()->isEnabled());
    QVERIFY(w.button(ControlId::ReadParameter)->isEnabled());
}

} // namespace

class MainWindowPortTest : public QObject {
    Q_OBJECT
private slots:
    void portListShowsLinkedPortsInOrderWithTheirDevices();
    void openPortAndClosePortToggleTheWindow();
    void refusedOpenLeavesCloseCaptionUntilTheNextPress();
    void openPortSurvivesCheckPort();
    void vanishedDeviceReturnsToClosedStateOnce();
};

void MainWindowPortTest::portListShowsLinkedPortsInOrderWithTheirDevices() {
    Window w({QStringLiteral("ttyACM0"), QStringLiteral("ttyUSB1"), QStringLiteral("ttyUSB0")});
    QCOMPARE(w.entries(), (QStringList{"COM1", "COM2", "COM33"}));
    for (int i = 0; i < 3; ++i) {
        const QString device = QStringList{"ttyUSB0", "ttyUSB1", "ttyACM0"}.at(i);
        QCOMPARE(w.combo()->itemData(i, Qt::ToolTipRole).toString(), w.devices.devicePath(device));
    }
    QCOMPARE(w.combo()->currentIndex(), 0);
    QCOMPARE(w.combo()->currentText(), QStringLiteral("COM1"));
    QVERIFY(w.button(ControlId::OpenPort)->isEnabled());
    verifyClosedState(w);

    // A device that appears later is found by Check port; one that disappears is dropped.
    QVERIFY(w.devices.add(QStringLiteral("ttyUSB5")) != nullptr);
    w.devices.unlink(QStringLiteral("ttyUSB0"));
    w.press(ControlId::CheckPort);
    QCOMPARE(w.entries(), (QStringList{"COM2", "COM6", "COM33"}));
    QCOMPARE(w.combo()->currentText(), QStringLiteral("COM2"));

    // None left: the list empties and Open Port is disabled.
    for (const char* name : {"ttyUSB1", "ttyUSB5", "ttyACM0"}) {
        w.devices.unlink(QString::fromLatin1(name));
    }
    w.press(ControlId::CheckPort);
    QCOMPARE(w.combo()->count(), 0);
    QCOMPARE(w.combo()->currentText(), QString());
    QVERIFY(!w.button(ControlId::OpenPort)->isEnabled());
    w.settle();
    QCOMPARE(w.messages.count(), 0);
}

void MainWindowPortTest::openPortAndClosePortToggleTheWindow() {
    Window w({QStringLiteral("ttyUSB0"), QStringLiteral("ttyUSB1")});
    w.combo()->setCurrentIndex(1);
    w.press(ControlId::OpenPort);
    verifyOpenState(w);
    QVERIFY(!w.button(ControlId::DownloadData)->isEnabled());
    CMscomm1& comm = w.dlg->comm();
    QVERIFY(comm.GetPortOpen());
    QCOMPARE(comm.commPort(), qint16(2));

    // The line is programmed for the instrument: 38400 bit/s, 8 data bits, no parity, 1 stop bit.
    termios tio{};
    QVERIFY(::tcgetattr(comm.findChild<QSerialPort*>()->handle(), &tio) == 0);
    QCOMPARE(cfgetospeed(&tio), speed_t(B38400));
    QCOMPARE(cfgetispeed(&tio), speed_t(B38400));
    QCOMPARE(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));

    // The window's line reaches the device it opened.
    comm.SetOutput(QByteArray::fromHex("010300020001ca25"));
    QCOMPARE(readFromMaster(*w.devices.pair(QStringLiteral("ttyUSB1")), 8),
             QByteArray::fromHex("010300020001ca25"));

    // Download Data keeps whatever state it had when the port closes.
    w.button(ControlId::DownloadData)->setEnabled(true);
    w.press(ControlId::OpenPort);
    verifyClosedState(w);
    QVERIFY(!comm.GetPortOpen());
    QVERIFY(w.button(ControlId::DownloadData)->isEnabled());

    // Opened again, and closed again.
    w.press(ControlId::OpenPort);
    verifyOpenState(w);
    w.press(ControlId::OpenPort);
    verifyClosedState(w);
    w.settle();
    QCOMPARE(w.messages.count(), 0);
}

void MainWindowPortTest::refusedOpenLeavesCloseCaptionUntilTheNextPress() {
    Window w({QStringLiteral("ttyUSB0")});

    // Three characters give port number 0, which the serial layer refuses.
    w.combo()->setEditText(QStringLiteral("COM"));
    w.press(ControlId::OpenPort);
    w.settle();
    QCOMPARE(w.messages.count(), 1);
    QVERIFY2(w.messages.texts().first().contains(QLatin1String("COM0")),
             qPrintable(w.messages.texts().first()));
    QCOMPARE(w.caption(), QStringLiteral("Close Port"));
    QVERIFY(!w.button(ControlId::ReadParameter)->isEnabled());
    QVERIFY(!w.dlg->comm().GetPortOpen());
    w.press(ControlId::OpenPort);
    verifyClosedState(w);

    // A port whose device is missing is refused when it is opened, after the port list was
    // disabled.
    w.messages.clear();
    w.combo()->setEditText(QStringLiteral("COM3"));
    w.press(ControlId::OpenPort);
    w.settle();
    QCOMPARE(w.messages.count(), 1);
    QVERIFY2(w.messages.texts().first().contains(w.devices.devicePath(QStringLiteral("ttyUSB2"))),
             qPrintable(w.messages.texts().first()));
    QCOMPARE(w.caption(), QStringLiteral("Close Port"));
    QVERIFY(!w.combo()->isEnabled());
    w.press(ControlId::OpenPort);
    verifyClosedState(w);

    // A typed port text that names a linked device opens it.
    w.combo()->setEditText(QStringLiteral("COM1"));
    w.press(ControlId::OpenPort);
    verifyOpenState(w);
    w.settle();
    QCOMPARE(w.messages.count(), 1);
}

void MainWindowPortTest::openPortSurvivesCheckPort() {
    Window w({QStringLiteral("ttyUSB0"), QStringLiteral("ttyUSB1")});
    w.combo()->setCurrentIndex(1);
    w.press(ControlId::OpenPort);
    verifyOpenState(w);

    w.press(ControlId::CheckPort);
    QCOMPARE(w.entries(), (QStringList{"COM1", "COM2"}));
    QCOMPARE(w.combo()->currentText(), QStringLiteral("COM2"));
    verifyOpenState(w);
    QVERIFY(w.dlg->comm().GetPortOpen());

    // With no other port left, the open one is still listed and can still be closed.
    w.devices.unlink(QStringLiteral("ttyUSB0"));
    w.press(ControlId::CheckPort);
    QCOMPARE(w.entries(), QStringList{"COM2"});
    verifyOpenState(w);
    w.press(ControlId::OpenPort);
    verifyClosedState(w);
    QVERIFY(!w.dlg->comm().GetPortOpen());
    w.settle();
    QCOMPARE(w.messages.count(), 0);
}

void MainWindowPortTest::vanishedDeviceReturnsToClosedStateOnce() {
    Window w({QStringLiteral("ttyUSB0")});
    w.press(ControlId::OpenPort);
    verifyOpenState(w);
    PtyPair& instrument = *w.devices.pair(QStringLiteral("ttyUSB0"));

    // Traffic in both directions: the parameter read is running and the instrument talks.
    w.press(ControlId::ReadParameter);
    for (int i = 0; i < 5; ++i) {
        QVERIFY(writeToMaster(instrument, QByteArray::fromHex("0103020004b987")));
        drainMaster(instrument, 40);
    }
    instrument.hangUp();

    QVERIFY(waitUntil([&] { return w.messages.count() > 0; }));
    QVERIFY2(w.messages.texts().first().contains(QLatin1String("COM1")),
             qPrintable(w.messages.texts().first()));
    verifyClosedState(w);
    QVERIFY(!w.dlg->comm().GetPortOpen());

    // No busy loop, no second message, however long the window stays open.
    const double before = processCpuSeconds();
    runEventLoopFor(1000);
    const double used = processCpuSeconds() - before;
    QVERIFY2(used < 0.4, qPrintable(QStringLiteral("%1 s of CPU in an idle second").arg(used)));
    QCOMPARE(w.messages.count(), 1);
}

QTEST_MAIN(MainWindowPortTest)
#include "tst_mainwindowport.moc"
