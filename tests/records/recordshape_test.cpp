// Records of a day workbook shaped into lines: one per channel, gas and unit, broken at gaps, at
// a clock set back and where the channel measured something else; readings that are no number
// left out and counted; alarm levels for the channel's gas.
#include "recordbooks.h"

#include "records/recordshape.h"
#include "records/recordsheet.h"

#include <QTemporaryDir>
#include <array>
#include <gtest/gtest.h>

namespace {

class RecordShapeTest : public ::testing::Test {
protected:
    RecordShape shape(const QList<QStringList>& rows) {
        const QString path = m_dir.filePath(QStringLiteral("C4-25-03-07.xls"));
        EXPECT_EQ(writeWorkbook(path, rows), QString());
        const RecordSheetRead read = readRecordSheet(path);
        EXPECT_EQ(read.problem, QString());
        m_sheet = read.sheet;
        return m_sheet ? shapeRecords(*m_sheet) : RecordShape{};
    }

    static QStringList names(const RecordShape& shape) {
        QStringList names;
        for (const RecordSeries& s : shape.series) {
            names << s.name;
        }
        return names;
    }

    // The records of a series' points, segment by segment.
    static std::vector<std::vector<int>> segments(const RecordSeries& s) {
        std::vector<std::vector<int>> out;
        for (size_t seg = 0; seg < s.segmentCount(); ++seg) {
            out.emplace_back();
            for (size_t i = s.segmentStarts[seg]; i < s.segmentEnd(seg); ++i) {
                out.back().push_back(s.points[i].record);
            }
        }
        return out;
    }

