// The serial line over pseudo-terminals: the port probe, what reaches the wire, what comes
// back, refusals, and a device that hangs up while open.
#include "cputime.h"
#include "eventwait.h"
#include "masterside.h"
#include "ptydevicefolder.h"
#include "terminalhangup.h"

#include "serial/mscomm1.h"
#include "serial/portprobe.h"
#include "serial/serialerror.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <functional>
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

void openAsTheWindowDoes(CMscomm1& comm, qint16 portNumber) {
    comm.SetCommPort(portNumber);
    comm.SetInBufferSize(1024);
    comm.SetOutBufferSize(512);
    comm.SetInputMode(CMscomm1::kInputModeBinary);
    comm.SetSettings(QStringLiteral("38400,n,8,1"));
    comm.SetRThreshold(1);
    comm.SetInputLen(0);
    comm.SetPortOpen(true);
}

} // namespace

class SerialLineTest : public QObject {
    Q_OBJECT
private slots:
    void probeListsOpenableDevicesInPortOrder();
    void framesReachTheWireUnchanged();
    void receivedBytesRaiseTheEventAndAreReturnedOnce();
    void refusalsCarryAClearText();
    void hangUpIsReportedOnceAndLeavesTheLoopIdle();
};

void SerialLineTest::probeListsOpenableDevicesInPortOrder() {
    PtyDeviceFolder devices;
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
            entries << port.name + QLatin1Char('=') + port.devicePath;
        }
        return entries;
    };
    QStringList all;
    for (const char* entry :
         {"COM1=ttyUSB0", "COM4=ttyUSB3", "COM34=ttyACM1", "COM67=ttyS2", "COM128=ttyAMA31"}) {
        all << QString::fromLatin1(entry).replace(
            QLatin1Char('='), QLatin1Char('=') + devices.path() + QLatin1Char('/'));
    }
    QCOMPARE(listing(0), all);

    // A port held open can't be opened exclusively again: it drops out, unless it is the one
    // this program holds.
    CMscomm1 holder{PortMap(devices.path())};
    openAsTheWindowDoes(holder, 4);
    QStringList withoutHeld = all;
    withoutHeld.removeAt(1);
    QCOMPARE(listing(0), withoutHeld);
    QCOMPARE(listing(4), all);
    holder.SetPortOpen(false);
    QCOMPARE(listing(0), all);
}

void SerialLineTest::framesReachTheWireUnchanged() {
    PtyDeviceFolder devices;
    PtyPair* instrument = devices.add(QStringLiteral("ttyUSB0"));
    QVERIFY(instrument != nullptr);
    CMscomm1 comm{PortMap(devices.path())};
    openAsTheWindowDoes(comm, 1);

    // A request frame, then every byte value: CR, LF, XON/XOFF, ^C and 0x00 pass as they are.
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
    openAsTheWindowDoes(comm, 1);
    QSignalSpy events(&comm, &CMscomm1::commEvent);

    QByteArray received;
    const auto reader = connect(&comm, &CMscomm1::commEvent, this, [&] {
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

    // Bytes nobody reads at their event stay buffered and come with the next read, once.
    disconnect(reader);
    const qsizetype before = events.count();
    QVERIFY(writeToMaster(*instrument, QByteArray::fromHex("aabb")));
    QVERIFY(waitUntil([&] { return events.count() > before; }));
    QVERIFY(writeToMaster(*instrument, QByteArray::fromHex("cc")));
    QVERIFY(waitUntil([&] { return events.count() > before + 1; }));
    QCOMPARE(comm.GetInput(), QByteArray::fromHex("aabbcc"));
    QCOMPARE(comm.GetInput(), QByteArray());
}

void SerialLineTest::refusalsCarryAClearText() {
    PtyDeviceFolder devices;
    QVERIFY(devices.add(QStringLiteral("ttyUSB0")) != nullptr);
    CMscomm1 comm{PortMap(devices.path())};

    for (qint16 number : {qint16(0), qint16(-1), qint16(129), qint16(256)}) {
        QVERIFY(refusalOf([&] {
                    comm.SetCommPort(number);
                }).contains(QStringLiteral("COM%1 is not a serial port").arg(number)));
    }
    QVERIFY(refusalOf([&] { comm.SetOutput("x"); }).contains(QLatin1String("not open")));
    QVERIFY(refusalOf([&] {
                comm.SetSettings(QStringLiteral("38400,x,8,1"));
            }).contains(QLatin1String("38400,x,8,1")));

    // COM2 maps to ttyUSB1, which isn't there.
    const QString missing = refusalOf([&] { openAsTheWindowDoes(comm, 2); });
    QVERIFY2(missing.contains(devices.devicePath(QStringLiteral("ttyUSB1"))), qPrintable(missing));
    QVERIFY(!comm.GetPortOpen());

    // Held by another user of the line.
    CMscomm1 other{PortMap(devices.path())};
    openAsTheWindowDoes(other, 1);
    const QString busy = refusalOf([&] { openAsTheWindowDoes(comm, 1); });
    QVERIFY2(busy.contains(QLatin1String("in use")), qPrintable(busy));
    QVERIFY(!comm.GetPortOpen());
    other.SetPortOpen(false);
    openAsTheWindowDoes(comm, 1);
    QVERIFY(refusalOf([&] { comm.SetPortOpen(true); }).contains(QLatin1String("already open")));

    // A missing access right is explained with the group that owns the device.
    QFile device(devices.devicePath(QStringLiteral("ttyACM0")));
    QVERIFY(device.open(QIODevice::WriteOnly));
    device.close();
    const gid_t dialout = 20;
    if (::chown(qPrintable(device.fileName()), ::getuid(), dialout) == 0) {
        QCOMPARE(SerialRefusal::owningGroup(device.fileName()), QStringLiteral("dialout"));
    }
    QVERIFY(
        SerialRefusal::permissionDenied(33, device.fileName()).contains("adduser $USER dialout"));
}

void SerialLineTest::hangUpIsReportedOnceAndLeavesTheLoopIdle() {
    PtyDeviceFolder devices;
    PtyPair* instrument = devices.add(QStringLiteral("ttyUSB0"));
    QVERIFY(instrument != nullptr);
    CMscomm1 comm{PortMap(devices.path())};
    openAsTheWindowDoes(comm, 1);
    QSignalSpy lost(&comm, &CMscomm1::portLost);

    // What the kernel does to a pulled USB adapter: reads give 0 for ever, writes fail.
    if (!hangUpTerminal(instrument->slavePath())) {
        QSKIP("hanging up a terminal needs CAP_SYS_ADMIN");
    }
    comm.SetOutput(QByteArray::fromHex("0141000000011234"));
    QVERIFY(waitUntil([&] { return lost.count() > 0; }));
    QVERIFY(!comm.GetPortOpen());
    QVERIFY(lost.first().first().toString().contains(QLatin1String("COM1")));

    const double before = processCpuSeconds();
    runEventLoopFor(1000);
    const double used = processCpuSeconds() - before;
    QVERIFY2(used < 0.3, qPrintable(QStringLiteral("%1 s of CPU in an idle second").arg(used)));
    QCOMPARE(lost.count(), 1);
}

QTEST_GUILESS_MAIN(SerialLineTest)
#include "tst_serialline.moc"
