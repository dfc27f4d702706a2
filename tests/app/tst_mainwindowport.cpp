// The main window on pseudo-terminal ports: the port list, Open Port / Close Port, refused
// opens, Check port while a port is open, a device that vanishes, and the timers and the
// communication event driving the instrument protocol.
#include "controls.h"
#include "cputime.h"
#include "eventwait.h"
#include "masterside.h"
#include "windowfixture.h"

#include "app/mainwindow/trellmodlg.h"
#include "serial/mscomm1.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPort>
#include <QTest>

#include <termios.h>

namespace {

const QByteArray kChannelCountRequest = QByteArray::fromHex("010300020001CA25");

void verifyClosedState(const WindowFixture& w) {
    QCOMPARE(w.button(ControlId::OpenPort)->text(), QStringLiteral("Open Port"));
    QVERIFY(w.combo()->isEnabled());
    QVERIFY(!w.button(ControlId::ReadParameter)->isEnabled());
}

void verifyOpenState(const WindowFixture& w) {
    QCOMPARE(w.button(ControlId::OpenPort)->text(), QStringLiteral("Close Port"));
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
    void timersAndReceiveEventDriveTheInstrumentLink();
};

void MainWindowPortTest::portListShowsLinkedPortsInOrderWithTheirDevices() {
    WindowFixture w({"ttyACM0", "ttyUSB1", "ttyUSB0"});
    QCOMPARE(w.portEntries(), (QStringList{"COM1", "COM2", "COM33"}));
    const QStringList devices{"ttyUSB0", "ttyUSB1", "ttyACM0"};
    for (int i = 0; i < devices.size(); ++i) {
        QCOMPARE(w.combo()->itemData(i, Qt::ToolTipRole).toString(),
                 w.devices.devicePath(devices[i]));
    }
    QCOMPARE(w.combo()->currentText(), QStringLiteral("COM1"));
    QVERIFY(w.button(ControlId::OpenPort)->isEnabled());
    verifyClosedState(w);

    // Check port finds what appeared and drops what went away; with nothing left, Open Port
    // is disabled.
    QVERIFY(w.devices.add(QStringLiteral("ttyUSB5")) != nullptr);
    w.devices.unlink(QStringLiteral("ttyUSB0"));
    w.press(ControlId::CheckPort);
    QCOMPARE(w.portEntries(), (QStringList{"COM2", "COM6", "COM33"}));
    QCOMPARE(w.combo()->currentText(), QStringLiteral("COM2"));
    for (const char* name : {"ttyUSB1", "ttyUSB5", "ttyACM0"}) {
        w.devices.unlink(QString::fromLatin1(name));
    }
    w.press(ControlId::CheckPort);
    QCOMPARE(w.combo()->count(), 0);
    QVERIFY(!w.button(ControlId::OpenPort)->isEnabled());
}

void MainWindowPortTest::openPortAndClosePortToggleTheWindow() {
    WindowFixture w({"ttyUSB0", "ttyUSB1"});
    w.combo()->setCurrentIndex(1);
    w.press(ControlId::OpenPort);
    verifyOpenState(w);
    CMscomm1& comm = w.dlg->comm();
    QCOMPARE(comm.commPort(), qint16(2));

    // The line is programmed for the instrument: 38400 bit/s, 8 data bits, no parity, 1 stop
    // bit, no handshaking, and nothing in the line discipline that would alter bytes.
    termios tio{};
    QVERIFY(::tcgetattr(comm.findChild<QSerialPort*>()->handle(), &tio) == 0);
    QCOMPARE(cfgetospeed(&tio), speed_t(B38400));
    QCOMPARE(cfgetispeed(&tio), speed_t(B38400));
    QCOMPARE(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    QCOMPARE(tio.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), tcflag_t(0));
    QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));

    // Close Port also ends a running parameter sequence: after reopening, nothing goes out
    // until Read parameter is pressed. Download Data keeps its state throughout.
    w.press(ControlId::ReadParameter);
    QCOMPARE(readFromMaster(w.instrument("ttyUSB1"), 8), kChannelCountRequest);
    w.button(ControlId::DownloadData)->setEnabled(true);
    w.press(ControlId::OpenPort);
    verifyClosedState(w);
    QVERIFY(!comm.GetPortOpen());
    QVERIFY(w.button(ControlId::DownloadData)->isEnabled());
    w.press(ControlId::OpenPort);
    verifyOpenState(w);
    QCOMPARE(drainMaster(w.instrument("ttyUSB1"), 500), QByteArray());
    w.press(ControlId::OpenPort);
    verifyClosedState(w);
    QCOMPARE(w.messages.count(), 0);
}

