#pragma once

#include <QtGlobal>
#include <array>
#include <variant>

// What the instrument's answers carry, as it sends it: codes and raw numbers, no texts. The
// decoders produce these; displaytexts.h turns them into what the table, the monitors and the
// workbooks show.

constexpr int kMaxChannels = 6;

// The channel table's value columns, one per configuration field.
enum class ChannelField { GasType, Range, Unit, Precision, LowAlarm, HighAlarm };
constexpr int kChannelFieldCount = 6;

struct ChannelCountAnswer {
    quint8 count = 0; // 0-15
};

struct RecordTotalAnswer {
    quint32 total = 0;
};

// Gas, unit or precision codes: one byte per channel.
struct ChannelCodesAnswer {
    ChannelField field = ChannelField::GasType;
    int channels = 4; // 4 or 6
    std::array<quint8, kMaxChannels> codes{};
};

// Ranges, low or high alarms: two bytes per channel, unsigned.
struct ChannelValuesAnswer {
    ChannelField field = ChannelField::Range;
    int channels = 4;
    std::array<quint16, kMaxChannels> raw{};
};

// A configuration answer; monostate when its step has no decoding for its length.
using ConfigAnswer = std::variant<std::monostate, ChannelCountAnswer, RecordTotalAnswer,
                                  ChannelCodesAnswer, ChannelValuesAnswer>;

// One stored record: its six time bytes (year - 2000, month, day, hour, minute, second) and
// the raw readings of its channels.
struct RecordValues {
    std::array<quint8, 6> time{};
    int channels = 4;
    std::array<quint16, kMaxChannels> readings{};
};
