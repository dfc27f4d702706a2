#include "linkfakes.h"
#include "protocol/configdecoder.h"
#include "protocol/framecodec.h"

#include <gtest/gtest.h>

namespace {

enum class Feed { Bytewise, TwoEvents };

// Runs the parameter read as the timer would, answering every request as the simulated
// instrument does. Returns the number of ticks until the link asked to stop the timer.
int runParameterRead(LinkFixture& f, const SimulatorConfig& config, Feed feed) {
    f.link.readParameter();
    for (int tick = 1; tick <= 20; ++tick) {
        const qsizetype before = f.line.sent.size();
        if (f.link.parameterTick() == TickOutcome::StopTimer) {
            return tick;
        }
        if (f.line.sent.size() == before) {
            continue;
        }
        const QByteArray answer = simAnswerToLast(config, f.line.sent.last());
        if (feed == Feed::Bytewise) {
            feedBytewise(f.link, answer);
        } else {
            f.link.receive(answer.left(4));
            f.link.receive(answer.mid(4));
        }
    }
    return -1;
}

QStringList column(const LinkFixture& f, int column, int rows = 6) {
    QStringList texts;
    for (int row = 0; row < rows; ++row) {
        texts.append(f.cell(row, column));
    }
    return texts;
}

QList<QStringList> table(const LinkFixture& f) {
    QList<QStringList> rows;
    for (int row = 0; row < 6; ++row) {
        rows.append(QStringList());
        for (int column = 1; column <= 6; ++column) {
            rows.last().append(f.cell(row, column));
        }
    }
    return rows;
}

} // namespace

TEST(ParameterRead, FourChannelSequence) {
    LinkFixture f;
    const SimulatorConfig config; // gas 1,2,3,30; units 0,0,2,3; precision 0,1,1,2
    EXPECT_EQ(runParameterRead(f, config, Feed::Bytewise), 9);
    EXPECT_EQ(f.link.state().sequenceStep, 9);
    EXPECT_EQ(f.link.parameterTick(), TickOutcome::StopTimer);

    QStringList sent;
    for (const QByteArray& frame : f.line.sent) {
        sent.append(QString::fromLatin1(frame.toHex().toUpper()));
    }
    EXPECT_EQ(sent, QStringList({"010300020001CA25", "01030003000409B4", "010300100004CC45",
                                 "0103001100040C14", "0103001200040CE4", "010300130008C9B5",
                                 "010300160008C8A5", "01030017000808F4"}));
    EXPECT_EQ(f.events.received, QByteArray::fromHex("010308 00C8 05DC 00EB 07D0 057E"));

    EXPECT_EQ(f.events.channelCount, 4);
    EXPECT_EQ(f.events.recordTotal, 30u);
    EXPECT_EQ(f.link.state().recordTotal, 30u);
    EXPECT_EQ(f.link.configuration().channelCount, 4);
    EXPECT_EQ(f.link.configuration().recordTotal, 30u);
    EXPECT_EQ(f.events.downloadEnabled, 1);
    EXPECT_EQ(column(f, 1, 4), QStringList({"CO      ", "H2S     ", "O2      ", "CH4     "}));
    EXPECT_EQ(column(f, 2, 4), QStringList({" 1000", "1000.0", "300.0", "10000.00"}));
    EXPECT_EQ(column(f, 3, 4), QStringList({"PPM", "PPM", "%VOL", "%LEL"}));
    EXPECT_EQ(column(f, 4, 4), QStringList({"1", "0.1", "0.1", "0.01"}));
    EXPECT_EQ(column(f, 5, 4), QStringList({"   35", " 10.0", " 19.5", "10.00"}));
    EXPECT_EQ(column(f, 6, 4), QStringList({"  200", "150.0", " 23.5", "20.00"}));
    // Read parameter emptied rows 5 and 6, and a four-channel read never fills them.
    for (int column = 1; column <= 6; ++column) {
        EXPECT_TRUE(f.cell(4, column).isEmpty());
        EXPECT_TRUE(f.cell(5, column).isEmpty());
    }
    // The levels as numbers: alarms in the channel's unit, ranges unscaled.
    const ChannelSettings& ch4 = f.link.configuration().channels[3];
    EXPECT_EQ(ch4.gasCode, 30);
    EXPECT_EQ(ch4.unitCode, 3);
    EXPECT_EQ(ch4.precision, 2);
    EXPECT_DOUBLE_EQ(ch4.range->value(), 10000.0);
    EXPECT_DOUBLE_EQ(ch4.lowAlarm->value(), 10.0);
    EXPECT_DOUBLE_EQ(ch4.highAlarm->value(), 20.0);
    EXPECT_DOUBLE_EQ(f.link.configuration().channels[2].lowAlarm->value(), 19.5);
    EXPECT_EQ(f.link.state().chanGasName[3], QStringLiteral("CH4     "));
    EXPECT_EQ(f.link.state().chanUnitName[2], QStringLiteral("%VOL"));
    EXPECT_EQ(f.link.state().chanPrecision[3], 2);
}