void MainWindowPortTest::refusedOpenLeavesCloseCaptionUntilTheNextPress() {
    WindowFixture w({"ttyUSB0"});

    // Three characters give port number 0, which the serial layer refuses.
    w.combo()->setEditText(QStringLiteral("COM"));
    w.press(ControlId::OpenPort);
    w.settle();
    QCOMPARE(w.messages.count(), 1);
    QVERIFY(w.messages.texts().first().contains(QLatin1String("COM0")));
    QCOMPARE(w.button(ControlId::OpenPort)->text(), QStringLiteral("Close Port"));
    QVERIFY(!w.button(ControlId::ReadParameter)->isEnabled());
    w.press(ControlId::OpenPort);
    verifyClosedState(w);

    // A missing device is refused at the open itself, after the port list was disabled.
    w.combo()->setEditText(QStringLiteral("COM3"));
    w.press(ControlId::OpenPort);
    w.settle();
    QCOMPARE(w.messages.count(), 2);
    QVERIFY(w.messages.texts().last().contains(w.devices.devicePath(QStringLiteral("ttyUSB2"))));
    QCOMPARE(w.button(ControlId::OpenPort)->text(), QStringLiteral("Close Port"));
    QVERIFY(!w.combo()->isEnabled());
    w.press(ControlId::OpenPort);
    verifyClosedState(w);

    // A typed port text naming a linked device opens it.
    w.combo()->setEditText(QStringLiteral("COM1"));
    w.press(ControlId::OpenPort);
    verifyOpenState(w);
    w.settle();
    QCOMPARE(w.messages.count(), 2);
}

void MainWindowPortTest::openPortSurvivesCheckPort() {
    WindowFixture w({"ttyUSB0", "ttyUSB1"});
    w.combo()->setCurrentIndex(1);
    w.press(ControlId::OpenPort);
    w.press(ControlId::CheckPort);
    QCOMPARE(w.portEntries(), (QStringList{"COM1", "COM2"}));
    QCOMPARE(w.combo()->currentText(), QStringLiteral("COM2"));
    verifyOpenState(w);

    // With no other port left the open one is still listed and can still be closed.
    w.devices.unlink(QStringLiteral("ttyUSB0"));
    w.press(ControlId::CheckPort);
    QCOMPARE(w.portEntries(), QStringList{"COM2"});
    verifyOpenState(w);
    w.press(ControlId::OpenPort);
    verifyClosedState(w);
    QVERIFY(!w.dlg->comm().GetPortOpen());
    QCOMPARE(w.messages.count(), 0);
}

