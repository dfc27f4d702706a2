// One request, one answer: answers with CRC 00 00 and stray bytes behind them, record answers
// nobody asked for, answers held up past the next tick, and a silent instrument.
#include "linkfakes.h"
#include "model/codetables.h"
#include "protocol/framecodec.h"

#include <gtest/gtest.h>

#include <map>

namespace {

void prepareFourChannels(LinkFixture& f, quint32 total) {
    f.link.setChannelCount(4);
    f.link.state().recordTotal = total;
}

QString timeOf(quint32 n) {
    const auto t = simRecordOf(n).time;
    return QString::asprintf("%4d-%02d-%02d  %02d:%02d:%02d", t[0] + 2000, t[1], t[2], t[3], t[4],
                             t[5]);
}

quint32 recordNumberOf(const QByteArray& request) {
    SimRequestParser parser;
    parser.feed(request);
    return parser.next()->recordNumber;
}

// A four-channel record answer whose own CRC bytes are 00 00; the fourth reading is chosen
// to make it so.
QByteArray recordAnswerWithZeroCrc() {
    for (int reading = 0; reading <= 0xFFFF; ++reading) {
        const QByteArray answer = recordAnswer({24, 3, 5, 14, 7, 9}, {1, 2, 3, reading});
        if (answer.endsWith(QByteArray(2, '\0'))) {
            return answer;
        }
    }
    return {};
}

// The download on a millisecond clock: the timer ticks every 50 ms, the instrument answers each
// request 1 ms after it, except the first request for record `late`, answered `delayMs` after
// it. When an answer and a tick fall on the same millisecond, `answersFirst` decides which
// comes first. Returns the batches offered to the exporter.
struct TimedDownload {
    quint32 total = 20;
    quint32 late = 5;
    int delayMs = 0;
    bool answersFirst = true;

    LinkFixture f;
    FakeExporter exporter;
    SimulatorConfig config;
    std::multimap<int, QByteArray> arrivals;
    int ticks = 0;

    void deliver(int now) {
        const auto [first, last] = arrivals.equal_range(now);
        for (auto it = first; it != last; ++it) {
            f.link.receive(it->second);
        }
        arrivals.erase(first, last);
    }

    void run() {
        config.recordCount = total;
        f.link.setExporter(&exporter);
        prepareFourChannels(f, total);
        f.link.startDownload();
        bool lateTaken = false;
        for (int now = 1; now <= static_cast<int>(total + 20) * 50; ++now) {
            if (answersFirst) {
                deliver(now);
            }
            if (now % 50 == 0) {
                ++ticks;
                const qsizetype before = f.line.sent.size();
                f.link.downloadTick();
                if (f.line.sent.size() > before) {
                    const QByteArray request = f.line.sent.last();
                    int delay = 1;
                    if (recordNumberOf(request) == late && !lateTaken) {
                        lateTaken = true;
                        delay = delayMs;
                    }
                    arrivals.emplace(now + delay, simAnswerToLast(config, request));
                }
            }
            if (!answersFirst) {
                deliver(now);
            }
            if (f.link.state().recordIndex == total && f.link.state().awaitingRecord == 0 &&
                arrivals.empty()) {
                return;
            }
        }
    }
};

} // namespace

TEST(OneAnswerOneRecord, ZeroCrcAnswerFollowedByStrayBytesIsStoredOnce) {
    const QByteArray answer = recordAnswerWithZeroCrc();
    ASSERT_EQ(answer.size(), 19);
    for (int stray = 1; stray <= 10; ++stray) {
        for (const bool bytewise : {false, true}) {
            LinkFixture f;
            FakeExporter exporter;
            f.link.setExporter(&exporter);
            prepareFourChannels(f, 100);
            f.link.downloadTick();
            const QByteArray bytes = answer + QByteArray(stray, '\x00');
            if (bytewise) {
                feedBytewise(f.link, bytes);
            } else {
                f.link.receive(bytes);
            }
            EXPECT_EQ(f.link.state().storeRow, 1u) << stray << " stray bytes";
            const auto reading4 = static_cast<quint16>(static_cast<quint8>(answer[15]) * 256 +
                                                       static_cast<quint8>(answer[16]));
            EXPECT_EQ(f.link.records().cell(10, 0), FormatReading(reading4, 0, true));
            // Every byte is shown, the stray ones too.
            EXPECT_EQ(f.events.received.size(), 19 + stray);
        }
    }
}

