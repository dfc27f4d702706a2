// The serial line over pseudo-terminals: what reaches the wire, what comes back, refusals and a
// device that goes away while open.
#include "cputime.h"
#include "eventwait.h"
#include "masterside.h"
#include "ptydevicefolder.h"
#include "terminalhangup.h"

#include "serial/mscomm1.h"
#include "serial/portprobe.h"
#include "serial/serialerror.h"

#include <QFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString refusalOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const SerialError& error) {
        return error.text();
    }
    return {};
}

termios termiosOf(CMscomm1& comm) {
    termios tio{};
    auto* port = comm.findChild<QSerialPort*>();
    if (port == nullptr || ::tcgetattr(port->handle(), &tio) != 0) {
        qFatal("no open serial port to inspect");
    }
    return tio;
}

void openAsTheWindowDoes(CMscomm1& comm, qint16 portNumber, const QString& settings) {
    comm.SetCommPort(portNumber);
    comm.SetInBufferSize(1024);
    comm.SetOutBufferSize(512);
    comm.SetInputMode(CMscomm1::kInputModeBinary);
    comm.SetSettings(settings);
    comm.SetRThreshold(1);
    comm.SetInputLen(0);
    comm.SetPortOpen(true);
}

} // namespace

class SerialLineTest : public QObject {
    Q_OBJECT
private slots:
    void probeListsOpenableDevicesInPortOrder();
    void openProgramsTheLineSettings_data();
    void openProgramsTheLineSettings();
    void framesReachTheWireUnchanged();
    void receivedBytesRaiseTheEventAndAreReturnedOnce();
    void refusalsCarryAClearText();
    void permissionRefusalSaysWhatToDo();
    void masterHangUpIsReportedOnceAndLeavesTheLoopIdle();
    void terminalHangUpIsReportedOnceAndLeavesTheLoopIdle();
};