TEST(ParameterRead, SixChannelSequenceInChunks) {
    LinkFixture f;
    SimulatorConfig config = SimulatorConfig::sixChannels();
    config.unitCodes = {2, 7, 0, 0, 0, 0};
    config.precisionCodes = {0, 1, 2, 3, 9, 1};
    config.ranges = {100, 1000, 0, 65535, 350, 20};
    EXPECT_EQ(runParameterRead(f, config, Feed::TwoEvents), 9);

    QStringList sent;
    for (const QByteArray& frame : f.line.sent) {
        sent.append(QString::fromLatin1(frame.toHex().toUpper()));
    }
    EXPECT_EQ(sent, QStringList({"010300020001CA25", "01030003000409B4", "0103001000060DC4",
                                 "010300110006CD95", "010300120006CD65", "0103001300120234",
                                 "0103001600120324", "010300170012C375"}));
    EXPECT_EQ(f.events.channelCount, 6);
    EXPECT_EQ(f.link.state().sixChannel, 1);
    EXPECT_EQ(f.link.configuration().layout(), ChannelLayout::Six);
    EXPECT_EQ(column(f, 1),
              QStringList({"CO      ", "H2S     ", "O2      ", "CH4     ", "CO2     ", "Xe     "}));
    EXPECT_EQ(column(f, 3), QStringList({"%VOL", "PPM", "PPM", "PPM", "PPM", "PPM"}));
    EXPECT_EQ(column(f, 4), QStringList({"1", "0.1", "0.01", "0.001", "", "0.1"}));
    EXPECT_EQ(column(f, 2),
              QStringList({"  100", "1000.0", " 0.00", "65535.000", "  350", " 20.0"}));
    EXPECT_EQ(f.link.state().chanPrecision[4], 9);
}