    QTemporaryDir m_dir;
    std::shared_ptr<const RecordSheet> m_sheet;
};

QList<ChannelTexts> four(const QString& r1, const QString& r2 = QStringLiteral("  1"),
                         const QString& r3 = QStringLiteral("20.9"),
                         const QString& r4 = QStringLiteral("  0")) {
    return {{QStringLiteral("CO      "), r1, QStringLiteral("PPM")},
            {QStringLiteral("H2S     "), r2, QStringLiteral("PPM")},
            {QStringLiteral("O2      "), r3, QStringLiteral("%VOL")},
            {QStringLiteral("EX      "), r4, QStringLiteral("%LEL")}};
}

QString clock(int seconds) {
    return QString::asprintf("2025-03-07  %02d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                             seconds % 60);
}

} // namespace

TEST_F(RecordShapeTest, FourAndSixChannelDaysGiveOneLinePerChannelNamedByGasAndUnit) {
    QList<QStringList> rows{recordCaptions(4)};
    for (int n = 0; n < 5; ++n) {
        rows << recordRow(clock(36000 + 3 * n), four(QString::number(n)));
    }
    const RecordShape four = shape(rows);
    EXPECT_EQ(names(four),
              QStringList({QStringLiteral("CH1 CO PPM"), QStringLiteral("CH2 H2S PPM"),
                           QStringLiteral("CH3 O2 %VOL"), QStringLiteral("CH4 EX %LEL")}));
    EXPECT_EQ(four.records, 5);
    EXPECT_EQ(four.interval, 3);
    ASSERT_EQ(four.series[0].points.size(), 5u);
    EXPECT_EQ(four.series[0].points[4].value, 4.0);
    EXPECT_EQ(four.series[0].points[4].time - four.series[0].points[0].time, 12);
    EXPECT_DOUBLE_EQ(four.series[2].points[0].value, 20.9);
    EXPECT_EQ(four.series[0].segmentCount(), 1u);
    EXPECT_EQ(four.notNumeric, 0);
    EXPECT_EQ(m_sheet->channelCount, 4);

    const RecordShape six = shape(sixChannelDay(300));
    ASSERT_EQ(six.series.size(), 6u);
    EXPECT_EQ(six.series[5].name, QStringLiteral("CH6 SO2 PPM"));
    for (const RecordSeries& s : six.series) {
        EXPECT_EQ(s.points.size(), 300u);
        EXPECT_EQ(s.segmentCount(), 1u);
        EXPECT_EQ(s.variant, 0);
    }
    EXPECT_EQ(six.lastTime - six.firstTime, 299 * 3);
}

TEST_F(RecordShapeTest, DaysAndMonthsCrossWithoutABreakAndGapsOfMoreThanTenIntervalsBreak) {
    QList<QStringList> rows{recordCaptions(4)};
    rows << recordRow(QStringLiteral("2025-03-31  23:59:54"), four(QStringLiteral("1")))
         << recordRow(QStringLiteral("2025-03-31  23:59:57"), four(QStringLiteral("2")))
         << recordRow(QStringLiteral("2025-04-01  00:00:00"), four(QStringLiteral("3")))
         << recordRow(QStringLiteral("2025-04-01  00:00:03"), four(QStringLiteral("4")))
         // Exactly ten intervals on: still one line.
         << recordRow(QStringLiteral("2025-04-01  00:00:33"), four(QStringLiteral("5")))
         << recordRow(QStringLiteral("2025-04-01  00:00:36"), four(QStringLiteral("6")))
         // Eleven intervals: the instrument was off, the line breaks.
         << recordRow(QStringLiteral("2025-04-01  00:01:09"), four(QStringLiteral("7")))
         << recordRow(QStringLiteral("2025-04-01  00:01:12"), four(QStringLiteral("8")));
    const RecordShape s = shape(rows);
    EXPECT_EQ(s.interval, 3);
    EXPECT_EQ(segments(s.series[0]), (std::vector<std::vector<int>>{{0, 1, 2, 3, 4, 5}, {6, 7}}));
    EXPECT_EQ(segments(s.series[3]), (std::vector<std::vector<int>>{{0, 1, 2, 3, 4, 5}, {6, 7}}));
}

TEST_F(RecordShapeTest, AClockSetBackKeepsFileOrderAndStartsANewLine) {
    QList<QStringList> rows{recordCaptions(4)};
    const int times[] = {600, 603, 606, 609, 540, 543, 546, 612};
    for (int n = 0; n < 8; ++n) {
        rows << recordRow(clock(times[n]), four(QString::number(n)));
    }
    const RecordShape s = shape(rows);
    const RecordSeries& co = s.series[0];
    // Not sorted by time (which would zigzag between the two runs): file order, three lines.
    EXPECT_EQ(segments(co), (std::vector<std::vector<int>>{{0, 1, 2, 3}, {4, 5, 6}, {7}}));
    for (size_t i = 0; i < co.points.size(); ++i) {
        EXPECT_EQ(co.points[i].value, double(i));
    }
    EXPECT_EQ(s.firstTime, co.points[4].time);
    EXPECT_EQ(s.lastTime, co.points[7].time);
}

TEST_F(RecordShapeTest, ReadingsThatAreNoNumberAreLeftOutAndCountedUnusedChannelsAreNot) {
    QList<QStringList> rows{recordCaptions(4)};
    rows << recordRow(clock(0), four(QStringLiteral("  5"), QStringLiteral("----")))
         << recordRow(clock(3), four(QString(), QStringLiteral("OVER")))
         << recordRow(clock(6), four(QStringLiteral("  7"), QStringLiteral("  2")))
         // A record whose time cannot be read is left out as a whole.
         << recordRow(QStringLiteral("2025-13-07  00:00:09"), four(QStringLiteral("  8")))
         << recordRow(clock(12), four(QStringLiteral("1,5")));
    // Channel 4 unused in the last records, as the program writes a channel count below four.
    rows[4][10] = rows[4][11] = rows[4][12] = QString();
    rows[5][10] = rows[5][11] = rows[5][12] = QString();
    const RecordShape s = shape(rows);
    EXPECT_EQ(s.notNumeric, 4); // blank, "1,5" on CH1; "----", "OVER" on CH2
    EXPECT_EQ(s.withoutTime, 1);
    EXPECT_EQ(s.records, 5);
    ASSERT_EQ(s.series.size(), 4u);
    EXPECT_EQ(segments(s.series[0]), (std::vector<std::vector<int>>{{0, 2}}));
    EXPECT_EQ(segments(s.series[1]), (std::vector<std::vector<int>>{{2, 4}}));
    EXPECT_EQ(segments(s.series[3]), (std::vector<std::vector<int>>{{0, 1, 2}}));
    EXPECT_EQ(m_sheet->timeText(3), QStringLiteral("2025-13-07  00:00:09"));
    EXPECT_EQ(m_sheet->readingText(1, 2), QStringLiteral("OVER"));
    EXPECT_EQ(m_sheet->readingText(0, 1), QStringLiteral("5"));
}

TEST_F(RecordShapeTest, AGasOrUnitChangingMidFileSplitsTheChannelIntoSeparateLines) {
    QList<QStringList> rows{recordCaptions(4)};
    const auto with = [](const char* gas, const char* unit, int reading) {
        QList<ChannelTexts> channels = four(QStringLiteral("1"));
        channels[1] = {QString::fromLatin1(gas), QString::number(reading),
                       QString::fromLatin1(unit)};
        return channels;
    };
    rows << recordRow(clock(0), with("H2S     ", "PPM", 1))
         << recordRow(clock(3), with("H2S     ", "PPM", 2))
         << recordRow(clock(6), with("CO      ", "PPM", 300))
         << recordRow(clock(9), with("CO      ", "PPM", 310))
         << recordRow(clock(12), with("H2S     ", "PPM", 3))
         << recordRow(clock(15), with("H2S     ", "mg/m3", 4));
    const RecordShape s = shape(rows);
    EXPECT_EQ(names(s),
              QStringList({QStringLiteral("CH1 CO PPM"), QStringLiteral("CH2 H2S PPM"),
                           QStringLiteral("CH2 CO PPM"), QStringLiteral("CH2 H2S mg/m3"),
                           QStringLiteral("CH3 O2 %VOL"), QStringLiteral("CH4 EX %LEL")}));
    // Never mixed on one line, and the H2S line does not bridge the CO stretch.
    EXPECT_EQ(segments(s.series[1]), (std::vector<std::vector<int>>{{0, 1}, {4}}));
    EXPECT_EQ(segments(s.series[2]), (std::vector<std::vector<int>>{{2, 3}}));
    EXPECT_EQ(segments(s.series[3]), (std::vector<std::vector<int>>{{5}}));
    EXPECT_EQ(s.series[1].variant, 0);
    EXPECT_EQ(s.series[2].variant, 1);
    EXPECT_EQ(s.series[3].variant, 2);
    EXPECT_EQ(s.series[2].minValue, 300);
    EXPECT_EQ(s.series[2].maxValue, 310);
}

TEST_F(RecordShapeTest, AlarmLevelsGoToTheSeriesOfTheChannelsReportedGas) {
    QList<QStringList> rows{recordCaptions(4)};
    rows << recordRow(clock(0), four(QStringLiteral("1")));
    QList<ChannelTexts> other = four(QStringLiteral("2"));
    other[0].gas = QStringLiteral("H2S     ");
    rows << recordRow(clock(3), other);
    RecordShape s = shape(rows);
    ASSERT_EQ(names(s).first(), QStringLiteral("CH1 CO PPM"));

    // As a parameter read reports them: CO on channel 1, O2 in PPM on channel 3, only a high
    // level for EX on channel 4, no gas on channel 2.
    ChannelConfiguration config;
    applyChannelCodes(config, {ChannelField::GasType, 4, {1, 0, 3, 4}}, 4, UserGasNames{});
    config.channels[1] = {};
    applyChannelCodes(config, {ChannelField::Unit, 4, {0, 0, 0, 3}}, 4, UserGasNames{});
    applyChannelValues(config, {ChannelField::LowAlarm, 4, {35, 5, 195, 0}}, 4, {0, 0, 1, 0});
    applyChannelValues(config, {ChannelField::HighAlarm, 4, {200, 9, 235, 20}}, 4, {0, 0, 1, 0});
    config.channels[3].lowAlarm.reset();
    const std::vector<ChannelAlarm> alarms = channelAlarmsOf(config);
    EXPECT_EQ(alarms.size(), 3u);
    applyAlarms(s, alarms);
    EXPECT_EQ(s.series[0].lowAlarm, 35.0); // CH1 CO
    EXPECT_EQ(s.series[0].highAlarm, 200.0);
    EXPECT_FALSE(s.series[1].lowAlarm); // CH1 H2S: another gas
    EXPECT_FALSE(s.series[2].lowAlarm); // CH2 H2S: nothing reported
    EXPECT_FALSE(s.series[3].lowAlarm); // CH3 O2 in %VOL, reported in PPM
    EXPECT_FALSE(s.series[4].lowAlarm); // CH4 EX: only the high level
    EXPECT_EQ(s.series[4].highAlarm, 20.0);

    applyAlarms(s, {});
    EXPECT_FALSE(s.series[0].highAlarm);
}