TEST(OneAnswerOneRecord, RecordAnswersNobodyAskedForAreShownNotStored) {
    LinkFixture f;
    FakeExporter exporter;
    f.link.setExporter(&exporter);
    prepareFourChannels(f, 2);
    const SimulatorConfig config;
    const QByteArray first = simAnswerToLast(config, QByteArray::fromHex("01410000000105FC"));

    // Before the first request.
    f.link.receive(first);
    EXPECT_EQ(f.link.state().storeRow, 0u);
    EXPECT_EQ(f.events.received.size(), 19);

    // Both records asked for and answered; then the instrument repeats itself.
    for (int i = 0; i < 2; ++i) {
        f.link.downloadTick();
        f.link.receive(simAnswerToLast(config, f.line.sent.last()));
    }
    ASSERT_EQ(exporter.sizes(), QList<quint32>({2}));
    f.link.receive(first);
    f.link.downloadTick();
    f.link.receive(first);
    EXPECT_EQ(f.line.sent.size(), 2);
    EXPECT_EQ(exporter.sizes(), QList<quint32>({2}));
    EXPECT_EQ(f.link.state().storeRow, 0u);

    // A parameter request after the download: a record answer to it is not a record.
    f.link.readParameter();
    f.link.parameterTick();
    f.link.receive(first);
    EXPECT_EQ(exporter.sizes(), QList<quint32>({2}));
    EXPECT_EQ(f.link.state().storeRow, 0u);
}

TEST(LateAnswers, EveryDelayFrom40To200MsStoresEachRecordOnceInOrder) {
    for (int delay = 40; delay <= 200; ++delay) {
        for (const bool answersFirst : {true, false}) {
            TimedDownload d;
            d.delayMs = delay;
            d.answersFirst = answersFirst;
            d.run();
            ASSERT_EQ(d.exporter.sizes(), QList<quint32>({d.total}))
                << delay << " ms, answers first " << answersFirst;
            for (quint32 n = 1; n <= d.total; ++n) {
                ASSERT_EQ(d.f.link.records().cell(0, n - 1), timeOf(n))
                    << "record " << n << ", " << delay << " ms, answers first " << answersFirst;
            }
            // The late record costs its repeat and one quiet tick at most, and a tick more
            // when its late copy lands in that wait.
            EXPECT_LE(d.ticks, static_cast<int>(d.total) + 2 + (delay + 49) / 50) << delay << " ms";
        }
    }
}

TEST(LateAnswers, WithoutFaultsOneRecordPerTick) {
    TimedDownload d;
    d.total = 200;
    d.late = 0;
    d.run();
    EXPECT_EQ(d.ticks, 200);
    EXPECT_EQ(d.f.line.sent.size(), 200);
    EXPECT_EQ(d.exporter.sizes(), QList<quint32>({200}));
}

TEST(LateAnswers, EqualRecordsInARowAreEachStoredOnce) {
    // An instrument whose clock was never set may hold records that are byte for byte equal;
    // an answer equal to a repeated one's must still become the next record.
    LinkFixture f;
    FakeExporter exporter;
    f.link.setExporter(&exporter);
    prepareFourChannels(f, 4);
    const QByteArray same = recordAnswer({0, 0, 0, 0, 0, 0}, {0, 0, 0, 0});
    f.link.downloadTick(); // record 1, unanswered
    f.link.downloadTick(); // record 1 again
    f.link.receive(same);
    f.link.downloadTick(); // not quiet: waits
    f.link.downloadTick(); // record 2
    int ticks = 4;
    while (exporter.batches.isEmpty() && ticks < 40) {
        if (f.link.state().awaitingRecord == 1) {
            f.link.receive(same);
        }
        f.link.downloadTick();
        ++ticks;
    }
    EXPECT_EQ(exporter.sizes(), QList<quint32>({4}));
    EXPECT_LE(ticks, 12);
}