TEST(ParameterRead, LostAnswersAndRestarts) {
    LinkFixture f;
    // Without a channel-count answer steps 3 to 8 keep the layout chosen before.
    f.link.state().sixChannel = 1;
    f.link.readParameter();
    f.link.parameterTick();
    f.link.parameterTick();
    f.link.parameterTick();
    EXPECT_EQ(f.line.sent.last(), QByteArray::fromHex("0103001000060DC4"));
    EXPECT_EQ(f.link.state().expectedDataLength, 6);
    f.link.receive(function3Answer({1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(f.cell(2, 1), QStringLiteral("O2      "));
    // Pressing Read parameter again starts over at step 1 and empties the cells.
    const int changes = f.events.channelChanges;
    f.link.readParameter();
    EXPECT_EQ(f.link.state().sequenceStep, 1);
    EXPECT_EQ(f.events.channelChanges, changes + 1);
    EXPECT_TRUE(f.cell(2, 1).isEmpty());
    EXPECT_EQ(f.link.state().chanGasName[2], QStringLiteral("O2      "));
    // A closed line sends nothing and leaves the sequence where it stands.
    f.line.open = false;
    const qsizetype sent = f.line.sent.size();
    EXPECT_EQ(f.link.parameterTick(), TickOutcome::Continue);
    EXPECT_EQ(f.line.sent.size(), sent);
    EXPECT_EQ(f.link.state().sequenceStep, 1);
    // Steps outside the sequence do nothing.
    f.line.open = true;
    f.link.state().sequenceStep = 0;
    EXPECT_EQ(f.link.parameterTick(), TickOutcome::Continue);
    f.link.state().sequenceStep = 10;
    EXPECT_EQ(f.link.parameterTick(), TickOutcome::Continue);
    EXPECT_EQ(f.line.sent.size(), sent);
}

TEST(ReceivePath, BufferRules) {
    LinkFixture f;
    PollState& s = f.link.state();

    // Channel count: a wrong CRC empties the buffer, so a good answer right behind it is read.
    s.expectedDataLength = 1;
    QByteArray bad = function3Answer({0x16});
    bad[5] = static_cast<char>(bad[5] ^ 0x01);
    f.link.receive(bad + function3Answer({0x03}));
    EXPECT_EQ(f.events.channelCount, 3);
    EXPECT_EQ(s.rxCount, 0);
    // One request, one answer: of two good answers in one event only the first is taken; the
    // second is shown and nothing more is taken until the next request.
    ClearReceiveBuffer(s);
    f.events.received.clear();
    f.link.receive(function3Answer({0x16}) + function3Answer({0x04}));
    EXPECT_EQ(f.events.channelCount, 6);
    EXPECT_EQ(s.sixChannel, 1);
    EXPECT_EQ(f.events.received.size(), 12);
    EXPECT_EQ(s.rxCount, 0);

    // A 9-byte answer with a wrong CRC stays; a good answer behind it is not decoded.
    ClearReceiveBuffer(s);
    s.expectedDataLength = 4;
    s.sequenceStep = 3;
    QByteArray badTotal = function3Answer({0, 0, 1, 0x2C});
    badTotal[8] = static_cast<char>(badTotal[8] ^ 0x80);
    feedBytewise(f.link, badTotal);
    EXPECT_EQ(s.rxCount, 9);
    f.link.receive(function3Answer({0, 0, 1, 0x2C}));
    EXPECT_EQ(s.recordTotal, 0u);
    EXPECT_EQ(f.events.downloadEnabled, 0);
    EXPECT_EQ(s.rxCount, 18);

    // An exception answer is shown and otherwise ignored.
    ClearReceiveBuffer(s);
    f.events.received.clear();
    f.link.receive(simExceptionAnswer(0x03, 0x02));
    EXPECT_EQ(f.events.received, QByteArray::fromHex("018302F1C0"));
    EXPECT_EQ(s.rxCount, 5);
    EXPECT_EQ(f.events.channelCount, 6);

    // More than the buffer holds: shown in full, stored up to 50 bytes.
    ClearReceiveBuffer(s);
    f.events.received.clear();
    f.link.receive(QByteArray(70, '\x41'));
    EXPECT_EQ(s.rxCount, PollState::kFrameCapacity);
    EXPECT_EQ(f.events.received, QByteArray(70, '\x41'));

    // The answer is decoded at the byte that completes it, whichever event brings it.
    ClearReceiveBuffer(s);
    s.expectedDataLength = 4;
    s.sequenceStep = 3;
    const QByteArray total = function3Answer({0, 0, 1, 0x2C});
    f.link.receive(total.left(8));
    EXPECT_EQ(s.recordTotal, 0u);
    f.link.receive(total.mid(8));
    EXPECT_EQ(s.recordTotal, 300u);
    EXPECT_EQ(f.events.recordTotal, 300u);
    EXPECT_EQ(f.events.downloadEnabled, 1);
    EXPECT_EQ(s.rxCount, 0);
    // A total of 0 leaves the button alone.
    ClearReceiveBuffer(s);
    f.link.receive(function3Answer({0, 0, 0, 0}));
    EXPECT_EQ(s.recordTotal, 0u);
    EXPECT_EQ(f.events.downloadEnabled, 1);
}

TEST(ConfigDecoding, BlankingByChannelCount) {
    LinkFixture f;
    PollState& s = f.link.state();
    auto answer = [&](quint8 dataLength, quint8 step, const QByteArray& bytes) {
        s.expectedDataLength = dataLength;
        s.sequenceStep = step;
        ClearReceiveBuffer(s);
        f.link.receive(bytes);
    };

    // N = 3: channel 4 is blanked in cell and kept name alike.
    f.link.setChannelCount(3);
    answer(4, 4, function3Answer({1, 2, 3, 4}));
    EXPECT_EQ(column(f, 1, 4), QStringList({"CO      ", "H2S     ", "O2      ", ""}));
    EXPECT_TRUE(s.chanGasName[3].isEmpty());
    answer(8, 7, function3Answer({0, 1, 0, 2, 0, 3, 0, 4}));
    EXPECT_EQ(column(f, 2, 4), QStringList({"    1", "    2", "    3", ""}));
    // The blanked channel's value is read all the same; only its text is left out.
    EXPECT_EQ(std::get<ChannelValuesAnswer>(readFunction3(s)).raw[3], 4);

    // N = 0: gas names shown, units and precisions blank, precision codes kept all the same,
    // ranges and alarms for channel 1 only.
    f.link.setChannelCount(0);
    answer(4, 4, function3Answer({5, 6, 7, 8}));
    answer(4, 5, function3Answer({1, 2, 3, 4}));
    answer(4, 6, function3Answer({1, 2, 3, 0}));
    EXPECT_EQ(column(f, 1, 4), QStringList({"SO2     ", "NH3     ", "H2      ", "N2      "}));
    EXPECT_EQ(column(f, 3, 4), QStringList({"", "", "", ""}));
    EXPECT_EQ(column(f, 4, 4), QStringList({"", "", "", ""}));
    EXPECT_EQ(s.chanUnitName[0], QString());
    EXPECT_EQ(s.chanPrecision[0], 1);
    EXPECT_EQ(s.chanPrecision[2], 3);
    answer(8, 8, function3Answer({0x01, 0x5E, 0, 2, 0, 3, 0, 4}));
    EXPECT_EQ(column(f, 5, 4), QStringList({" 35.0", "", "", ""}));

    // Six channels: every text as decoded, whatever N says.
    f.link.setChannelCount(2);
    answer(6, 5, function3Answer({2, 7, 0, 0, 0, 0}));
    EXPECT_EQ(column(f, 3), QStringList({"%VOL", "PPM", "PPM", "PPM", "PPM", "PPM"}));
    EXPECT_EQ(s.chanUnitName[5], QStringLiteral("PPM"));
    answer(12, 9, function3Answer({0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6}));
    EXPECT_EQ(f.cell(5, 6), QStringLiteral("    6"));

    // An answer whose step has no decoding for its length changes nothing.
    const QList<QStringList> before = table(f);
    const int changes = f.events.channelChanges;
    answer(4, 7, function3Answer({1, 1, 1, 1}));
    answer(8, 4, function3Answer({0, 1, 0, 2, 0, 3, 0, 4}));
    answer(12, 6, function3Answer({0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6}));
    EXPECT_EQ(table(f), before);
    EXPECT_EQ(f.events.channelChanges, changes);
    EXPECT_EQ(s.recordTotal, 0u);
}
