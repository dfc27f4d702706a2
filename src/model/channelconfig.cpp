#include "model/channelconfig.h"

#include "model/codetables.h"

namespace {

constexpr quint8 kMaxShownUnitCode = 5;

// Whether channel (0-based) of a four-channel code answer is reported.
bool codeChannelShown(ChannelField field, int channel, quint8 channelCount) {
    if (channelCount == 0) {
        return field == ChannelField::GasType;
    }
    return channel < channelCount;
}

void setCode(ChannelSettings& channel, ChannelField field, std::optional<quint8> code,
             const UserGasNames& userGases) {
    switch (field) {
    case ChannelField::GasType:
        channel.gasCode = code;
        channel.gasName = code ? GasNameOf(*code, userGases) : QString();
        break;
    case ChannelField::Unit:
        if (code && *code > kMaxShownUnitCode) {
            code = 0;
        }
        channel.unitCode = code;
        channel.unitName = code ? UnitNameOf(*code) : QString();
        break;
    case ChannelField::Precision:
        channel.precision = code;
        break;
    default:
        break;
    }
}

std::optional<ChannelLevel>& levelOf(ChannelSettings& channel, ChannelField field) {
    if (field == ChannelField::LowAlarm) {
        return channel.lowAlarm;
    }
    if (field == ChannelField::HighAlarm) {
        return channel.highAlarm;
    }
    return channel.range;
}

} // namespace

double ChannelLevel::value() const {
    return ScaledReading(raw, precision, scaled);
}

bool ChannelSettings::has(ChannelField field) const {
    switch (field) {
    case ChannelField::GasType:
        return gasCode.has_value();
    case ChannelField::Range:
        return range.has_value();
    case ChannelField::Unit:
        return unitCode.has_value();
    case ChannelField::Precision:
        return precision.has_value();
    case ChannelField::LowAlarm:
        return lowAlarm.has_value();
    case ChannelField::HighAlarm:
        return highAlarm.has_value();
    }
    return false;
}

void applyChannelCodes(ChannelConfiguration& config, const ChannelCodesAnswer& answer,
                       quint8 channelCount, const UserGasNames& userGases) {
    for (int i = 0; i < answer.channels; ++i) {
        const auto k = static_cast<size_t>(i);
        const bool shown = answer.channels != 4 || codeChannelShown(answer.field, i, channelCount);
        setCode(config.channels[k], answer.field,
                shown ? std::optional<quint8>(answer.codes[k]) : std::nullopt, userGases);
    }
}

void applyChannelValues(ChannelConfiguration& config, const ChannelValuesAnswer& answer,
                        quint8 channelCount, const ChannelPrecisions& precisions) {
    const bool scaled = answer.field != ChannelField::Range;
    for (int i = 0; i < answer.channels; ++i) {
        const auto k = static_cast<size_t>(i);
        const bool blanked = answer.channels == 4 && i > 0 && channelCount < i + 1;
        std::optional<ChannelLevel>& level = levelOf(config.channels[k], answer.field);
        if (blanked) {
            level.reset();
        } else {
            level = ChannelLevel{answer.raw[k], precisions[k], scaled};
        }
    }
}
