#pragma once

#include "model/channelconfig.h"
#include "model/instrumentvalues.h"

#include <QString>
#include <array>

// The one place where the instrument's values become the texts that the channel table and the
// record workbooks show. The texts keep the instrument tables' trailing spaces, the "%5.xf"
// widths and the blanking by channel count that users and existing workbooks know.

using ChannelTexts = std::array<QString, kMaxChannels>;

// The text of one channel-table cell: the gas or unit name, the precision text, or a range or
// alarm level in the decimals of the precision it was decoded with. Empty while the field is.
QString channelFieldText(const ChannelSettings& channel, ChannelField field);

// "2024-03-05  14:07:09". The bytes are taken as they come, without calendar limits: a byte
// of 100 or more prints with three digits.
QString recordTimeText(const std::array<quint8, 6>& time);

struct RecordChannelTexts {
    QString gas;
    QString reading;
    QString unit;
};

// A record as the store row gets it. Only the first `channels` channel groups are written; the
// others keep the texts the row held before.
struct RecordRowTexts {
    QString time;
    int channels = 0;
    std::array<RecordChannelTexts, kMaxChannels> cells;
};

// The store row of a record, with the gas and unit texts and the precisions kept from the last
// parameter read. Six channels write all six. Four channels write four when N is 1-4, blanking
// those beyond N; any other N writes no channel cell at all.
RecordRowTexts recordRowTextsOf(const RecordValues& record, quint8 channelCount,
                                const ChannelTexts& gasNames, const ChannelTexts& unitNames,
                                const ChannelPrecisions& precisions);
