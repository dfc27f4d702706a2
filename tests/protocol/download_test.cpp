#include "linkfakes.h"
#include "model/codetables.h"
#include "protocol/framecodec.h"

#include <gtest/gtest.h>

namespace {

// Ticks and answers like a prompt instrument until a tick sends nothing or `limit` ticks.
void download(LinkFixture& f, const SimulatorConfig& config, int limit = 1 << 20) {
    for (int tick = 0; tick < limit; ++tick) {
        const qsizetype before = f.line.sent.size();
        f.link.downloadTick();
        if (f.line.sent.size() == before) {
            return;
        }
        f.link.receive(simAnswerToLast(config, f.line.sent.last()));
    }
}

void prepareFourChannels(LinkFixture& f, quint32 total) {
    PollState& s = f.link.state();
    f.link.setChannelCount(4);
    s.recordTotal = total;
    for (int c = 0; c < 6; ++c) {
        s.chanGasName[static_cast<size_t>(c)] = QStringLiteral("G%1").arg(c + 1);
        s.chanUnitName[static_cast<size_t>(c)] = QStringLiteral("U%1").arg(c + 1);
    }
}

QString timeOf(quint32 n) {
    const auto t = simRecordOf(n).time;
    return QString::asprintf("%4d-%02d-%02d  %02d:%02d:%02d", t[0] + 2000, t[1], t[2], t[3], t[4],
                             t[5]);
}

// What a record request leaves for the receive path: an empty buffer and a record outstanding.
void askForRecord(PollState& s) {
    ClearReceiveBuffer(s);
    s.awaitingRecord = 1;
}

QStringList rowTexts(const RecordStore& store, quint32 row) {
    QStringList cells;
    for (int column = 0; column < RecordStore::kColumns; ++column) {
        cells.append(store.cell(column, row));
    }
    return cells;
}

} // namespace

TEST(RecordDecoding, FourChannelRecords) {
    LinkFixture f;
    prepareFourChannels(f, 100);
    PollState& s = f.link.state();
    s.chanPrecision = {0, 1, 2, 3, 0, 0};
    s.awaitingRecord = 1;

    // A stray byte behind the answer must not store the record a second time.
    f.link.receive(recordAnswer({24, 3, 5, 14, 7, 9}, {123, 123, 123, 123}) + "\x01");
    EXPECT_EQ(s.storeRow, 1u);
    EXPECT_EQ(s.awaitingRecord, 0);
    EXPECT_EQ(s.rxFrame[17], 0);
    EXPECT_EQ(s.rxFrame[18], 0);
    EXPECT_EQ(rowTexts(f.link.records(), 0),
              QStringList({"2024-03-05  14:07:09", "G1", "G2", "G3", "G4", "", "", "  123", " 12.3",
                           " 1.23", "0.123", "", "", "U1", "U2", "U3", "U4", "", ""}));

    // Time bytes are taken as they come: year 0 and 255, three-digit fields.
    askForRecord(s);
    feedBytewise(f.link, recordAnswer({0, 1, 2, 3, 4, 5}, {0, 0, 0, 0}));
    askForRecord(s);
    feedBytewise(f.link, recordAnswer({255, 100, 31, 23, 59, 200}, {0, 0, 0, 0}));
    EXPECT_EQ(f.link.records().cell(0, 1), QStringLiteral("2000-01-02  03:04:05"));
    EXPECT_EQ(f.link.records().cell(0, 2), QStringLiteral("2255-100-31  23:59:200"));

    // N = 2 blanks channels 3 and 4; N = 0 or 5 writes no channel cell at all.
    s.storeRow = 0;
    f.link.setChannelCount(2);
    askForRecord(s);
    f.link.receive(recordAnswer({24, 1, 1, 0, 0, 0}, {1, 2, 3, 4}));
    EXPECT_EQ(rowTexts(f.link.records(), 0),
              QStringList({"2024-01-01  00:00:00", "G1", "G2", "", "", "", "", "    1", "  0.2", "",
                           "", "", "", "U1", "U2", "", "", "", ""}));
    for (const quint8 n : {quint8(0), quint8(5)}) {
        s.storeRow = 0;
        f.link.setChannelCount(n);
        askForRecord(s);
        f.link.receive(recordAnswer({25, 2, 2, 0, 0, 0}, {9, 9, 9, 9}));
        EXPECT_EQ(rowTexts(f.link.records(), 0),
                  QStringList({"2025-02-02  00:00:00", "G1", "G2", "", "", "", "", "    1", "  0.2",
                               "", "", "", "", "U1", "U2", "", "", "", ""}));
    }
}

