// The formatting layer, row by row: the instrument's codes and raw numbers in, the texts the
// channel table and the record store show out.
#include "model/displaytexts.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

// A column of the channel table as the configuration renders it.
QStringList texts(const ChannelConfiguration& config, ChannelField field) {
    QStringList column;
    for (const ChannelSettings& channel : config.channels) {
        column.append(channelFieldText(channel, field));
    }
    return column;
}

struct CodeRow {
    const char* what;
    ChannelField field;
    int channels;
    std::array<quint8, 6> codes;
    quint8 channelCount;
    QStringList expected;
};

TEST(DisplayTexts, CodeAnswers) {
    UserGasNames user;
    user[0] = QStringLiteral("Freon ");
    const CodeRow rows[] = {
        {"four gases, N 4",
         ChannelField::GasType,
         4,
         {1, 2, 3, 4},
         4,
         {"CO      ", "H2S     ", "O2      ", "EX      ", "", ""}},
        {"N 3 blanks channel 4",
         ChannelField::GasType,
         4,
         {1, 2, 3, 4},
         3,
         {"CO      ", "H2S     ", "O2      ", "", "", ""}},
        {"N 0 keeps gas names",
         ChannelField::GasType,
         4,
         {5, 6, 7, 8},
         0,
         {"SO2     ", "NH3     ", "H2      ", "N2      ", "", ""}},
        {"N 0 blanks units", ChannelField::Unit, 4, {1, 2, 3, 4}, 0, {"", "", "", "", "", ""}},
        {"N 0 blanks precisions",
         ChannelField::Precision,
         4,
         {1, 2, 3, 0},
         0,
         {"", "", "", "", "", ""}},
        {"N above 4 shows four",
         ChannelField::Precision,
         4,
         {0, 1, 2, 3},
         9,
         {"1", "0.1", "0.01", "0.001", "", ""}},
        {"user gas and codes without name",
         ChannelField::GasType,
         4,
         {81, 82, 75, 200},
         4,
         {"Freon ", "", "", "", "", ""}},
        {"six units ignore N, above 5 is PPM",
         ChannelField::Unit,
         6,
         {2, 7, 0, 5, 6, 255},
         2,
         {"%VOL", "PPM", "PPM", "g/m3", "PPM", "PPM"}},
        {"precision without text",
         ChannelField::Precision,
         6,
         {4, 9, 255, 3, 2, 1},
         6,
         {"", "", "", "0.001", "0.01", "0.1"}},
    };
    for (const CodeRow& row : rows) {
        ChannelConfiguration config;
        applyChannelCodes(config, {row.field, row.channels, row.codes}, row.channelCount, user);
        EXPECT_EQ(texts(config, row.field), row.expected) << row.what;
    }
}

struct ValueRow {
    const char* what;
    ChannelField field;
    int channels;
    std::array<quint16, 6> raw;
    ChannelPrecisions precisions;
    quint8 channelCount;
    QStringList expected;
};

