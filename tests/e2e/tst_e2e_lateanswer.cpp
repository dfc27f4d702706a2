// Answers held up, swept over delays from 1 to 200 ms in 2 ms steps in one long download from
// an instrument timed like the cable: every record ends up in the store and in the day's
// workbook exactly once and in order, nothing is skipped, and where nothing goes wrong each
// request follows the answer before it within milliseconds.
#include "eventwait.h"
#include "expectedtexts.h"
#include "instrumentrig.h"
#include "stallwatch.h"
#include "workbookreaders.h"

#include "app/mainwindow/trellmodlg.h"

#include <QTest>

#include <algorithm>
#include <map>

class LateAnswerTest : public QObject {
    Q_OBJECT
private slots:
    void delaysFrom1To200MsNeverDuplicateOrSkipARecord();
};

void LateAnswerTest::delaysFrom1To200MsNeverDuplicateOrSkipARecord() {
    constexpr int kFirstDelayMs = 1;
    constexpr int kLastDelayMs = 200;
    constexpr int kStepMs = 2;
    // A late copy is long gone (or set aside) six records later.
    constexpr quint32 kSpacing = 6;
    std::map<quint32, int> delayOf;
    for (int delay = kFirstDelayMs, n = 1; delay <= kLastDelayMs; delay += kStepMs, ++n) {
        delayOf[static_cast<quint32>(n) * kSpacing] = delay;
    }
    SimulatorConfig config;
    config.lineTiming = true;
    config.recordCount = static_cast<quint32>(delayOf.size() + 1) * kSpacing;
    const quint32 total = config.recordCount;

    InstrumentRig rig(config);
    QVERIFY(rig.openPort());
    QVERIFY(rig.readParameterCompletely());
    for (const auto& [record, delay] : delayOf) {
        rig.sim.faultRecord(record, SimFault::late(delay));
    }
    rig.sim.clearLog();
    StallWatch watch;
    rig.pressDownload();
    QVERIFY(rig.waitForDownload(120000));
    runEventLoopFor(300); // late copies still on their way are shown, never stored

    // Exactly once and in order, in memory and on disk, whatever the event loop went through.
    QCOMPARE(rig.storedRows(total), rig.expectedStoreRows(1, total));
    const ReadBook book = readWithXlrd(rig.recordWorkbook(QStringLiteral("C4-25-03-07.xls")));
    QVERIFY2(book.error.isEmpty(), qPrintable(book.error));
    const ReadSheet* sheet = book.sheet(QStringLiteral("Storage"));
    QVERIFY(sheet != nullptr);
    QList<QStringList> expected{expectedCaptions(4)};
    for (quint32 n = 1; n <= total; ++n) {
        expected << expectedSheetRow(config, n);
    }
    QCOMPARE(sheet->rows, expected);
    QCOMPARE(rig.window.messages.count(), 0);

    // Records were asked for in order, none skipped; a late one once more.
    const QList<SimRequest>& requests = rig.sim.requests();
    QList<quint32> asked = rig.sim.recordRequests();
    QCOMPARE(asked.first(), 1u);
    QCOMPARE(asked.last(), total);
    for (qsizetype i = 1; i < asked.size(); ++i) {
        QVERIFY2(asked[i] == asked[i - 1] || asked[i] == asked[i - 1] + 1,
                 qPrintable(QStringLiteral("%1 after %2").arg(asked[i]).arg(asked[i - 1])));
    }
    // An answer later than the allowance (50 ms from the end of the request) is asked again.
    QVERIFY(asked.count(delayOf.rbegin()->first) >= 2);

    // The pace between records that nothing held up: the answer's time on the line, 10 ms.
    QList<qint64> gaps;
    for (qsizetype i = 1; i < requests.size(); ++i) {
        const quint32 previous = requests[i - 1].recordNumber;
        if (requests[i].recordNumber == previous + 1 && !delayOf.contains(previous) &&
            asked.count(previous) == 1) {
            gaps << requests[i].atMs - requests[i - 1].atMs;
        }
    }
    std::sort(gaps.begin(), gaps.end());
    const qint64 median = gaps.value(gaps.size() / 2);
    const qint64 spanMs = requests.last().atMs - requests.first().atMs;
    qInfo("%u records, %lld requests in %lld ms (%.1f ms per record); median gap between "
          "undisturbed records %lld ms; worst event-loop stall %lld ms",
          total, static_cast<long long>(requests.size()), static_cast<long long>(spanMs),
          static_cast<double>(spanMs) / total, static_cast<long long>(median),
          static_cast<long long>(watch.worstLatenessMs()));
    if (!watch.disturbed()) {
        QVERIFY2(median <= 20, qPrintable(QString::number(median)));
        // Each late answer costs its repeat, nothing more.
        QVERIFY2(asked.size() <= static_cast<qsizetype>(total + 2 * delayOf.size()),
                 qPrintable(QString::number(asked.size())));
    }
}

QTEST_MAIN(LateAnswerTest)
#include "tst_e2e_lateanswer.moc"
