#include "protocol/configdecoder.h"

#include <optional>

namespace {

constexpr int kDataStart = 3; // after address, function code and byte count

quint16 twoByteValue(const PollState& state, int at) {
    const auto k = static_cast<size_t>(at);
    return static_cast<quint16>(state.rxFrame[k] * 256 + state.rxFrame[k + 1]);
}

struct StepField {
    quint8 step;
    ChannelField field;
};

// The step at which each per-channel answer is decoded (one after the step that asked).
constexpr StepField kCodeSteps[] = {
    {4, ChannelField::GasType}, {5, ChannelField::Unit}, {6, ChannelField::Precision}};
constexpr StepField kValueSteps[] = {
    {7, ChannelField::Range}, {8, ChannelField::LowAlarm}, {9, ChannelField::HighAlarm}};

template <size_t N>
std::optional<ChannelField> fieldAtStep(const StepField (&steps)[N], quint8 step) {
    for (const StepField& entry : steps) {
        if (entry.step == step) {
            return entry.field;
        }
    }
    return std::nullopt;
}

ConfigAnswer readCodes(int channels, const PollState& state) {
    const std::optional<ChannelField> field = fieldAtStep(kCodeSteps, state.sequenceStep);
    if (!field) {
        return {};
    }
    ChannelCodesAnswer answer{*field, channels, {}};
    for (int i = 0; i < channels; ++i) {
        answer.codes[static_cast<size_t>(i)] = state.rxFrame[static_cast<size_t>(kDataStart + i)];
    }
    return answer;
}

ConfigAnswer readValues(int channels, const PollState& state) {
    const std::optional<ChannelField> field = fieldAtStep(kValueSteps, state.sequenceStep);
    if (!field) {
        return {};
    }
    ChannelValuesAnswer answer{*field, channels, {}};
    for (int i = 0; i < channels; ++i) {
        answer.raw[static_cast<size_t>(i)] = twoByteValue(state, kDataStart + 2 * i);
    }
    return answer;
}

ConfigAnswer readRecordTotal(const PollState& state) {
    const auto& f = state.rxFrame;
    return RecordTotalAnswer{(quint32(f[3]) << 24) | (quint32(f[4]) << 16) | (quint32(f[5]) << 8) |
                             quint32(f[6])};
}

// Applies one typed answer; each overload is one row of the answer table.
struct Apply {
    PollState& state;
    ChannelConfiguration& config;
    LinkEvents& events;
    const UserGasNames& userGases;

    void operator()(std::monostate) const {}

    void operator()(const ChannelCountAnswer& answer) const {
        state.channelCount = answer.count;
        state.sixChannel = answer.count > 4 ? 1 : 0;
        config.channelCount = answer.count;
        events.channelCountReported(answer.count);
    }

    void operator()(const RecordTotalAnswer& answer) const {
        state.recordTotal = answer.total;
        config.recordTotal = answer.total;
        events.recordTotalReported(answer.total);
    }

    void operator()(const ChannelCodesAnswer& answer) const {
        applyChannelCodes(config, answer, state.channelCount, userGases);
        for (int i = 0; i < answer.channels; ++i) {
            const auto k = static_cast<size_t>(i);
            const ChannelSettings& channel = config.channels[k];
            if (answer.field == ChannelField::GasType) {
                state.chanGasName[k] = channel.gasName;
            } else if (answer.field == ChannelField::Unit) {
                state.chanUnitName[k] = channel.unitName;
            } else {
                // Kept for every channel of the answer, left-out ones included.
                state.chanPrecision[k] = answer.codes[k];
            }
        }
        events.channelsChanged();
    }

    void operator()(const ChannelValuesAnswer& answer) const {
        applyChannelValues(config, answer, state.channelCount, state.chanPrecision);
        events.channelsChanged();
    }
};

} // namespace

ConfigAnswer readFunction3(const PollState& state) {
    switch (state.expectedDataLength) {
    case 1:
        // The high four bits of the answer carry something else.
        return ChannelCountAnswer{static_cast<quint8>(state.rxFrame[kDataStart] & 0x0F)};
    case 4:
        // The record total is always asked for with four data bytes, like a four-channel
        // code answer; only the step tells them apart.
        return state.sequenceStep == 3 ? readRecordTotal(state) : readCodes(4, state);
    case 6:
        return readCodes(6, state);
    case 8:
        return readValues(4, state);
    case 12:
        return readValues(6, state);
    default:
        return {};
    }
}

void DecodeFunction3(PollState& state, ChannelConfiguration& config, LinkEvents& events,
                     const UserGasNames& userGases) {
    std::visit(Apply{state, config, events, userGases}, readFunction3(state));
}
