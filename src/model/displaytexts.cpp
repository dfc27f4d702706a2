#include "model/displaytexts.h"

#include "model/codetables.h"

#include <cstdio>

namespace {

constexpr int kMaxShownUnitCode = 5;

// Whether channel (0-based) of a four-channel code answer is shown.
bool codeChannelShown(ChannelField field, int channel, quint8 channelCount) {
    if (channelCount == 0) {
        return field == ChannelField::GasType;
    }
    return channel < channelCount;
}

QString codeText(ChannelField field, quint8 code, const UserGasNames& userGases) {
    switch (field) {
    case ChannelField::GasType:
        return GasNameOf(code, userGases);
    case ChannelField::Unit:
        return UnitNameOf(code > kMaxShownUnitCode ? 0 : code);
    case ChannelField::Precision:
        return PrecisionTextOf(code);
    default:
        return {};
    }
}

} // namespace

ChannelTexts channelCodeTexts(const ChannelCodesAnswer& answer, quint8 channelCount,
                              const UserGasNames& userGases) {
    ChannelTexts texts;
    for (int i = 0; i < answer.channels; ++i) {
        const auto k = static_cast<size_t>(i);
        const bool fourChannel = answer.channels == 4;
        if (!fourChannel || codeChannelShown(answer.field, i, channelCount)) {
            texts[k] = codeText(answer.field, answer.codes[k], userGases);
        }
    }
    return texts;
}

ChannelTexts channelValueTexts(const ChannelValuesAnswer& answer, quint8 channelCount,
                               const ChannelPrecisions& precisions) {
    const bool scaled = answer.field != ChannelField::Range;
    ChannelTexts texts;
    for (int i = 0; i < answer.channels; ++i) {
        const auto k = static_cast<size_t>(i);
        const bool blanked = answer.channels == 4 && i > 0 && channelCount < i + 1;
        if (!blanked) {
            texts[k] = FormatReading(answer.raw[k], precisions[k], scaled);
        }
    }
    return texts;
}

QString recordTimeText(const std::array<quint8, 6>& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%4d-%02d-%02d  %02d:%02d:%02d", t[0] + 2000, t[1], t[2], t[3],
                  t[4], t[5]);
    return QString::fromLatin1(text);
}

RecordRowTexts recordRowTextsOf(const RecordValues& record, quint8 channelCount,
                                const ChannelTexts& gasNames, const ChannelTexts& unitNames,
                                const ChannelPrecisions& precisions) {
    RecordRowTexts row;
    row.time = recordTimeText(record.time);
    const bool six = record.channels == 6;
    if (six) {
        row.channels = 6;
    } else if (channelCount >= 1 && channelCount <= 4) {
        row.channels = 4;
    }
    for (int i = 0; i < row.channels; ++i) {
        const auto k = static_cast<size_t>(i);
        if (!six && i >= channelCount) {
            continue; // written, but empty
        }
        row.cells[k] = {gasNames[k], FormatReading(record.readings[k], precisions[k], true),
                        unitNames[k]};
    }
    return row;
}

QString receivedByteText(quint8 byte) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X ", byte);
    return QString::fromLatin1(text, 3);
}

QString percentText(float percent) {
    char text[32];
    std::snprintf(text, sizeof text, "%0.1f%%", static_cast<double>(percent));
    return QString::fromLatin1(text);
}
