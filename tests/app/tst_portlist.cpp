// The main window's port list following the devices by itself: adapters plugged in and pulled
// out while the window is open, with a port open, with an entry chosen or a port text typed;
// and the hint line naming devices whose access is refused or that another program holds.
#include "controls.h"
#include "cputime.h"
#include "eventwait.h"
#include "masterside.h"
#include "windowfixture.h"

#include "app/mainwindow/portlistpresenter.h"
#include "app/mainwindow/trellmodlg.h"
#include "serial/mscomm1.h"
#include "serial/portwatcher.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <grp.h>
#include <sys/stat.h>

namespace {

// What the user is promised: the list follows a plugged or pulled adapter within two seconds.
constexpr int kFollowLimitMs = 2000;

const QByteArray kChannelCountRequest = QByteArray::fromHex("010300020001CA25");

// Waits for the list to read expected; QVERIFYs that it did within the promised time.
bool listBecomes(const WindowFixture& w, const QStringList& expected, qint64* tookMs = nullptr) {
    QElapsedTimer clock;
    clock.start();
    const bool reached =
        waitUntil([&] { return w.portEntries() == expected; }, kFollowLimitMs + 500);
    if (tookMs != nullptr) {
        *tookMs = clock.elapsed();
    }
    return reached && clock.elapsed() <= kFollowLimitMs;
}

QLabel* hintOf(const WindowFixture& w) {
    return w.dlg->findChild<QLabel*>(QStringLiteral("portHint"));
}

QString groupOf(const QString& devicePath) {
    struct stat info {};
    if (::stat(devicePath.toLocal8Bit().constData(), &info) != 0 || info.st_gid == 0) {
        return QStringLiteral("dialout");
    }
    const group* entry = ::getgrgid(info.st_gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QStringLiteral("dialout");
}

} // namespace

class PortListTest : public QObject {
    Q_OBJECT
private slots:
    void pluggedAndPulledAdaptersAppearAndGoWithoutCheckPort();
    void openPortAndChosenEntrySurviveOtherDevicesComingAndGoing();
    void typedPortTextIsKept();
    void droppedDownListWaitsUntilClosed();
    void watchingCostsNoCpuWhileNothingChanges();
    void refusedAndBusyDevicesAreNamedOnceBelowTheControls();
};

void PortListTest::pluggedAndPulledAdaptersAppearAndGoWithoutCheckPort() {
    WindowFixture w;
    QVERIFY(w.dlg->portList().watcher().isWatching());
    QCOMPARE(w.combo()->count(), 0);
    QVERIFY(!w.button(ControlId::OpenPort)->isEnabled());

    qint64 took = 0;
    QVERIFY(w.devices.add(QStringLiteral("ttyUSB0")) != nullptr);
    QVERIFY2(listBecomes(w, {"COM1"}, &took), qPrintable(QString::number(took)));
    QCOMPARE(w.combo()->currentText(), QStringLiteral("COM1"));
    QCOMPARE(w.combo()->itemData(0, Qt::ToolTipRole).toString(),
             w.devices.devicePath(QStringLiteral("ttyUSB0")));
    QVERIFY(w.button(ControlId::OpenPort)->isEnabled());

    QVERIFY(w.devices.add(QStringLiteral("ttyACM0")) != nullptr);
    QVERIFY(listBecomes(w, {"COM1", "COM33"}));
    QCOMPARE(w.combo()->currentText(), QStringLiteral("COM1"));

    w.devices.unlink(QStringLiteral("ttyUSB0"));
    QVERIFY(listBecomes(w, {"COM33"}));
    QCOMPARE(w.combo()->currentText(), QStringLiteral("COM33"));
    w.devices.unlink(QStringLiteral("ttyACM0"));
    QVERIFY(listBecomes(w, {}));
    QVERIFY(!w.button(ControlId::OpenPort)->isEnabled());
    QCOMPARE(w.messages.count(), 0);
}

void PortListTest::openPortAndChosenEntrySurviveOtherDevicesComingAndGoing() {
    WindowFixture w({"ttyUSB0", "ttyUSB1"});
    w.combo()->setCurrentIndex(1);

    // A new adapter before the chosen one and the loss of another keep the choice.
    QVERIFY(w.devices.add(QStringLiteral("ttyUSB2")) != nullptr);
    QVERIFY(listBecomes(w, {"COM1", "COM2", "COM3"}));
    QCOMPARE(w.combo()->currentText(), QStringLiteral("COM2"));
    w.devices.unlink(QStringLiteral("ttyUSB0"));
    QVERIFY(listBecomes(w, {"COM2", "COM3"}));
    QCOMPARE(w.combo()->currentText(), QStringLiteral("COM2"));

    // With COM2 open, other devices come and go; the open port stays listed, chosen and open,
    // and the instrument still hears it.
    w.press(ControlId::OpenPort);
    QCOMPARE(w.button(ControlId::OpenPort)->text(), QStringLiteral("Close Port"));
    QVERIFY(w.devices.add(QStringLiteral("ttyUSB0")) != nullptr);
    QVERIFY(listBecomes(w, {"COM1", "COM2", "COM3"}));
    w.devices.unlink(QStringLiteral("ttyUSB2"));
    QVERIFY(listBecomes(w, {"COM1", "COM2"}));
    QCOMPARE(w.combo()->currentText(), QStringLiteral("COM2"));
    QVERIFY(!w.combo()->isEnabled());
    QVERIFY(w.dlg->comm().GetPortOpen());
    QCOMPARE(w.dlg->comm().commPort(), qint16(2));
    QCOMPARE(w.button(ControlId::OpenPort)->text(), QStringLiteral("Close Port"));
    QVERIFY(w.button(ControlId::OpenPort)->isEnabled());
    w.press(ControlId::ReadParameter);
    QCOMPARE(readFromMaster(w.instrument("ttyUSB1"), 8), kChannelCountRequest);

    w.press(ControlId::OpenPort);
    QVERIFY(!w.dlg->comm().GetPortOpen());
    QCOMPARE(w.combo()->currentText(), QStringLiteral("COM2"));
    QCOMPARE(w.messages.count(), 0);
}

void PortListTest::typedPortTextIsKept() {
    WindowFixture w({"ttyUSB0"});
    w.combo()->setEditText(QStringLiteral("COM7"));
    QVERIFY(w.devices.add(QStringLiteral("ttyUSB3")) != nullptr);
    QVERIFY(listBecomes(w, {"COM1", "COM4"}));
    QCOMPARE(w.combo()->currentText(), QStringLiteral("COM7"));
}

void PortListTest::droppedDownListWaitsUntilClosed() {
    WindowFixture w({"ttyUSB0"});
    w.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.dlg.get()));
    w.combo()->showPopup();
    QVERIFY(w.combo()->view()->isVisible());
    QVERIFY(w.devices.add(QStringLiteral("ttyUSB1")) != nullptr);
    runEventLoopFor(1000);
    QVERIFY(w.combo()->view()->isVisible());
    QCOMPARE(w.portEntries(), QStringList{"COM1"});
    w.combo()->hidePopup();
    QVERIFY(listBecomes(w, {"COM1", "COM2"}));
    QCOMPARE(w.combo()->currentText(), QStringLiteral("COM1"));
}