void SerialLineTest::probeListsOpenableDevicesInPortOrder() {
    PtyDeviceFolder devices;
    QVERIFY(devices.isValid());
    // Added out of order; the probe must list them by port number.
    for (const char* name : {"ttyAMA31", "ttyUSB3", "ttyS2", "ttyUSB0", "ttyACM1"}) {
        QVERIFY(devices.add(QString::fromLatin1(name)) != nullptr);
    }
    // Neither a plain file nor a link to nothing is a port.
    QFile plain(devices.devicePath(QStringLiteral("ttyUSB5")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(QFile::link(devices.path() + QStringLiteral("/gone"),
                        devices.devicePath(QStringLiteral("ttyUSB7"))));

    const PortMap ports(devices.path());
    const auto listing = [&](int heldPort) {
        QStringList entries;
        for (const ProbedPort& port : probePorts(ports, heldPort)) {
            entries << port.name + QLatin1Char('=') + port.devicePath.section(QLatin1Char('/'), -1);
        }
        return entries;
    };
    const QStringList all{QStringLiteral("COM1=ttyUSB0"), QStringLiteral("COM4=ttyUSB3"),
                          QStringLiteral("COM34=ttyACM1"), QStringLiteral("COM67=ttyS2"),
                          QStringLiteral("COM128=ttyAMA31")};
    QCOMPARE(listing(0), all);
    QCOMPARE(probePorts(ports, 0).first().devicePath,
             devices.devicePath(QStringLiteral("ttyUSB0")));

    // A port held open can't be opened exclusively again: it drops out, unless it is the one
    // this program holds, which stays listed.
    CMscomm1 holder{PortMap(devices.path())};
    openAsTheWindowDoes(holder, 4, QStringLiteral("38400,n,8,1"));
    QStringList withoutHeld = all;
    withoutHeld.removeAt(1);
    QCOMPARE(listing(0), withoutHeld);
    QCOMPARE(listing(4), all);
    holder.SetPortOpen(false);
    QCOMPARE(listing(0), all);
}

void SerialLineTest::openProgramsTheLineSettings_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<tcflag_t>("characterSize");
    QTest::addColumn<tcflag_t>("parityFlags");
    QTest::addColumn<bool>("twoStopBits");
    QTest::newRow("the instrument's line") << QStringLiteral("38400,n,8,1") << speed_t(B38400)
                                           << tcflag_t(CS8) << tcflag_t(0) << false;
    // A pseudo-terminal keeps speed and stop bits but forces 8 data bits without parity, so
    // those two are checked where the settings text is read.
    QTest::newRow("other speed, two stop bits")
        << QStringLiteral("9600,n,8,2") << speed_t(B9600) << tcflag_t(CS8) << tcflag_t(0) << true;
}

void SerialLineTest::openProgramsTheLineSettings() {
    QFETCH(QString, settings);
    QFETCH(speed_t, speed);
    QFETCH(tcflag_t, characterSize);
    QFETCH(tcflag_t, parityFlags);
    QFETCH(bool, twoStopBits);

    PtyDeviceFolder devices;
    QVERIFY(devices.add(QStringLiteral("ttyUSB1")) != nullptr);
    CMscomm1 comm{PortMap(devices.path())};
    openAsTheWindowDoes(comm, 2, settings);
    QVERIFY(comm.GetPortOpen());

    const termios tio = termiosOf(comm);
    QCOMPARE(cfgetospeed(&tio), speed);
    QCOMPARE(cfgetispeed(&tio), speed);
    QCOMPARE(tio.c_cflag & CSIZE, characterSize);
    QCOMPARE(tio.c_cflag & (PARENB | PARODD), parityFlags);
    QCOMPARE((tio.c_cflag & CSTOPB) != 0, twoStopBits);
    // No handshaking, and nothing in the line discipline that would alter bytes.
    QCOMPARE(tio.c_cflag & CRTSCTS, tcflag_t(0));
    QCOMPARE(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP), tcflag_t(0));
    QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(tio.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));

    // Settings given while the port is open take effect at once.
    comm.SetSettings(QStringLiteral("19200,n,8,2"));
    const termios changed = termiosOf(comm);
    QCOMPARE(cfgetospeed(&changed), speed_t(B19200));
    QVERIFY((changed.c_cflag & CSTOPB) != 0);
}

void SerialLineTest::framesReachTheWireUnchanged() {
    PtyDeviceFolder devices;
    PtyPair* instrument = devices.add(QStringLiteral("ttyUSB0"));
    QVERIFY(instrument != nullptr);
    CMscomm1 comm{PortMap(devices.path())};
    openAsTheWindowDoes(comm, 1, QStringLiteral("38400,n,8,1"));

    // A request frame, then every byte value: CR, LF, XON/XOFF, ^C and 0x00 must pass as they are.
    const QByteArray request = QByteArray::fromHex("010300020001ca25");
    QByteArray everyByte;
    for (int value = 0; value < 256; ++value) {
        everyByte.append(static_cast<char>(value));
    }
    comm.SetOutput(request);
    QCOMPARE(readFromMaster(*instrument, request.size()), request);
    comm.SetOutput(everyByte);
    QCOMPARE(readFromMaster(*instrument, everyByte.size()), everyByte);
    QCOMPARE(drainMaster(*instrument, 100), QByteArray());
}

