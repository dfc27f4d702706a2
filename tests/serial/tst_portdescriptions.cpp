// What the port list tells about a port: the tooltip that tells two adapters apart, and the
// hint naming devices that exist but cannot be opened, with the command that gives access.
#include "ptydevicefolder.h"

#include "serial/adapteridentity.h"
#include "serial/portaccesshint.h"
#include "serial/portprobe.h"

#include <QFile>
#include <QSerialPort>
#include <QTest>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The group a hint must name for a device, worked out here without the program's helper.
QString groupOf(const QString& devicePath) {
    struct stat info {};
    if (::stat(devicePath.toLocal8Bit().constData(), &info) != 0 || info.st_gid == 0) {
        return QStringLiteral("dialout");
    }
    const group* entry = ::getgrgid(info.st_gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QStringLiteral("dialout");
}

} // namespace

class PortDescriptionsTest : public QObject {
    Q_OBJECT
private slots:
    void toolTipNamesTheDeviceAndWhatIsKnownOfTheAdapter_data();
    void toolTipNamesTheDeviceAndWhatIsKnownOfTheAdapter();
    void pseudoTerminalHasNoAdapterIdentity();
    void hintNamesRefusedPortsWithTheirGroupsCommandAndBusyPorts();
    void probeSortsDevicesByWhatOpeningThemFound();
    void portHeldByAnotherOpenIsBusyNotMissing();
    void deviceThisUserMayNotOpenIsRefused();
};

void PortDescriptionsTest::toolTipNamesTheDeviceAndWhatIsKnownOfTheAdapter_data() {
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("maker");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("toolTip");
    const QString dev = QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("all parts") << "FT232R USB UART"
                               << "FTDI"
                               << "A50285BI"
                               << dev + "\nFT232R USB UART\nMaker: FTDI\nSerial number: A50285BI";
    QTest::newRow("nothing known") << ""
                                   << ""
                                   << "" << dev;
    QTest::newRow("description only") << "CP2102 USB to UART Bridge Controller"
                                      << ""
                                      << "" << dev + "\nCP2102 USB to UART Bridge Controller";
    QTest::newRow("maker only") << ""
                                << "Prolific"
                                << "" << dev + "\nMaker: Prolific";
    QTest::newRow("serial number only") << ""
                                        << ""
                                        << "0001" << dev + "\nSerial number: 0001";
    QTest::newRow("no serial number") << "USB-Serial Controller"
                                      << "Prolific"
                                      << "" << dev + "\nUSB-Serial Controller\nMaker: Prolific";
    // Some adapters report their maker as their description too; it is said once.
    QTest::newRow("maker as description") << "FTDI"
                                          << "FTDI"
                                          << "X1" << dev + "\nFTDI\nSerial number: X1";
}

void PortDescriptionsTest::toolTipNamesTheDeviceAndWhatIsKnownOfTheAdapter() {
    QFETCH(QString, description);
    QFETCH(QString, maker);
    QFETCH(QString, serial);
    QFETCH(QString, toolTip);
    QCOMPARE(portToolTip(QStringLiteral("/dev/ttyUSB0"), {description, maker, serial}), toolTip);
}

void PortDescriptionsTest::pseudoTerminalHasNoAdapterIdentity() {
    PtyDeviceFolder devices;
    QVERIFY(devices.add(QStringLiteral("ttyUSB0")) != nullptr);
    const QString path = devices.devicePath(QStringLiteral("ttyUSB0"));
    const AdapterIdentity identity = adapterIdentityOf(path);
    QVERIFY(identity.description.isEmpty() && identity.manufacturer.isEmpty() &&
            identity.serialNumber.isEmpty());
    QCOMPARE(portToolTip(path, identity), path);
}