TEST(DisplayTexts, RangeAndAlarmAnswers) {
    const ValueRow rows[] = {
        {"ranges keep their magnitude",
         ChannelField::Range,
         4,
         {1000, 1000, 200, 0},
         {0, 1, 2, 2},
         4,
         {" 1000", "1000.0", "200.00", " 0.00", "", ""}},
        {"alarms are divided",
         ChannelField::LowAlarm,
         4,
         {350, 350, 200, 123},
         {0, 1, 2, 3},
         4,
         {"  350", " 35.0", " 2.00", "0.123", "", ""}},
        {"N 2 blanks channels 3 and 4",
         ChannelField::HighAlarm,
         4,
         {1, 2, 3, 4},
         {0, 0, 0, 0},
         2,
         {"    1", "    2", "", "", "", ""}},
        {"N 0 still shows channel 1",
         ChannelField::LowAlarm,
         4,
         {0x15E, 2, 3, 4},
         {1, 0, 0, 0},
         0,
         {" 35.0", "", "", "", "", ""}},
        {"precision 9: no decimals, not divided",
         ChannelField::HighAlarm,
         4,
         {350, 0, 0, 0},
         {9, 0, 0, 0},
         1,
         {"  350", "", "", "", "", ""}},
        {"six channels ignore N",
         ChannelField::Range,
         6,
         {1, 2, 3, 4, 5, 65535},
         {0, 0, 0, 0, 0, 2},
         1,
         {"    1", "    2", "    3", "    4", "    5", "65535.00"}},
    };
    for (const ValueRow& row : rows) {
        ChannelConfiguration config;
        applyChannelValues(config, {row.field, row.channels, row.raw}, row.channelCount,
                           row.precisions);
        EXPECT_EQ(texts(config, row.field), row.expected) << row.what;
    }
    // The levels as numbers, as the texts show them.
    ChannelConfiguration config;
    applyChannelValues(config, {ChannelField::LowAlarm, 4, {350, 350, 200, 123}}, 4, {0, 1, 2, 3});
    applyChannelValues(config, {ChannelField::Range, 4, {1000, 1000, 9, 9}}, 4, {0, 1, 9, 9});
    EXPECT_EQ(config.channels[0].lowAlarm->value(), 350.0);
    EXPECT_EQ(config.channels[1].lowAlarm->value(), 35.0);
    EXPECT_EQ(config.channels[2].lowAlarm->value(), 2.0);
    EXPECT_EQ(config.channels[3].lowAlarm->value(), 0.123);
    EXPECT_EQ(config.channels[1].range->value(), 1000.0);
    EXPECT_FALSE(config.channels[1].highAlarm);
}

TEST(DisplayTexts, Times) {
    const std::pair<std::array<quint8, 6>, const char*> times[] = {
        {{24, 3, 5, 14, 7, 9}, "2024-03-05  14:07:09"},
        {{0, 1, 1, 0, 0, 0}, "2000-01-01  00:00:00"},
        {{255, 13, 32, 24, 60, 99}, "2255-13-32  24:60:99"},
        {{1, 100, 200, 255, 0, 0}, "2001-100-200  255:00:00"},
    };
    for (const auto& [bytes, text] : times) {
        EXPECT_EQ(recordTimeText(bytes), QString::fromLatin1(text));
    }
}

struct RecordRow {
    const char* what;
    int channels;
    quint8 channelCount;
    int written;
    QStringList readings; // of the channel groups written
};

TEST(DisplayTexts, RecordRows) {
    const ChannelTexts gas{"G1", "G2", "G3", "G4", "G5", "G6"};
    const ChannelTexts unit{"U1", "U2", "U3", "U4", "U5", "U6"};
    const ChannelPrecisions precisions{0, 1, 2, 3, 0, 1};
    const RecordRow rows[] = {
        {"four channels, N 4", 4, 4, 4, {"  123", " 12.3", " 1.23", "0.123"}},
        {"N 2 writes channels 3 and 4 empty", 4, 2, 4, {"  123", " 12.3", "", ""}},
        {"N 1", 4, 1, 4, {"  123", "", "", ""}},
        {"N 0 writes no channel", 4, 0, 0, {}},
        {"N 5 on four channels writes no channel", 4, 5, 0, {}},
        {"six channels ignore N", 6, 0, 6, {"  123", " 12.3", " 1.23", "0.123", "  123", " 12.3"}},
    };
    const RecordValues record{{24, 3, 5, 14, 7, 9}, 4, {123, 123, 123, 123, 123, 123}};
    for (const RecordRow& row : rows) {
        RecordValues values = record;
        values.channels = row.channels;
        const RecordRowTexts texts =
            recordRowTextsOf(values, row.channelCount, gas, unit, precisions);
        EXPECT_EQ(texts.time, QStringLiteral("2024-03-05  14:07:09")) << row.what;
        ASSERT_EQ(texts.channels, row.written) << row.what;
        for (int i = 0; i < row.written; ++i) {
            const RecordChannelTexts& cells = texts.cells[static_cast<size_t>(i)];
            const bool blank = row.readings[i].isEmpty();
            EXPECT_EQ(cells.reading, row.readings[i]) << row.what << ", channel " << i + 1;
            EXPECT_EQ(cells.gas, blank ? QString() : gas[static_cast<size_t>(i)]) << row.what;
            EXPECT_EQ(cells.unit, blank ? QString() : unit[static_cast<size_t>(i)]) << row.what;
        }
    }
}

} // namespace
