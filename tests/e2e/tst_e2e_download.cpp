// Downloads from the simulated instrument through the real main window, each request following
// the answer before it: the record store filled exactly despite lost, corrupt, split, trailed
// and lost last answers; Close Port stopping a download and Download Data continuing it; what
// Send, Receive, the bar and the percentage show, redrawn at most 20 times a second.
#include "controls.h"
#include "eventwait.h"
#include "expectedtexts.h"
#include "instrumentrig.h"
#include "stallwatch.h"

#include "app/mainwindow/trellmodlg.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

namespace {

// Records were asked for from 1 to last in order, none skipped; returns how often a number
// followed itself (a repeated request).
int repeatsIn(const QList<quint32>& asked, quint32 last, bool& inOrder) {
    inOrder = !asked.isEmpty() && asked.first() == 1 && asked.last() == last;
    int repeats = 0;
    for (qsizetype i = 1; i < asked.size(); ++i) {
        if (asked[i] == asked[i - 1]) {
            ++repeats;
        } else if (asked[i] != asked[i - 1] + 1) {
            inOrder = false;
        }
    }
    return repeats;
}

double percentValue(const QString& text) {
    return text.chopped(1).toDouble();
}

} // namespace

class DownloadTest : public QObject {
    Q_OBJECT
private slots:
    void recordsArriveExactlyDespiteLostCorruptSplitAndLostLastAnswers();
    void closePortStopsTheDownloadAndDownloadDataContinuesIt();
};

void DownloadTest::recordsArriveExactlyDespiteLostCorruptSplitAndLostLastAnswers() {
    SimulatorConfig config;
    config.recordCount = 40;
    for (int attempt = 1;; ++attempt) {
        InstrumentRig rig(config);
        QVERIFY(rig.openPort());
        QVERIFY(rig.readParameter());
        rig.sim.faultRecord(5, SimFault::noAnswer());
        rig.sim.faultRecord(9, SimFault::wrongCrc());
        rig.sim.faultRecord(13, SimFault::split(3, 10));
        rig.sim.faultRecord(17, SimFault::extraBytes(QByteArray("\x01\x41\x0E\x55", 4)));
        rig.sim.faultRecord(40, SimFault::noAnswer(), 2);
        rig.sim.clearLog();
        const auto sent = rig.fieldTexts(ControlId::SendText);
        const auto percents = rig.fieldTexts(ControlId::PercentText);

        StallWatch watch;
        QElapsedTimer clock;
        clock.start();
        rig.pressDownload();
        QVERIFY(rig.waitForDownload(15000));
        const qint64 elapsedMs = clock.elapsed();
        const QList<QStringList> stored = rig.storedRows(40);
        const QList<quint32> asked = rig.sim.recordRequests();
        bool inOrder = false;
        // 5 and 9 once more each, 40 twice more: nothing else is asked twice.
        const int repeats = repeatsIn(asked, 40, inOrder);
        if (watch.retry(stored == rig.expectedStoreRows(1, 40) && repeats == 4, attempt)) {
            continue;
        }
        QCOMPARE(stored, rig.expectedStoreRows(1, 40));
        QVERIFY2(inOrder, qPrintable(QStringLiteral("%1 requests").arg(asked.size())));
        QCOMPARE(asked.count(5), 2);
        QCOMPARE(asked.count(9), 2);
        QCOMPARE(asked.count(13), 1);
        QCOMPARE(asked.count(17), 1);
        QCOMPARE(asked.count(40), 3);
        QCOMPARE(repeats, 4);

        // Record requests are shown in lower-case hex as they went out; the Receive field holds
        // the last answer in upper-case, "%02X " per byte. The fields are redrawn at most every
        // 50 ms, not at each of the answers.
        QVERIFY2(sent->size() <= elapsedMs / 50 + 2 && percents->size() <= elapsedMs / 50 + 2,
                 qPrintable(QStringLiteral("%1 Send and %2 percent texts in %3 ms")
                                .arg(sent->size())
                                .arg(percents->size())
                                .arg(elapsedMs)));
        const QRegularExpression lowerHex(QStringLiteral("^[0-9a-f]{16}$"));
        for (const QString& text : *sent) {
            QVERIFY2(lowerHex.match(text).hasMatch(), qPrintable(text));
        }
        const SimRequest last = rig.sim.requests().last();
        QCOMPARE(sent->last(), QString::fromLatin1(last.bytes.toHex()));
        QCOMPARE(rig.window.field(ControlId::ReceiveText),
                 receiveFieldText(simAnswerFor(config, last)));

        // The percentage climbs to "100.0%", the bar ends full.
        for (qsizetype i = 1; i < percents->size(); ++i) {
            QVERIFY(percentValue(percents->at(i)) > percentValue(percents->at(i - 1)));
        }
        QCOMPARE(percents->last(), QStringLiteral("100.0%"));
        QCOMPARE(controlOf<QProgressBar>(rig.dlg(), ControlId::Progress)->value(), 100);

        // Finished: the timer goes on ticking without a request; the batch is on disk.
        runEventLoopFor(200);
        QCOMPARE(rig.sim.recordRequests().size(), asked.size());
        QVERIFY(QFileInfo(rig.recordWorkbook(QStringLiteral("C4-25-03-07.xls"))).isFile());
        QCOMPARE(rig.window.messages.count(), 0);
        return;
    }
}

