// Read parameter against the simulated instrument, as a user sees it: the channel table's
// cells, the Channel and Total fields, Download Data, and the Send and Receive monitors.
#include "controls.h"
#include "expectedtexts.h"
#include "instrumentrig.h"
#include "stallwatch.h"

#include "app/mainwindow/trellmodlg.h"

#include <QPushButton>
#include <QTest>

namespace {

const QStringList kFourChannelFrames{"010300020001CA25", "01030003000409B4", "010300100004CC45",
                                     "0103001100040C14", "0103001200040CE4", "010300130008C9B5",
                                     "010300160008C8A5", "01030017000808F4"};
const QStringList kSixChannelFrames{"010300020001CA25", "01030003000409B4", "0103001000060DC4",
                                    "010300110006CD95", "010300120006CD65", "0103001300120234",
                                    "0103001600120324", "010300170012C375"};

QStringList blankRow(int channel) {
    return {QStringLiteral("CH%1").arg(channel), "", "", "", "", "", ""};
}

// The Send field is redrawn at most every 50 ms while the requests follow the answers: it
// showed requests as they went out, in order, and ends on the last one.
bool showsRequestsInOrder(const QStringList& shown, const QStringList& frames) {
    qsizetype at = 0;
    for (const QString& text : shown) {
        at = frames.indexOf(text, at);
        if (at < 0) {
            return false;
        }
    }
    return !shown.isEmpty() && shown.last() == frames.last();
}

QStringList requestsAsUpperHex(InstrumentSimulator& sim) {
    QStringList texts;
    for (const SimRequest& request : sim.requests()) {
        texts << QString::fromLatin1(request.bytes.toHex().toUpper());
    }
    return texts;
}

} // namespace

class ParameterReadTest : public QObject {
    Q_OBJECT
private slots:
    void fourChannelsFillTheTableAndBlankChannelsAboveTheCount();
    void sixChannelsFillAllRowsWithTheSixChannelRequests();
};

void ParameterReadTest::fourChannelsFillTheTableAndBlankChannelsAboveTheCount() {
    for (int attempt = 1;; ++attempt) {
        InstrumentRig rig;
        const SimulatorConfig config = rig.sim.config();
        const auto sent = rig.fieldTexts(ControlId::SendText);
        QVERIFY(rig.openPort());
        StallWatch watch;
        QVERIFY(rig.readParameter());
        if (watch.retry(rig.tableRow(3) == expectedChannelRow(config, 4), attempt)) {
            continue;
        }
        for (int channel = 1; channel <= 4; ++channel) {
            QCOMPARE(rig.tableRow(channel - 1), expectedChannelRow(config, channel));
        }
        QCOMPARE(rig.tableRow(4), blankRow(5));
        QCOMPARE(rig.tableRow(5), blankRow(6));
        QCOMPARE(rig.window.field(ControlId::ChannelCount), QStringLiteral("4"));
        QCOMPARE(rig.window.field(ControlId::RecordTotal), QStringLiteral("30"));
        QVERIFY(rig.window.button(ControlId::DownloadData)->isEnabled());

        // Each request went out as today and was shown in upper-case hex; the Receive field
        // holds the last answer, "%02X " per byte.
        QCOMPARE(requestsAsUpperHex(rig.sim), kFourChannelFrames);
        QVERIFY2(showsRequestsInOrder(*sent, kFourChannelFrames), qPrintable(sent->join(' ')));
        QCOMPARE(rig.window.field(ControlId::ReceiveText),
                 receiveFieldText(simAnswerFor(config, rig.sim.requests().last())));

        // An instrument reporting three channels: the fourth row is blanked, the total follows.
        rig.sim.config().channelCountByte = 0x03;
        rig.sim.config().recordCount = 300;
        QVERIFY(rig.readParameter());
        for (int channel = 1; channel <= 3; ++channel) {
            QCOMPARE(rig.tableRow(channel - 1), expectedChannelRow(config, channel));
        }
        QCOMPARE(rig.tableRow(3), blankRow(4));
        QCOMPARE(rig.window.field(ControlId::ChannelCount), QStringLiteral("3"));
        QCOMPARE(rig.window.field(ControlId::RecordTotal), QStringLiteral("300"));
        QCOMPARE(rig.window.messages.count(), 0);
        return;
    }
}

void ParameterReadTest::sixChannelsFillAllRowsWithTheSixChannelRequests() {
    for (int attempt = 1;; ++attempt) {
        InstrumentRig rig(SimulatorConfig::sixChannels());
        const SimulatorConfig config = rig.sim.config();
        const auto sent = rig.fieldTexts(ControlId::SendText);
        QVERIFY(rig.openPort());
        StallWatch watch;
        QVERIFY(rig.readParameter());
        if (watch.retry(rig.tableRow(5) == expectedChannelRow(config, 6), attempt)) {
            continue;
        }
        for (int channel = 1; channel <= 6; ++channel) {
            QCOMPARE(rig.tableRow(channel - 1), expectedChannelRow(config, channel));
        }
        QCOMPARE(rig.window.field(ControlId::ChannelCount), QStringLiteral("6"));
        QCOMPARE(rig.window.field(ControlId::RecordTotal), QStringLiteral("30"));
        QVERIFY(rig.window.button(ControlId::DownloadData)->isEnabled());
        QCOMPARE(requestsAsUpperHex(rig.sim), kSixChannelFrames);
        QVERIFY2(showsRequestsInOrder(*sent, kSixChannelFrames), qPrintable(sent->join(' ')));
        QCOMPARE(rig.window.field(ControlId::ReceiveText),
                 receiveFieldText(simAnswerFor(config, rig.sim.requests().last())));
        QCOMPARE(rig.window.messages.count(), 0);
        return;
    }
}

QTEST_MAIN(ParameterReadTest)
#include "tst_e2e_parameters.moc"