TEST(RecordDecoding, SixChannelRecordsAndLeftoverCells) {
    LinkFixture f;
    prepareFourChannels(f, 100);
    PollState& s = f.link.state();
    s.sixChannel = 1;
    s.chanPrecision = {0, 1, 2, 3, 9, 1};
    askForRecord(s);
    f.link.receive(recordAnswer({24, 12, 31, 23, 59, 59}, {5, 350, 65535, 12345, 350, 0}));
    EXPECT_EQ(s.storeRow, 1u);
    EXPECT_EQ(
        rowTexts(f.link.records(), 0),
        QStringList({"2024-12-31  23:59:59", "G1", "G2", "G3", "G4", "G5", "G6", "    5", " 35.0",
                     "655.35", "12.345", "  350", "  0.0", "U1", "U2", "U3", "U4", "U5", "U6"}));
    // A 19-byte answer is no six-channel record.
    askForRecord(s);
    f.link.receive(recordAnswer({1, 1, 1, 1, 1, 1}, {1, 1, 1, 1}));
    EXPECT_EQ(s.storeRow, 1u);

    // A four-channel record later written into row 0 leaves channels 5 and 6 as they were.
    s.sixChannel = 0;
    s.storeRow = 0;
    askForRecord(s);
    f.link.receive(recordAnswer({24, 1, 1, 0, 0, 0}, {1, 1, 1, 1}));
    const QStringList row = rowTexts(f.link.records(), 0);
    EXPECT_EQ(row[0], QStringLiteral("2024-01-01  00:00:00"));
    EXPECT_EQ(row[5], QStringLiteral("G5"));
    EXPECT_EQ(row[11], QStringLiteral("  350"));
    EXPECT_EQ(row[18], QStringLiteral("U6"));
}

TEST(Download, RequestsProgressAndRepeats) {
    LinkFixture f;
    FakeExporter exporter;
    f.link.setExporter(&exporter);
    prepareFourChannels(f, 3);
    const SimulatorConfig config;
    f.link.startDownload();

    f.events.received = "junk";
    f.link.downloadTick();
    ASSERT_EQ(f.line.sent.size(), 1);
    EXPECT_EQ(f.line.sent[0], QByteArray::fromHex("01410000000105FC"));
    EXPECT_TRUE(f.events.received.isEmpty());
    EXPECT_EQ(f.events.requestedIndex, 1u);
    EXPECT_EQ(f.events.requestedTotal, 3u);

    // Unanswered: the same record again; a wrong CRC counts as unanswered.
    f.link.downloadTick();
    QByteArray corrupt = simAnswerToLast(config, f.line.sent.last());
    corrupt[18] = static_cast<char>(corrupt[18] ^ 0x10);
    f.link.receive(corrupt);
    f.link.downloadTick();
    EXPECT_EQ(f.line.sent[1], f.line.sent[0]);
    EXPECT_EQ(f.line.sent[2], f.line.sent[0]);
    // A second copy of the answer (the late answer to the first request) is not stored.
    f.link.receive(simAnswerToLast(config, f.line.sent.last()));
    f.link.receive(simAnswerToLast(config, f.line.sent.last()));
    EXPECT_EQ(f.link.state().storeRow, 1u);
    // The request had to be repeated, so record 2 waits for a tick that finds the line quiet;
    // further copies of record 1 arriving meanwhile are shown and not stored.
    const qsizetype beforeQuiet = f.line.sent.size();
    f.link.downloadTick();
    f.link.receive(simAnswerToLast(config, f.line.sent.last()));
    f.link.downloadTick();
    EXPECT_EQ(f.line.sent.size(), beforeQuiet);
    EXPECT_EQ(f.link.state().storeRow, 1u);
    EXPECT_EQ(f.events.requestedIndex, 1u);

    f.link.downloadTick();
    EXPECT_EQ(f.events.requestedIndex, 2u);
    f.link.receive(simAnswerToLast(config, f.line.sent.last()));
    f.link.downloadTick();
    EXPECT_EQ(f.events.requestedIndex, 3u);
    EXPECT_EQ(f.line.sent.last(), recordRequestFrame(3));
    EXPECT_TRUE(exporter.batches.isEmpty());
    f.link.receive(simAnswerToLast(config, f.line.sent.last()));
    ASSERT_EQ(exporter.sizes(), QList<quint32>({3}));
    EXPECT_EQ(exporter.batches[0].layout, ChannelLayout::Four);
    EXPECT_EQ(exporter.batches[0].firstTime, timeOf(1));
    EXPECT_EQ(exporter.batches[0].lastTime, timeOf(3));

    // Finished: further ticks and a second Download Data send nothing.
    const qsizetype sent = f.line.sent.size();
    f.link.downloadTick();
    f.link.startDownload();
    f.link.downloadTick();
    EXPECT_EQ(f.line.sent.size(), sent);
}