void SerialLineTest::receivedBytesRaiseTheEventAndAreReturnedOnce() {
    PtyDeviceFolder devices;
    PtyPair* instrument = devices.add(QStringLiteral("ttyUSB0"));
    QVERIFY(instrument != nullptr);
    CMscomm1 comm{PortMap(devices.path())};
    openAsTheWindowDoes(comm, 1, QStringLiteral("38400,n,8,1"));
    QSignalSpy events(&comm, &CMscomm1::commEvent);

    QByteArray received;
    connect(&comm, &CMscomm1::commEvent, this, [&] {
        QCOMPARE(comm.GetCommEvent(), CMscomm1::kEventReceive);
        received += comm.GetInput();
        QCOMPARE(comm.GetInput(), QByteArray());
    });
    const QByteArray answer = QByteArray::fromHex("0103020004b9870d0a");
    QVERIFY(writeToMaster(*instrument, answer.left(4)));
    QVERIFY(waitUntil([&] { return received.size() == 4; }));
    QVERIFY(writeToMaster(*instrument, answer.mid(4)));
    QVERIFY(waitUntil([&] { return received.size() == answer.size(); }));
    QCOMPARE(received, answer);
    QVERIFY(events.count() >= 2);

    // Bytes nobody reads at the event stay buffered and come with the next read, once.
    disconnect(&comm, &CMscomm1::commEvent, this, nullptr);
    QVERIFY(writeToMaster(*instrument, QByteArray::fromHex("aabb")));
    QVERIFY(waitUntil([&] { return events.count() >= 3; }));
    QVERIFY(writeToMaster(*instrument, QByteArray::fromHex("cc")));
    QVERIFY(waitUntil([&] { return events.count() >= 4; }));
    QCOMPARE(comm.GetInput(), QByteArray::fromHex("aabbcc"));
    QCOMPARE(comm.GetInput(), QByteArray());
}

void SerialLineTest::refusalsCarryAClearText() {
    PtyDeviceFolder devices;
    QVERIFY(devices.add(QStringLiteral("ttyUSB0")) != nullptr);
    CMscomm1 comm{PortMap(devices.path())};

    for (qint16 number : {qint16(0), qint16(-1), qint16(129), qint16(256)}) {
        QVERIFY2(refusalOf([&] {
                     comm.SetCommPort(number);
                 }).contains(QStringLiteral("COM%1 is not a serial port").arg(number)),
                 qPrintable(QString::number(number)));
    }
    QVERIFY(refusalOf([&] { comm.SetOutput("x"); }).contains(QLatin1String("not open")));
    QVERIFY(refusalOf([&] {
                comm.SetSettings(QStringLiteral("38400,x,8,1"));
            }).contains(QLatin1String("38400,x,8,1")));
    QVERIFY(refusalOf([&] { comm.SetSettings(QStringLiteral("38400,n,8")); }).size() > 0);
    QVERIFY(refusalOf([&] { comm.SetSettings(QStringLiteral("fast,n,8,1")); }).size() > 0);

    // COM2 maps to ttyUSB1, which isn't there.
    const QString missing = refusalOf([&] { openAsTheWindowDoes(comm, 2, "38400,n,8,1"); });
    QVERIFY2(missing.contains(devices.devicePath(QStringLiteral("ttyUSB1"))), qPrintable(missing));
    QVERIFY(missing.contains(QLatin1String("not present")));
    QVERIFY(!comm.GetPortOpen());

    // Held by another user of the line.
    CMscomm1 other{PortMap(devices.path())};
    openAsTheWindowDoes(other, 1, QStringLiteral("38400,n,8,1"));
    const QString busy = refusalOf([&] { openAsTheWindowDoes(comm, 1, "38400,n,8,1"); });
    QVERIFY2(busy.contains(QLatin1String("in use")), qPrintable(busy));
    QVERIFY(!comm.GetPortOpen());

    other.SetPortOpen(false);
    openAsTheWindowDoes(comm, 1, QStringLiteral("38400,n,8,1"));
    QVERIFY(comm.GetPortOpen());
    QVERIFY(refusalOf([&] { comm.SetPortOpen(true); }).contains(QLatin1String("already open")));
    QVERIFY(refusalOf([&] { comm.SetCommPort(2); }).contains(QLatin1String("COM1 is open")));
}

