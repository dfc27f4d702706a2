// Requests that follow the answers, on a simulated microsecond clock: the next request after the
// inter-frame gap, repeats at the deadline, copies of repeated requests' answers held off, an
// instrument slower than the allowance, one that cannot keep up (back to one request per
// tick), and the parameter read paced the same way, waiting for a lost answer as long as the tick
// pace does.
#include "linkfakes.h"
#include "protocol/answerpace.h"
#include "protocol/framecodec.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>

namespace {

class FakePaceTimer : public PaceTimer {
public:
    qint64 now = 1'000'000;
    qint64 armedAt = -1;
    qint64 nowUs() const override { return now; }
    void fireAt(qint64 atUs) override { armedAt = qMax(atUs, now); }
    void cancel() override { armedAt = -1; }
};

quint32 recordNumberOf(const QByteArray& request) {
    SimRequestParser parser;
    parser.feed(request);
    return parser.next()->recordNumber;
}

// The link on a simulated clock against an instrument that answers each request after the
// request's and its answer's time on the line plus `thinkUs`, unless `drop` says otherwise.
struct PacedLink : LinkFixture {
    FakePaceTimer timer;
    FakeExporter exporter;
    SimulatorConfig config;
    qint64 thinkUs = 3000;
    // Whether the answer due at dueUs is lost; lastAnswerUs is when the last one went out.
    std::function<bool(const QByteArray& request, qint64 dueUs, qint64 lastAnswerUs)> drop;
    std::multimap<qint64, QByteArray> onTheLine;
    qint64 lastAnswerUs = -1;
    QList<qint64> sentAt;

    PacedLink() {
        link.setExporter(&exporter);
        link.setPaceTimer(&timer);
    }
    void prepare(quint32 total) {
        link.setChannelCount(4);
        link.state().recordTotal = total;
        config.recordCount = total;
    }
    // Runs events in time order until nothing is left or untilUs.
    void run(qint64 untilUs = 1LL << 50) {
        for (;;) {
            const qint64 answerAt = onTheLine.empty() ? -1 : onTheLine.begin()->first;
            const qint64 fireAt = timer.armedAt;
            if (answerAt < 0 && fireAt < 0) {
                return;
            }
            const bool answerFirst = answerAt >= 0 && (fireAt < 0 || answerAt <= fireAt);
            const qint64 at = answerFirst ? answerAt : fireAt;
            if (at > untilUs) {
                return;
            }
            if (line.sent.size() > 10'000) {
                ADD_FAILURE() << "the link keeps asking";
                return;
            }
            timer.now = at;
            const qsizetype before = line.sent.size();
            if (answerFirst) {
                const QByteArray bytes = onTheLine.begin()->second;
                onTheLine.erase(onTheLine.begin());
                link.receive(bytes);
            } else {
                timer.armedAt = -1;
                link.paceTimeout();
            }
            for (qsizetype i = before; i < line.sent.size(); ++i) {
                answer(line.sent[i]);
            }
        }
    }
    void answer(const QByteArray& request) {
        sentAt << timer.now;
        const QByteArray reply = simAnswerToLast(config, request);
        const qint64 due =
            qMax(timer.now + lineTiming::bytesUs(request.size()) + thinkUs, lastAnswerUs) +
            lineTiming::bytesUs(reply.size());
        if (drop && drop(request, due, lastAnswerUs)) {
            return;
        }
        lastAnswerUs = due;
        onTheLine.emplace(due, reply);
    }
    QList<quint32> asked() const {
        QList<quint32> numbers;
        for (const QByteArray& request : line.sent) {
            numbers << recordNumberOf(request);
        }
        return numbers;
    }
};

QList<quint32> oneToN(quint32 n) {
    QList<quint32> numbers;
    for (quint32 i = 1; i <= n; ++i) {
        numbers << i;
    }
    return numbers;
}

} // namespace

TEST(AnswerPace, NextRequestFollowsTheAnswerAfterTheGapAndTicksSendNothing) {
    PacedLink p;
    p.prepare(50);
    p.link.startDownload();
    p.link.downloadTick(); // ticks only refresh the window while requests follow the answers
    EXPECT_TRUE(p.line.sent.isEmpty());
    p.run();
    EXPECT_EQ(p.asked(), oneToN(50));
    ASSERT_EQ(p.exporter.sizes(), QList<quint32>({50}));
    // Request, think time, answer, gap: 2084 + 3000 + 4948 + 912 us.
    const qint64 cycle =
        lineTiming::bytesUs(8) + 3000 + lineTiming::bytesUs(19) + lineTiming::kFrameGapUs;
    for (qsizetype i = 1; i < p.sentAt.size(); ++i) {
        EXPECT_EQ(p.sentAt[i] - p.sentAt[i - 1], cycle);
    }
    EXPECT_EQ(p.timer.armedAt, -1);
    EXPECT_EQ(p.events.requestedIndex, 50u);
}

