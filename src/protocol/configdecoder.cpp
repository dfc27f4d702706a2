#include "protocol/configdecoder.h"

#include "model/codetables.h"

namespace {

constexpr int kDataStart = 3; // after address, function code and byte count
constexpr int kMaxUnitCode = 5;

enum class CodeKind { Gas, Unit, Precision };
enum class ValueKind { Range, LowAlarm, HighAlarm };

void DecodeChannelCount(PollState& state, WindowValues& values) {
    // The high four bits of the answer carry something else.
    values.channelCount = state.rxFrame[kDataStart] & 0x0F;
    state.sixChannel = values.channelCount > 4 ? 1 : 0;
}

void DecodeRecordTotal(PollState& state, WindowValues& values, ChannelTable& table) {
    const auto& f = state.rxFrame;
    const quint32 total =
        (quint32(f[3]) << 24) | (quint32(f[4]) << 16) | (quint32(f[5]) << 8) | quint32(f[6]);
    values.recordTotal = total;
    state.recordTotal = total;
    if (total > 0) {
        table.enableDownload();
    }
}

// Whether channel (0-based) of a four-channel answer is shown. N of 0 shows the gas names
// but blanks units and precisions; N of 4 and above shows all four.
bool CodeChannelShown(CodeKind kind, int channel, quint8 channelCount) {
    if (channelCount == 0) {
        return kind == CodeKind::Gas;
    }
    return channel < channelCount;
}

void DecodeCodes(CodeKind kind, int channels, PollState& state, quint8 channelCount,
                 ChannelTable& table) {
    std::array<QString, PollState::kMaxChannels> texts;
    for (int i = 0; i < channels; ++i) {
        const quint8 code = state.rxFrame[static_cast<size_t>(kDataStart + i)];
        switch (kind) {
        case CodeKind::Gas:
            texts[i] = GasNameOf(code);
            break;
        case CodeKind::Unit:
            texts[i] = UnitNameOf(code > kMaxUnitCode ? 0 : code);
            break;
        case CodeKind::Precision:
            texts[i] = PrecisionTextOf(code);
            state.chanPrecision[static_cast<size_t>(i)] = code;
            break;
        }
        const bool fourChannel = channels == 4;
        if (fourChannel && !CodeChannelShown(kind, i, channelCount)) {
            texts[i].clear();
        }
    }
    const int column = kind == CodeKind::Gas    ? kColumnGasType
                       : kind == CodeKind::Unit ? kColumnUnit
                                                : kColumnPrecision;
    for (int i = 0; i < channels; ++i) {
        table.setCellText(i, column, texts[i]);
    }
    for (int i = 0; i < channels; ++i) {
        if (kind == CodeKind::Gas) {
            state.chanGasName[static_cast<size_t>(i)] = texts[i];
        } else if (kind == CodeKind::Unit) {
            state.chanUnitName[static_cast<size_t>(i)] = texts[i];
        }
    }
}

void DecodeValues(ValueKind kind, int channels, PollState& state, quint8 channelCount,
                  ChannelTable& table) {
    const int column = kind == ValueKind::Range      ? kColumnRange
                       : kind == ValueKind::LowAlarm ? kColumnLowAlarm
                                                     : kColumnHighAlarm;
    // Ranges keep their integer magnitude and only take the channel's decimals.
    const bool scaled = kind != ValueKind::Range;
    for (int i = 0; i < channels; ++i) {
        const auto at = static_cast<size_t>(kDataStart + 2 * i);
        const quint16 raw = static_cast<quint16>(state.rxFrame[at] * 256 + state.rxFrame[at + 1]);
        state.chanRaw[static_cast<size_t>(i)] = raw;
        state.chanValue[static_cast<size_t>(i)] = static_cast<float>(raw);
        QString text = FormatReading(raw, state.chanPrecision[static_cast<size_t>(i)], scaled);
        if (channels == 4 && i > 0 && channelCount < i + 1) {
            text.clear();
        }
        table.setCellText(i, column, text);
    }
}

void DecodeOneBytePerChannel(int channels, PollState& state, WindowValues& values,
                             ChannelTable& table) {
    switch (state.sequenceStep) {
    case 4:
        DecodeCodes(CodeKind::Gas, channels, state, values.channelCount, table);
        break;
    case 5:
        DecodeCodes(CodeKind::Unit, channels, state, values.channelCount, table);
        break;
    case 6:
        DecodeCodes(CodeKind::Precision, channels, state, values.channelCount, table);
        break;
    default:
        break;
    }
}

void DecodeTwoBytesPerChannel(int channels, PollState& state, WindowValues& values,
                              ChannelTable& table) {
    switch (state.sequenceStep) {
    case 7:
        DecodeValues(ValueKind::Range, channels, state, values.channelCount, table);
        break;
    case 8:
        DecodeValues(ValueKind::LowAlarm, channels, state, values.channelCount, table);
        break;
    case 9:
        DecodeValues(ValueKind::HighAlarm, channels, state, values.channelCount, table);
        break;
    default:
        break;
    }
}

} // namespace

void DecodeFunction3(PollState& state, WindowValues& values, ChannelTable& table) {
    switch (state.expectedDataLength) {
    case 1:
        DecodeChannelCount(state, values);
        break;
    case 4:
        // The record total is always asked for with four data bytes, like a four-channel
        // code answer; only the step tells them apart.
        if (state.sequenceStep == 3) {
            DecodeRecordTotal(state, values, table);
        } else {
            DecodeOneBytePerChannel(4, state, values, table);
        }
        break;
    case 6:
        DecodeOneBytePerChannel(6, state, values, table);
        break;
    case 8:
        DecodeTwoBytesPerChannel(4, state, values, table);
        break;
    case 12:
        DecodeTwoBytesPerChannel(6, state, values, table);
        break;
    default:
        break;
    }
}