void SerialLineTest::permissionRefusalSaysWhatToDo() {
    PtyDeviceFolder devices;
    PtyPair* pair = devices.add(QStringLiteral("ttyUSB0"));
    QVERIFY(pair != nullptr);

    // The advice names the group that owns the device.
    QFile device(devices.devicePath(QStringLiteral("ttyACM0")));
    QVERIFY(device.open(QIODevice::WriteOnly));
    device.close();
    const gid_t dialout = 20;
    if (::chown(qPrintable(device.fileName()), ::getuid(), dialout) == 0) {
        QCOMPARE(SerialRefusal::owningGroup(device.fileName()), QStringLiteral("dialout"));
    }
    const QString text = SerialRefusal::permissionDenied(33, device.fileName());
    QVERIFY(text.contains(QLatin1String("dialout")));
    QVERIFY(text.contains(QLatin1String("adduser")));

    if (::geteuid() == 0) {
        QSKIP("root may open any device; the refusal itself needs an ordinary user");
    }
    QVERIFY(::chmod(qPrintable(pair->slavePath()), 0) == 0);
    CMscomm1 comm{PortMap(devices.path())};
    const QString refusal = refusalOf([&] { openAsTheWindowDoes(comm, 1, "38400,n,8,1"); });
    QVERIFY2(refusal.contains(QLatin1String("no permission")), qPrintable(refusal));
}

void SerialLineTest::masterHangUpIsReportedOnceAndLeavesTheLoopIdle() {
    PtyDeviceFolder devices;
    PtyPair* instrument = devices.add(QStringLiteral("ttyUSB0"));
    QVERIFY(instrument != nullptr);
    CMscomm1 comm{PortMap(devices.path())};
    openAsTheWindowDoes(comm, 1, QStringLiteral("38400,n,8,1"));
    QSignalSpy lost(&comm, &CMscomm1::portLost);
    connect(&comm, &CMscomm1::commEvent, this, [&] { comm.GetInput(); });

    QVERIFY(writeToMaster(*instrument, QByteArray(40, '\x55')));
    comm.SetOutput(QByteArray::fromHex("0141000000011234"));
    instrument->hangUp();
    comm.SetOutput(QByteArray::fromHex("0141000000021234"));

    QVERIFY(waitUntil([&] { return lost.count() > 0; }));
    QVERIFY(!comm.GetPortOpen());
    QVERIFY(lost.first().first().toString().contains(QLatin1String("COM1")));

    const double before = processCpuSeconds();
    runEventLoopFor(1000);
    const double used = processCpuSeconds() - before;
    QVERIFY2(used < 0.3, qPrintable(QStringLiteral("%1 s of CPU in an idle second").arg(used)));
    QCOMPARE(lost.count(), 1);
}

void SerialLineTest::terminalHangUpIsReportedOnceAndLeavesTheLoopIdle() {
    PtyDeviceFolder devices;
    PtyPair* instrument = devices.add(QStringLiteral("ttyUSB0"));
    QVERIFY(instrument != nullptr);
    CMscomm1 comm{PortMap(devices.path())};
    openAsTheWindowDoes(comm, 1, QStringLiteral("38400,n,8,1"));
    QSignalSpy lost(&comm, &CMscomm1::portLost);

    // A pulled USB adapter: reads give 0 for ever, no read error at all.
    if (!hangUpTerminal(instrument->slavePath())) {
        QSKIP("hanging up a terminal needs CAP_SYS_ADMIN");
    }
    QVERIFY(waitUntil([&] { return lost.count() > 0; }));
    QVERIFY(!comm.GetPortOpen());

    const double before = processCpuSeconds();
    runEventLoopFor(1000);
    const double used = processCpuSeconds() - before;
    QVERIFY2(used < 0.3, qPrintable(QStringLiteral("%1 s of CPU in an idle second").arg(used)));
    QCOMPARE(lost.count(), 1);
}

QTEST_GUILESS_MAIN(SerialLineTest)
#include "tst_serialline.moc"