TEST(AnswerPace, LostAnswerIsRepeatedAtTheDeadlineAndItsCopyNeverBecomesTheNextRecord) {
    PacedLink p;
    p.prepare(10);
    // Record 3's first answer is lost; record 6's first answer comes 120 ms late, after the
    // repeat's own answer.
    std::map<quint32, int> seen;
    p.drop = [&](const QByteArray& request, qint64, qint64) {
        return recordNumberOf(request) == 3 && seen[3]++ == 0;
    };
    p.link.startDownload();
    p.run();
    EXPECT_EQ(p.exporter.sizes(), QList<quint32>({10}));
    EXPECT_EQ(p.asked(), QList<quint32>({1, 2, 3, 3, 4, 5, 6, 7, 8, 9, 10}));
    // The repeat went at the deadline: the end of the request on the line plus 50 ms.
    EXPECT_EQ(p.sentAt[3] - p.sentAt[2], lineTiming::bytesUs(8) + 50'000);

    PacedLink late;
    late.prepare(10);
    late.link.startDownload();
    // Just after the request for record 6 went out.
    const qint64 cycle =
        lineTiming::bytesUs(8) + 3000 + lineTiming::bytesUs(19) + lineTiming::kFrameGapUs;
    late.run(late.timer.now + lineTiming::kFrameGapUs + 5 * cycle + 100);
    const quint32 record = late.link.state().recordIndex;
    late.onTheLine.clear(); // the answer to this request comes 120 ms late
    SimRequest request;
    request.function = 0x41;
    request.recordNumber = record;
    const QByteArray copy = simAnswerFor(late.config, request);
    late.onTheLine.emplace(late.sentAt.last() + 120'000, copy);
    late.run();
    EXPECT_EQ(late.exporter.sizes(), QList<quint32>({10}));
    EXPECT_EQ(late.exporter.batches[0].lastTime, late.link.records().cell(0, 9));
    EXPECT_EQ(late.asked().count(record), 2);
    QStringList times;
    for (quint32 row = 0; row < 10; ++row) {
        times << late.link.records().cell(0, row);
    }
    EXPECT_EQ(times.removeDuplicates(), 0);
}

TEST(AnswerPace, SlowInstrumentIsAskedOncePerRecordOnceItsPaceIsKnown) {
    for (const qint64 thinkUs : {40'000LL, 120'000LL}) {
        PacedLink p;
        p.thinkUs = thinkUs;
        p.prepare(30);
        p.link.startDownload();
        p.run();
        EXPECT_EQ(p.exporter.sizes(), QList<quint32>({30})) << thinkUs;
        const QList<quint32> asked = p.asked();
        EXPECT_LE(asked.size(), 32) << thinkUs; // the first record may need the repeats
        for (quint32 n = 3; n <= 30; ++n) {
            EXPECT_EQ(asked.count(n), 1) << thinkUs << " " << n;
        }
        EXPECT_EQ(p.link.tickPaceSince(), 0u);
    }
}

TEST(AnswerPace, InstrumentThatCannotKeepUpGoesBackToTicksOnce) {
    PacedLink p;
    p.prepare(40);
    p.drop = [](const QByteArray&, qint64 due, qint64 last) {
        return last >= 0 && due - last < 20'000;
    };
    p.link.startDownload();
    p.run();
    const quint32 since = p.link.tickPaceSince();
    ASSERT_GT(since, 0u);
    EXPECT_LT(since, 15u);
    // From here a tick asks, as at the tick pace: 50 ms apart the instrument keeps up.
    while (p.link.state().recordIndex < 40 || p.link.state().awaitingRecord == 1) {
        p.timer.now += 50'000;
        const qsizetype before = p.line.sent.size();
        p.link.downloadTick();
        for (qsizetype i = before; i < p.line.sent.size(); ++i) {
            p.answer(p.line.sent[i]);
        }
        p.run(p.timer.now + 49'000);
        ASSERT_LT(p.line.sent.size(), 200);
    }
    EXPECT_EQ(p.exporter.sizes(), QList<quint32>({40}));
    EXPECT_EQ(p.link.tickPaceSince(), since);
    EXPECT_EQ(p.timer.armedAt, -1);
    // A new download tries the answer pace again.
    p.link.startDownload();
    EXPECT_EQ(p.link.tickPaceSince(), 0u);
}

TEST(AnswerPace, ParameterReadStepsFollowTheAnswersAndALostOneAtItsDeadline) {
    PacedLink p;
    p.config = SimulatorConfig::sixChannels();
    p.drop = [&](const QByteArray&, qint64, qint64) {
        return p.line.sent.size() == 4;
    };
    p.link.readParameter();
    p.run();
    ASSERT_EQ(p.line.sent.size(), 8);
    EXPECT_EQ(p.line.sent[7], QByteArray::fromHex("010300170012C375"));
    EXPECT_EQ(p.link.state().sequenceStep, 9);
    EXPECT_EQ(p.events.channelCount, 6);
    EXPECT_EQ(p.cell(4, 2), QStringLiteral("5000.000")); // range, step 6
    EXPECT_EQ(p.cell(4, 3), QString());                  // unit, step 4: lost
    // A step is never repeated: its answer is waited for as long as at the tick pace.
    EXPECT_EQ(p.sentAt[4] - p.sentAt[3], 150'000);
    EXPECT_EQ(p.timer.armedAt, -1);
    EXPECT_EQ(p.events.downloadEnabled, 1);
}