TEST(LateAnswers, ALineThatNeverFallsQuietDelaysTheNextRecordOnlySoLong) {
    LinkFixture f;
    prepareFourChannels(f, 3);
    const SimulatorConfig config;
    f.link.downloadTick();
    f.link.downloadTick(); // record 1 again
    f.link.receive(simAnswerToLast(config, f.line.sent.last()));
    int ticks = 0;
    while (f.line.sent.size() == 2 && ticks < 50) {
        f.link.receive(QByteArray(1, '\xFF')); // noise between every two ticks
        f.link.downloadTick();
        ++ticks;
    }
    EXPECT_EQ(ticks, LateAnswerGuard::kMostHeldTicks);
    EXPECT_EQ(recordNumberOf(f.line.sent.last()), 2u);
}

TEST(SilentInstrument, DownloadSilenceIsNamedOnceAndWithdrawnWhenAnswersResume) {
    LinkFixture f;
    qint64 now = 0;
    f.link.setClock([&now] { return now; });
    prepareFourChannels(f, 100);
    const SimulatorConfig config;
    f.link.startDownload();
    for (int i = 0; i < 20; ++i) {
        f.link.downloadTick();
        f.link.receive(simAnswerToLast(config, f.line.sent.last()));
        now += 50;
    }
    // Record 21 gets no answer: named after five seconds, not before.
    int ticks = 0;
    while (f.link.silence().kind == LinkSilence::Kind::None && ticks < 200) {
        f.link.downloadTick();
        now += 50;
        ++ticks;
    }
    EXPECT_EQ(ticks, 101);
    EXPECT_EQ(f.link.silence(), (LinkSilence{LinkSilence::Kind::Download, 21, 100}));
    EXPECT_EQ(recordNumberOf(f.line.sent.last()), 21u);
    // Requests go on; a wrong answer changes nothing; a valid one withdraws the text.
    f.link.downloadTick();
    QByteArray corrupt = simAnswerToLast(config, f.line.sent.last());
    corrupt[18] = static_cast<char>(corrupt[18] ^ 1);
    f.link.receive(corrupt);
    EXPECT_EQ(f.link.silence().kind, LinkSilence::Kind::Download);
    f.link.downloadTick();
    f.link.receive(simAnswerToLast(config, f.line.sent.last()));
    EXPECT_EQ(f.link.silence().kind, LinkSilence::Kind::None);

    // Silent again, then the port is closed: nothing more to say.
    for (int i = 0; i < 110; ++i) {
        f.link.downloadTick();
        now += 50;
    }
    EXPECT_EQ(f.link.silence().kind, LinkSilence::Kind::Download);
    f.link.stop();
    EXPECT_EQ(f.link.silence().kind, LinkSilence::Kind::None);
}

TEST(SilentInstrument, ParameterReadWithoutAnyAnswerIsNamed) {
    LinkFixture f;
    const auto runRead = [&f](bool answerFirstStep) {
        f.link.readParameter();
        while (f.link.parameterTick() != TickOutcome::StopTimer) {
            if (answerFirstStep && f.link.state().sequenceStep == 2) {
                f.link.receive(simAnswerToLast(SimulatorConfig(), f.line.sent.last()));
                EXPECT_EQ(f.link.silence().kind, LinkSilence::Kind::None);
            }
        }
    };
    runRead(false);
    EXPECT_EQ(f.link.silence().kind, LinkSilence::Kind::ParameterRead);
    // One valid answer of the next read withdraws it, and the read ends without a word.
    runRead(true);
    EXPECT_EQ(f.link.silence().kind, LinkSilence::Kind::None);
    // A read cut short (Download Data, Close Port) says nothing.
    f.link.readParameter();
    f.link.parameterTick();
    f.link.stop();
    EXPECT_EQ(f.link.silence().kind, LinkSilence::Kind::None);
}