void DownloadTest::closePortStopsTheDownloadAndDownloadDataContinuesIt() {
    SimulatorConfig config = SimulatorConfig::sixChannels();
    config.recordCount = 50;
    for (int attempt = 1;; ++attempt) {
        InstrumentRig rig(config);
        QVERIFY(rig.openPort());
        QVERIFY(rig.readParameter());
        rig.sim.clearLog();
        StallWatch watch;
        rig.pressDownload();
        QVERIFY(waitUntil([&] { return rig.sim.recordRequests().size() >= 20; }, 5000));

        rig.window.press(ControlId::OpenPort); // "Close Port"
        QCOMPARE(rig.window.button(ControlId::OpenPort)->text(), QStringLiteral("Open Port"));
        const qsizetype askedAtClose = rig.sim.recordRequests().size();
        const QString percentAtClose = rig.window.field(ControlId::PercentText);
        runEventLoopFor(400);
        QCOMPARE(rig.sim.recordRequests().size(), askedAtClose);
        QCOMPARE(rig.window.field(ControlId::PercentText), percentAtClose);
        QVERIFY(rig.window.button(ControlId::DownloadData)->isEnabled());
        QVERIFY(!rig.downloadDone());

        // Reopened, nothing is asked for until Download Data goes on where the download stood.
        QVERIFY(rig.openPort());
        runEventLoopFor(200);
        QCOMPARE(rig.sim.recordRequests().size(), askedAtClose);
        rig.pressDownload();
        QVERIFY(rig.waitForDownload(10000));
        const QList<QStringList> stored = rig.storedRows(50);
        const QList<quint32> asked = rig.sim.recordRequests();
        bool inOrder = false;
        // At most the record outstanding at the close is asked for again.
        const int repeats = repeatsIn(asked, 50, inOrder);
        if (watch.retry(stored == rig.expectedStoreRows(1, 50) && repeats <= 1, attempt)) {
            continue;
        }
        QCOMPARE(stored, rig.expectedStoreRows(1, 50));
        QVERIFY(inOrder);
        QVERIFY2(repeats <= 1, qPrintable(QString::number(repeats)));
        QCOMPARE(rig.window.field(ControlId::PercentText), QStringLiteral("100.0%"));
        QVERIFY(QFileInfo(rig.recordWorkbook(QStringLiteral("C6-25-03-07.xls"))).isFile());
        QCOMPARE(rig.window.messages.count(), 0);
        return;
    }
}

QTEST_MAIN(DownloadTest)
#include "tst_e2e_download.moc"