void MainWindowPortTest::vanishedDeviceReturnsToClosedStateOnce() {
    WindowFixture w({"ttyUSB0"});
    w.press(ControlId::OpenPort);
    w.press(ControlId::ReadParameter);
    // Traffic in both directions, then the cable is pulled.
    QCOMPARE(readFromMaster(w.instrument(), 8), kChannelCountRequest);
    QVERIFY(writeToMaster(w.instrument(), QByteArray::fromHex("0103010401")));
    w.instrument().hangUp();

    QVERIFY(waitUntil([&] { return w.messages.count() > 0; }));
    QVERIFY2(w.messages.texts().first().contains(QLatin1String("COM1")),
             qPrintable(w.messages.texts().first()));
    verifyClosedState(w);
    QVERIFY(!w.dlg->comm().GetPortOpen());

    // No busy loop and no second message while the window stays open.
    const double before = processCpuSeconds();
    runEventLoopFor(1000);
    const double used = processCpuSeconds() - before;
    QVERIFY2(used < 0.4, qPrintable(QStringLiteral("%1 s of CPU in an idle second").arg(used)));
    QCOMPARE(w.messages.count(), 1);

    // Plugged in again and reopened: the parameter sequence stopped with the loss.
    QVERIFY(w.devices.add(QStringLiteral("ttyUSB0")) != nullptr);
    w.press(ControlId::OpenPort);
    verifyOpenState(w);
    QCOMPARE(drainMaster(w.instrument(), 500), QByteArray());
    QCOMPARE(w.messages.count(), 1);
}

void MainWindowPortTest::timersAndReceiveEventDriveTheInstrumentLink() {
    // At the tick pace (--pace tick), where each request waits for its timer.
    WindowFixture w({"ttyUSB0"}, [](DialogSettings& settings) { settings.tickPace = true; });
    w.press(ControlId::OpenPort);
    w.press(ControlId::ReadParameter);

    // Timer 1 sends step 1; its answer, split over two receive events, reaches the Receive
    // and Channel fields.
    QCOMPARE(readFromMaster(w.instrument(), 8), kChannelCountRequest);
    QVERIFY(waitUntil([&] { return w.field(ControlId::SendText) == "010300020001CA25"; }));
    const QByteArray channelCount = withInstrumentCrc(QByteArray::fromHex("01030104"));
    QVERIFY(writeToMaster(w.instrument(), channelCount.left(3)));
    QVERIFY(waitUntil([&] { return w.field(ControlId::ReceiveText) == "01 03 01 "; }));
    QVERIFY(writeToMaster(w.instrument(), channelCount.mid(3)));
    QVERIFY(waitUntil([&] { return w.field(ControlId::ChannelCount) == "4"; }));
    QCOMPARE(w.field(ControlId::ReceiveText),
             QString::fromLatin1(channelCount.toHex(' ').toUpper() + ' '));

    // Step 2 asks for the record total; a total above 0 enables Download Data.
    QCOMPARE(readFromMaster(w.instrument(), 8), QByteArray::fromHex("01030003000409B4"));
    QVERIFY(
        writeToMaster(w.instrument(), withInstrumentCrc(QByteArray::fromHex("01030400000002"))));
    QVERIFY(waitUntil([&] { return w.field(ControlId::RecordTotal) == "2"; }));
    QVERIFY(w.button(ControlId::DownloadData)->isEnabled());

    // Download Data ends the parameter sequence; timer 2 asks for record 1, again and again
    // while it stays unanswered.
    drainMaster(w.instrument(), 20);
    w.press(ControlId::DownloadData);
    const QByteArray recordOne = withInstrumentCrc(QByteArray::fromHex("014100000001"));
    const QByteArray sent = drainMaster(w.instrument(), 600);
    // A parameter request may already have been on its way when the button was pressed.
    const QByteArray records = sent.startsWith("\x01\x03") ? sent.mid(8) : sent;
    QVERIFY2(records.size() >= 3 * 8 && records.size() % 8 == 0, sent.toHex().constData());
    for (qsizetype at = 0; at < records.size(); at += 8) {
        QCOMPARE(records.mid(at, 8), recordOne);
    }
    QCOMPARE(w.field(ControlId::SendText), QString::fromLatin1(recordOne.toHex()));
    QCOMPARE(w.field(ControlId::PercentText), QStringLiteral("50.0%"));
    QCOMPARE(controlOf<QProgressBar>(*w.dlg, ControlId::Progress)->value(), 50);
    QCOMPARE(w.messages.count(), 0);
}

QTEST_MAIN(MainWindowPortTest)
#include "tst_mainwindowport.moc"