TEST(Download, LostLastAnswerAndClosedLine) {
    LinkFixture f;
    FakeExporter exporter;
    f.link.setExporter(&exporter);
    prepareFourChannels(f, 2);
    const SimulatorConfig config;
    download(f, config, 1);
    // The last answer is lost: the next tick asks for record 2 again.
    f.link.downloadTick();
    f.link.downloadTick();
    EXPECT_EQ(f.line.sent.size(), 3);
    EXPECT_EQ(f.line.sent[2], f.line.sent[1]);
    EXPECT_EQ(f.events.requestedIndex, 2u);

    // With the line closed a tick changes nothing at all.
    PollState& s = f.link.state();
    f.link.receive(QByteArray("\x01\x41", 2));
    f.line.open = false;
    const PollState before = s;
    const FakeEvents eventsBefore = f.events;
    for (int i = 0; i < 3; ++i) {
        f.link.downloadTick();
    }
    EXPECT_EQ(f.line.sent.size(), 3);
    EXPECT_EQ(s.recordIndex, before.recordIndex);
    EXPECT_EQ(s.awaitingRecord, 1);
    EXPECT_EQ(s.rxCount, before.rxCount);
    EXPECT_EQ(s.rxFrame, before.rxFrame);
    EXPECT_EQ(f.events.received, eventsBefore.received);
    EXPECT_EQ(f.events.requestedIndex, eventsBefore.requestedIndex);

    // Reopened: the outstanding record is asked for again, and its answer ends the download.
    f.line.open = true;
    download(f, config);
    EXPECT_EQ(f.line.sent.size(), 4);
    EXPECT_EQ(f.line.sent[3], recordRequestFrame(2));
    EXPECT_EQ(exporter.sizes(), QList<quint32>({2}));
    EXPECT_EQ(exporter.batches[0].lastTime, timeOf(2));

    // A total of 0 sends nothing.
    LinkFixture empty;
    empty.link.startDownload();
    empty.link.downloadTick();
    EXPECT_TRUE(empty.line.sent.isEmpty());
    EXPECT_EQ(empty.events.requestedIndex, 0u);
}

TEST(Batches, BoundariesAndSizes) {
    SimulatorConfig config;
    config.recordCount = 5000;
    {
        LinkFixture f;
        FakeExporter exporter;
        f.link.setExporter(&exporter);
        prepareFourChannels(f, 2500);
        download(f, config);
        EXPECT_EQ(f.line.sent.size(), 2500);
        ASSERT_EQ(exporter.sizes(), QList<quint32>({1000, 1000, 500}));
        EXPECT_EQ(exporter.batches[1].firstTime, timeOf(1001));
        EXPECT_EQ(exporter.batches[1].lastTime, timeOf(2000));
        EXPECT_EQ(exporter.batches[2].firstTime, timeOf(2001));
        EXPECT_EQ(exporter.batches[2].lastTime, timeOf(2500));
        EXPECT_EQ(f.link.state().storeRow, 0u);
        EXPECT_TRUE(f.link.flushUnwritten());
        EXPECT_EQ(exporter.batches.size(), 3);
    }
    {
        LinkFixture f;
        FakeExporter exporter;
        f.link.setExporter(&exporter);
        prepareFourChannels(f, 1);
        f.link.state().sixChannel = 1;
        SimulatorConfig six = SimulatorConfig::sixChannels();
        download(f, six);
        ASSERT_EQ(exporter.sizes(), QList<quint32>({1}));
        EXPECT_EQ(exporter.batches[0].layout, ChannelLayout::Six);
    }
    {
        // Without an exporter a batch is only counted off.
        LinkFixture f;
        prepareFourChannels(f, 1200);
        download(f, config, 1100);
        EXPECT_EQ(f.link.state().storeRow, 100u);
        download(f, config);
        EXPECT_EQ(f.link.state().storeRow, 0u);
    }
}

TEST(Batches, FailedExportsKeepTheirRows) {
    SimulatorConfig config;
    config.recordCount = 5000;
    LinkFixture f;
    FakeExporter exporter;
    f.link.setExporter(&exporter);
    prepareFourChannels(f, 3500);
    exporter.results = {false, false, true};
    download(f, config);
    // Retried only after another 1000 rows, each time with all rows kept; the store grows
    // past its 2000 reserved rows meanwhile.
    ASSERT_EQ(exporter.sizes(), QList<quint32>({1000, 2000, 3000, 500}));
    EXPECT_EQ(exporter.batches[2].firstTime, timeOf(1));
    EXPECT_EQ(exporter.batches[2].lastTime, timeOf(3000));
    EXPECT_EQ(f.link.records().cell(0, 2999), timeOf(3000));
    EXPECT_EQ(f.link.records().cell(7, 2999),
              FormatReading(simRecordOf(3000).readings[0], 0, true));
    EXPECT_EQ(exporter.batches[3].lastTime, timeOf(3500));

    // A failure at the end leaves the rows for flushUnwritten.
    LinkFixture g;
    FakeExporter late;
    g.link.setExporter(&late);
    prepareFourChannels(g, 1500);
    late.results = {false, false, false};
    download(g, config);
    EXPECT_EQ(late.sizes(), QList<quint32>({1000, 1500}));
    EXPECT_EQ(g.link.state().storeRow, 1500u);
    EXPECT_FALSE(g.link.flushUnwritten());
    EXPECT_TRUE(g.link.flushUnwritten());
    EXPECT_EQ(late.sizes(), QList<quint32>({1000, 1500, 1500, 1500}));
    EXPECT_EQ(late.batches.last().lastTime, timeOf(1500));
    EXPECT_EQ(g.link.state().storeRow, 0u);
    EXPECT_TRUE(g.link.flushUnwritten());
    EXPECT_EQ(late.batches.size(), 4);
}
