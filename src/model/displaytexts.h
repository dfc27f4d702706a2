#pragma once

#include "model/instrumentvalues.h"
#include "model/usergasnames.h"

#include <QString>
#include <array>

// The one place where the instrument's values become the texts that the channel table, the
// Send and Receive monitors and the record workbooks show. The texts keep the instrument
// tables' trailing spaces, the "%5.xf" widths and the blanking by channel count that users
// and existing workbooks know.

using ChannelTexts = std::array<QString, kMaxChannels>;
using ChannelPrecisions = std::array<qint32, kMaxChannels>;

// A code answer's channel texts: gas names, unit names (codes above 5 show as code 0) or
// precision texts. A four-channel answer blanks the channels beyond N (channelCount); N of 0
// keeps the gas names but blanks every unit and precision. A six-channel answer shows all six,
// whatever N is.
ChannelTexts channelCodeTexts(const ChannelCodesAnswer& answer, quint8 channelCount,
                              const UserGasNames& userGases);

// A range or alarm answer's channel texts in each channel's precision. Ranges keep their
// integer magnitude and take only the decimals; alarms are divided. A four-channel answer
// always shows channel 1 and blanks channels 2-4 beyond N.
ChannelTexts channelValueTexts(const ChannelValuesAnswer& answer, quint8 channelCount,
                               const ChannelPrecisions& precisions);

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

// "%02X ": one received byte as the Receive monitor shows it.
QString receivedByteText(quint8 byte);

// "%0.1f%": the download percentage.
QString percentText(float percent);
