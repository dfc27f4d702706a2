#pragma once

#include "model/instrumentvalues.h"
#include "model/recordlayout.h"
#include "model/usergasnames.h"

#include <QString>
#include <array>
#include <optional>

// The channel configuration as the instrument reported it in the current parameter read, as
// values: codes, names and levels, no cell texts. The configuration decoder fills it answer by
// answer; the channel table renders it (displaytexts.h) and the Records window takes its alarm
// levels from it.

// A range or alarm level. The number is the one the instrument means: an alarm is the raw
// count divided by the precision's divisor (10, 100 or 1000 for codes 1 to 3), a range keeps
// its integer magnitude. The precision code is the one the level was decoded with; it gives
// the level its decimals when shown.
struct ChannelLevel {
    quint16 raw = 0;
    qint32 precision = 0;
    bool scaled = true; // alarms are divided, a range is not

    double value() const;
};

// One channel. A field is empty until its answer is decoded in this read, and stays empty for
// a channel that the channel count leaves out of a four-channel answer.
struct ChannelSettings {
    std::optional<quint8> gasCode;
    QString gasName; // as named when decoded, trailing spaces kept; empty without gasCode
    std::optional<quint8> unitCode; // codes above 5 read as 0, as the instrument shows them
    QString unitName;
    std::optional<quint8> precision;
    std::optional<ChannelLevel> range;
    std::optional<ChannelLevel> lowAlarm;
    std::optional<ChannelLevel> highAlarm;

    bool has(ChannelField field) const;
};

struct ChannelConfiguration {
    // The instrument's last channel-count answer (0-15) and record total.
    quint8 channelCount = 0;
    quint32 recordTotal = 0;
    std::array<ChannelSettings, kMaxChannels> channels;

    // Six channels when the instrument reported more than four.
    ChannelLayout layout() const {
        return channelCount > 4 ? ChannelLayout::Six : ChannelLayout::Four;
    }
    // A new parameter read starts: every channel field is empty again, the counts stay.
    void clearChannels() { channels = {}; }
};

using ChannelPrecisions = std::array<qint32, kMaxChannels>;

// A gas, unit or precision answer. A four-channel answer leaves out the channels beyond N
// (channelCount); N of 0 keeps the gas codes but leaves out every unit and precision. A
// six-channel answer sets all six, whatever N is.
void applyChannelCodes(ChannelConfiguration& config, const ChannelCodesAnswer& answer,
                       quint8 channelCount, const UserGasNames& userGases);

// A range or alarm answer, each level with its channel's precision code. A four-channel answer
// always sets channel 1 and leaves out channels 2-4 beyond N.
void applyChannelValues(ChannelConfiguration& config, const ChannelValuesAnswer& answer,
                        quint8 channelCount, const ChannelPrecisions& precisions);
