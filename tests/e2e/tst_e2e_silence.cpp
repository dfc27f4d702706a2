// A mute instrument, as the user meets it: during a download the window names the port and the
// record it is stuck at once, without a box, and withdraws the text when answers resume; a
// parameter read without any answer says so; Close Port stops all polling.
#include "controls.h"
#include "eventwait.h"
#include "instrumentrig.h"

#include "app/mainwindow/linknotice.h"
#include "app/mainwindow/trellmodlg.h"

#include <QPushButton>
#include <QTest>

namespace {

const QString kParameterSilence = QStringLiteral("No answer from the instrument on COM1");

QString downloadSilence(quint32 record, quint32 total) {
    return QStringLiteral("No answer from the instrument on COM1 since record %1 of %2; still "
                          "trying. Close Port stops.")
        .arg(record)
        .arg(total);
}

// Every text the notice line shows from now on, withdrawals as empty texts.
std::shared_ptr<QStringList> noticeTexts(const InstrumentRig& rig) {
    auto shown = std::make_shared<QStringList>();
    auto* notice = rig.dlg().findChild<LinkNotice*>(QStringLiteral("linkNotice"));
    if (notice == nullptr) {
        qFatal("no notice line");
    }
    QObject::connect(notice, &LinkNotice::changed, notice,
                     [shown](const QString& text) { shown->append(text); });
    return shown;
}

QString noticeText(const InstrumentRig& rig) {
    return rig.dlg().findChild<LinkNotice*>(QStringLiteral("linkNotice"))->text();
}

} // namespace

class SilenceTest : public QObject {
    Q_OBJECT
private slots:
    void muteDuringADownloadIsNamedOnceUntilAnswersResume();
    void closePortStopsPollingAndDownloadDataContinues();
    void parameterReadWithoutAnswerIsNamedOnce();
};

void SilenceTest::muteDuringADownloadIsNamedOnceUntilAnswersResume() {
    SimulatorConfig config;
    config.recordCount = 100;
    InstrumentRig rig(config);
    QVERIFY(rig.openPort());
    QVERIFY(rig.readParameterCompletely());
    rig.sim.clearLog();
    rig.sim.faultRecord(21, SimFault::noAnswer(), 1 << 20);
    const auto shown = noticeTexts(rig);
    rig.pressDownload();

    QVERIFY(waitUntil([&] { return !shown->isEmpty(); }, 10000));
    const qint64 firstAsked = [&] {
        for (const SimRequest& request : rig.sim.requests()) {
            if (request.recordNumber == 21) {
                return request.atMs;
            }
        }
        return qint64(-1);
    }();
    QVERIFY(firstAsked >= 0);
    const QList<SimRequest>& log = rig.sim.requests();
    // Shown at the request that went out five seconds after the first unanswered one.
    const qint64 silentFor = log.last().atMs - firstAsked;
    QVERIFY2(silentFor >= 4900 && silentFor < 6500, qPrintable(QString::number(silentFor)));
    QCOMPARE(*shown, QStringList{downloadSilence(21, 100)});
    QCOMPARE(noticeText(rig), downloadSilence(21, 100));
    QVERIFY(rig.window.button(ControlId::OpenPort)->isEnabled());

    // Still trying, still said once.
    const qsizetype asked = rig.sim.recordRequests().size();
    runEventLoopFor(500);
    QVERIFY(rig.sim.recordRequests().size() >= asked + 2);
    QCOMPARE(rig.sim.recordRequests().last(), 21u);
    QCOMPARE(shown->size(), 1);

    rig.sim.clearFaults();
    QVERIFY(rig.waitForDownload(15000));
    QCOMPARE(*shown, (QStringList{downloadSilence(21, 100), QString()}));
    QCOMPARE(rig.storedRows(100), rig.expectedStoreRows(1, 100));
    QCOMPARE(rig.window.messages.count(), 0);
}

void SilenceTest::closePortStopsPollingAndDownloadDataContinues() {
    SimulatorConfig config;
    config.recordCount = 40;
    InstrumentRig rig(config);
    QVERIFY(rig.openPort());
    QVERIFY(rig.readParameterCompletely());
    rig.sim.clearLog();
    rig.sim.faultRecord(7, SimFault::noAnswer(), 1 << 20);
    const auto shown = noticeTexts(rig);
    rig.pressDownload();
    QVERIFY(waitUntil([&] { return !shown->isEmpty(); }, 10000));
    QCOMPARE(shown->first(), downloadSilence(7, 40));

    rig.window.press(ControlId::OpenPort); // "Close Port"
    QCOMPARE(rig.window.button(ControlId::OpenPort)->text(), QStringLiteral("Open Port"));
    QCOMPARE(noticeText(rig), QString());
    // A request written just before the close may still be on its way to the instrument.
    runEventLoopFor(100);
    const qsizetype requestsAtClose = rig.sim.requests().size();
    const QString percentAtClose = rig.window.field(ControlId::PercentText);
    runEventLoopFor(600);
    QCOMPARE(rig.sim.requests().size(), requestsAtClose);
    QCOMPARE(rig.window.field(ControlId::PercentText), percentAtClose);
    // Reopening alone asks for nothing.
    QVERIFY(rig.openPort());
    runEventLoopFor(300);
    QCOMPARE(rig.sim.requests().size(), requestsAtClose);
    QVERIFY(rig.window.button(ControlId::DownloadData)->isEnabled());

    // Download Data goes on with the record that was outstanding.
    rig.sim.clearFaults();
    rig.pressDownload();
    QVERIFY(rig.waitForDownload(10000));
    QCOMPARE(rig.sim.recordRequests().at(requestsAtClose), 7u);
    QCOMPARE(rig.storedRows(40), rig.expectedStoreRows(1, 40));
    QCOMPARE(*shown, (QStringList{downloadSilence(7, 40), QString()}));
    QCOMPARE(rig.window.messages.count(), 0);
}

void SilenceTest::parameterReadWithoutAnswerIsNamedOnce() {
    InstrumentRig rig;
    QVERIFY(rig.openPort());
    const auto shown = noticeTexts(rig);
    rig.sim.faultNext(8, SimFault::noAnswer());
    QVERIFY(rig.readParameter());
    // Said at the tick that ends the sequence, 150 ms after the eighth request.
    QVERIFY(waitUntil([&] { return !shown->isEmpty(); }, 3000));
    QCOMPARE(rig.sim.requests().size(), 8);
    QCOMPARE(*shown, QStringList{kParameterSilence});
    QCOMPARE(noticeText(rig), kParameterSilence);
    QCOMPARE(rig.window.messages.count(), 0);
    QCOMPARE(rig.tableRow(0).mid(1), QStringList(6, QString()));

    // Answers again: the text goes with the first of them.
    QVERIFY(rig.readParameter());
    runEventLoopFor(300);
    QCOMPARE(*shown, (QStringList{kParameterSilence, QString()}));
    QCOMPARE(rig.window.field(ControlId::RecordTotal), QStringLiteral("30"));

    // A read whose answers all fail their CRC is a read without a valid answer too.
    rig.sim.faultNext(8, SimFault::wrongCrc());
    QVERIFY(rig.readParameter());
    QVERIFY(waitUntil([&] { return shown->size() == 3; }, 3000));
    runEventLoopFor(300);
    QCOMPARE(*shown, (QStringList{kParameterSilence, QString(), kParameterSilence}));
    rig.window.press(ControlId::OpenPort); // "Close Port"
    QCOMPARE(noticeText(rig), QString());
    QCOMPARE(rig.window.messages.count(), 0);
}

QTEST_MAIN(SilenceTest)
#include "tst_e2e_silence.moc"