void PortListTest::watchingCostsNoCpuWhileNothingChanges() {
    WindowFixture w({"ttyUSB0"});
    const double before = processCpuSeconds();
    runEventLoopFor(1000);
    const double used = processCpuSeconds() - before;
    QVERIFY2(used < 0.2, qPrintable(QStringLiteral("%1 s of CPU in an idle second").arg(used)));
    QCOMPARE(w.portEntries(), QStringList{"COM1"});
}

void PortListTest::refusedAndBusyDevicesAreNamedOnceBelowTheControls() {
    // Tests run as root, whom no device refuses; the probe's open step is told what to find.
    std::shared_ptr<QSet<QString>> refused = std::make_shared<QSet<QString>>();
    std::shared_ptr<QSet<QString>> busy = std::make_shared<QSet<QString>>();
    WindowFixture w({"ttyUSB0"}, [&](DialogSettings& settings) {
        settings.portAccessCheck = [refused, busy](const QString& path) {
            const QString name = path.section(QLatin1Char('/'), -1);
            if (refused->contains(name)) {
                return PortAccess::Refused;
            }
            if (busy->contains(name)) {
                return PortAccess::Busy;
            }
            return checkPortAccess(path);
        };
    });
    w.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.dlg.get()));
    QLabel* hint = hintOf(w);
    QVERIFY(hint != nullptr);
    QVERIFY(!hint->isVisible());
    const QWidget* client = w.dlg->findChild<QWidget*>(QStringLiteral("client"));
    const QRect clientBefore = client->geometry();
    const int heightBefore = w.dlg->height();

    // A refused adapter is plugged in: the list stays as it is, and the line below the controls
    // names its port, its device and the command that gives access, without a message box.
    refused->insert(QStringLiteral("ttyUSB1"));
    QVERIFY(w.devices.add(QStringLiteral("ttyUSB1")) != nullptr);
    const QString device = w.devices.devicePath(QStringLiteral("ttyUSB1"));
    QVERIFY(waitUntil([&] { return hint->isVisible(); }, kFollowLimitMs));
    QCOMPARE(w.portEntries(), QStringList{"COM1"});
    const QString expected = QStringLiteral("COM2 (%1): access refused. To use it, run sudo "
                                            "adduser \"$USER\" %2, then log out and in again.")
                                 .arg(device, groupOf(device));
    QCOMPARE(hint->text(), expected);
    QCOMPARE(w.messages.count(), 0);
    // The controls keep their places; the window grows by the line.
    QCOMPARE(client->geometry(), clientBefore);
    QVERIFY(w.dlg->height() > heightBefore);
    QVERIFY(hint->geometry().top() >= client->geometry().bottom());

    // Probing again tells it once, not once more.
    w.press(ControlId::CheckPort);
    QCOMPARE(hint->text(), expected);
    QCOMPARE(hint->text().count(QLatin1String("access refused")), 1);

    // A device another program holds is busy, not refused and not missing.
    busy->insert(QStringLiteral("ttyACM0"));
    QVERIFY(w.devices.add(QStringLiteral("ttyACM0")) != nullptr);
    const QString busyDevice = w.devices.devicePath(QStringLiteral("ttyACM0"));
    QVERIFY(
        waitUntil([&] { return hint->text().contains(QLatin1String("busy")); }, kFollowLimitMs));
    QCOMPARE(hint->text(),
             expected +
                 QStringLiteral(" COM33 (%1): busy, in use by another program.").arg(busyDevice));
    QCOMPARE(w.portEntries(), QStringList{"COM1"});

    // Once the user may open it (after logging in again) it is listed, and the line goes once
    // nothing is left to say.
    refused->clear();
    w.press(ControlId::CheckPort);
    QCOMPARE(w.portEntries(), (QStringList{"COM1", "COM2"}));
    QVERIFY(!hint->text().contains(QLatin1String("refused")));
    w.devices.unlink(QStringLiteral("ttyACM0"));
    QVERIFY(waitUntil([&] { return !hint->isVisible(); }, kFollowLimitMs));
    QVERIFY(waitUntil([&] { return w.dlg->height() == heightBefore; }, 1000));
    QCOMPARE(client->geometry(), clientBefore);
    QCOMPARE(w.messages.count(), 0);
}

QTEST_MAIN(PortListTest)
#include "tst_portlist.moc"
