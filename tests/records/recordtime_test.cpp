// The time cell and the reading cell of a record, read as numbers.
#include "records/readingtext.h"
#include "records/recordtime.h"

#include <gtest/gtest.h>

namespace {

RecordTime at(const char* text) {
    const std::optional<RecordTime> time = parseRecordTime(QString::fromLatin1(text));
    EXPECT_TRUE(time.has_value()) << text;
    return time.value_or(0);
}

bool readable(const char* text) {
    return parseRecordTime(QString::fromLatin1(text)).has_value();
}

} // namespace

TEST(RecordTime, TheProgramsTimeTextWithItsTwoBlanksReadsAndWritesBack) {
    const RecordTime time = at("2024-03-05  14:07:09");
    EXPECT_EQ(recordTimeText(time), QStringLiteral("2024-03-05  14:07:09"));
    EXPECT_EQ(isoRecordTime(time), QStringLiteral("2024-03-05T14:07:09"));
    // One blank or the ISO "T" (files from elsewhere) mean the same moment.
    EXPECT_EQ(at("2024-03-05 14:07:09"), time);
    EXPECT_EQ(at("2024-03-05T14:07:09"), time);
    EXPECT_EQ(at("  2024-03-05  14:07:09 "), time);
    // The first and the last year the instrument's byte can give.
    EXPECT_EQ(recordTimeText(at("2000-01-01  00:00:00")), QStringLiteral("2000-01-01  00:00:00"));
    EXPECT_EQ(recordTimeText(at("2255-12-31  23:59:59")), QStringLiteral("2255-12-31  23:59:59"));
}

TEST(RecordTime, DaysMonthsYearsAndLeapDaysFollowOneAnother) {
    EXPECT_EQ(at("2025-03-08  00:00:00") - at("2025-03-07  23:59:59"), 1);
    EXPECT_EQ(at("2025-04-01  00:00:00") - at("2025-03-31  23:59:59"), 1);
    EXPECT_EQ(at("2024-03-01  00:00:00") - at("2024-02-29  23:59:59"), 1);
    EXPECT_EQ(at("2025-03-01  00:00:00") - at("2025-02-28  23:59:59"), 1);
    EXPECT_EQ(at("2025-01-01  00:00:00") - at("2024-12-31  23:59:59"), 1);
    EXPECT_EQ(at("2000-03-01  00:00:00") - at("2000-02-29  00:00:00"), 86400);
    // Daylight saving of the computer's zone plays no part: the wall clock of the instrument.
    EXPECT_EQ(at("2025-03-30  03:00:00") - at("2025-03-30  01:59:59"), 3601);
}

TEST(RecordTime, ClockTextsNoCalendarHoldsAreNoTimes) {
    // The instrument's bytes are printed without calendar limits: month 13, day 32, byte 100.
    EXPECT_FALSE(readable("2025-13-01  00:00:00"));
    EXPECT_FALSE(readable("2025-02-29  00:00:00"));
    EXPECT_FALSE(readable("2025-03-32  00:00:00"));
    EXPECT_FALSE(readable("2025-03-07  24:00:00"));
    EXPECT_FALSE(readable("2025-03-07  12:60:00"));
    EXPECT_FALSE(readable("2025-03-100  12:00:00"));
    EXPECT_FALSE(readable("2025-03-07"));
    EXPECT_FALSE(readable("2025-03-07  12:00"));
    EXPECT_FALSE(readable("2025-03-07  12:00:00x"));
    EXPECT_FALSE(readable(""));
    EXPECT_FALSE(readable("Time"));
    // Three-digit fields that are still in range read (leading zero).
    EXPECT_EQ(at("2025-003-007  012:007:009"), at("2025-03-07  12:07:09"));
}

TEST(RecordTime, ASpreadsheetDayNumberIsReadAsTheDateItShows) {
    // A spreadsheet program that turned the texts into dates leaves day numbers from 1899-12-30.
    EXPECT_EQ(recordTimeText(at("45723")), QStringLiteral("2025-03-07  00:00:00"));
    EXPECT_EQ(recordTimeText(at("45723.5")), QStringLiteral("2025-03-07  12:00:00"));
    EXPECT_EQ(recordTimeText(at("45723.588298611")), QStringLiteral("2025-03-07  14:07:09"));
    EXPECT_FALSE(readable("0"));
    EXPECT_FALSE(readable("-5"));
    EXPECT_FALSE(readable("1e300"));
}

TEST(ReadingText, NumbersAsTheProgramAndOthersWriteThem) {
    const auto reading = [](const char* text) {
        return parseReading(QString::fromLatin1(text));
    };
    ASSERT_TRUE(reading("  123"));
    EXPECT_EQ(reading("  123")->value, 123.0);
    EXPECT_EQ(reading("  123")->decimals, 0);
    EXPECT_DOUBLE_EQ(reading(" 12.3")->value, 12.3);
    EXPECT_EQ(reading(" 12.3")->decimals, 1);
    EXPECT_DOUBLE_EQ(reading("0.123")->value, 0.123);
    EXPECT_EQ(reading("0.123")->decimals, 3);
    EXPECT_DOUBLE_EQ(reading("655.35")->value, 655.35);
    EXPECT_DOUBLE_EQ(reading("-2.50")->value, -2.5);
    EXPECT_EQ(reading("-2.50")->decimals, 2);
    EXPECT_DOUBLE_EQ(reading("1.5e-07")->value, 1.5e-07);
    EXPECT_EQ(reading("1.5e-07")->decimals, ReadingNumber::kShortest);
    EXPECT_DOUBLE_EQ(reading("12345678901234567890")->value, 12345678901234567890.0);
    for (const char* text :
         {"", "   ", "----", "OVER", "1,5", "12.3.4", ".", "-", "nan", "inf", "12 3", "0x10"}) {
        EXPECT_FALSE(reading(text)) << text;
    }
}