void PortDescriptionsTest::hintNamesRefusedPortsWithTheirGroupsCommandAndBusyPorts() {
    PtyDeviceFolder devices;
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyACM0"}) {
        QVERIFY(devices.add(QString::fromLatin1(name)) != nullptr);
    }
    const ProbedPort usb0{1, "COM1", devices.devicePath("ttyUSB0")};
    const ProbedPort usb1{2, "COM2", devices.devicePath("ttyUSB1")};
    const ProbedPort acm0{33, "COM33", devices.devicePath("ttyACM0")};
    const QString group = groupOf(usb0.devicePath);
    const QString command =
        QStringLiteral("sudo adduser \"$USER\" %1, then log out and in again.").arg(group);

    QCOMPARE(portAccessHint({{usb0}, {}, {}}), QString());

    QCOMPARE(portAccessHint({{}, {usb0}, {}}),
             QStringLiteral("COM1 (%1): access refused. To use it, run %2")
                 .arg(usb0.devicePath, command));

    // Devices of one group share one sentence; a busy device is told apart from a refused one.
    const QString both = portAccessHint({{}, {usb0, usb1}, {acm0}});
    QCOMPARE(both, QStringLiteral("COM1 (%1), COM2 (%2): access refused. To use it, run %3 "
                                  "COM33 (%4): busy, in use by another program.")
                       .arg(usb0.devicePath, usb1.devicePath, command, acm0.devicePath));
    const QString busyOnly = portAccessHint({{usb0}, {}, {acm0}});
    QVERIFY(!busyOnly.contains(QLatin1String("refused")));
    QVERIFY(!busyOnly.contains(QLatin1String("adduser")));
    QVERIFY(busyOnly.contains(QLatin1String("COM33")) && busyOnly.contains(QLatin1String("busy")));
}

void PortDescriptionsTest::probeSortsDevicesByWhatOpeningThemFound() {
    PtyDeviceFolder devices;
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB3", "ttyACM0"}) {
        QVERIFY(devices.add(QString::fromLatin1(name)) != nullptr);
    }
    const PortMap ports(devices.path());
    const auto answer = [&](const QString& path) {
        if (path.endsWith(QLatin1String("ttyUSB1"))) {
            return PortAccess::Refused;
        }
        if (path.endsWith(QLatin1String("ttyUSB2"))) {
            return PortAccess::Busy;
        }
        if (path.endsWith(QLatin1String("ttyUSB3"))) {
            return PortAccess::Failed;
        }
        return checkPortAccess(path);
    };
    const PortProbe probe = probePortAccess(ports, 0, answer);
    const auto names = [](const QList<ProbedPort>& list) {
        QStringList out;
        for (const ProbedPort& port : list) {
            out << port.name;
        }
        return out;
    };
    QCOMPARE(names(probe.openable), (QStringList{"COM1", "COM33"}));
    QCOMPARE(names(probe.refused), QStringList{"COM2"});
    QCOMPARE(names(probe.busy), QStringList{"COM3"});
    QCOMPARE(probe.refused.first().devicePath, devices.devicePath("ttyUSB1"));

    // The port this program holds is listed without being tried.
    const PortProbe held = probePortAccess(ports, 2, answer);
    QCOMPARE(names(held.openable), (QStringList{"COM1", "COM2", "COM33"}));
    QVERIFY(held.refused.isEmpty());
}

void PortDescriptionsTest::portHeldByAnotherOpenIsBusyNotMissing() {
    PtyDeviceFolder devices;
    QVERIFY(devices.add(QStringLiteral("ttyUSB0")) != nullptr);
    const QString path = devices.devicePath(QStringLiteral("ttyUSB0"));
    QCOMPARE(checkPortAccess(path), PortAccess::Openable);
    QSerialPort holder;
    holder.setPortName(path);
    QVERIFY(holder.open(QIODevice::ReadWrite));
    QCOMPARE(checkPortAccess(path), PortAccess::Busy);
    holder.close();
    QCOMPARE(checkPortAccess(path), PortAccess::Openable);
    devices.unlink(QStringLiteral("ttyUSB0"));
    QCOMPARE(checkPortAccess(path), PortAccess::Failed);
}

void PortDescriptionsTest::deviceThisUserMayNotOpenIsRefused() {
    // The real refusal, without the seam: a child process gives up root for an unprivileged
    // user, who may not open the pseudo-terminal (owned by root, no access for others).
    if (::geteuid() != 0) {
        QSKIP("needs root to become another user");
    }
    PtyDeviceFolder devices;
    QVERIFY(devices.add(QStringLiteral("ttyUSB0")) != nullptr);
    // The folder itself must not be what stops the user.
    QVERIFY(QFile::setPermissions(
        devices.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                            QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
    const QByteArray path = devices.devicePath(QStringLiteral("ttyUSB0")).toLocal8Bit();
    struct stat info {};
    QVERIFY(::stat(path.constData(), &info) == 0);
    if ((info.st_mode & S_IROTH) != 0 || (info.st_mode & S_IWOTH) != 0) {
        QSKIP("pseudo-terminals are open to everybody here");
    }

    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(99);
        }
        ::_exit(10 + int(checkPortAccess(QString::fromLocal8Bit(path))));
    }
    int status = 0;
    QVERIFY(::waitpid(child, &status, 0) == child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 10 + int(PortAccess::Refused));
}

QTEST_MAIN(PortDescriptionsTest)
#include "tst_portdescriptions.moc"
