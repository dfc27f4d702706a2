#pragma once

#include <QString>
#include <array>
#include <cstdint>

// The one record shared by the polling scheduler, the receive path and the two decoders.
// They meet only here: what an answer means is taken from what was last asked, never from
// the answer itself.
struct PollState {
    static constexpr int kFrameCapacity = 50;
    static constexpr int kMaxChannels = 6;

    std::array<quint8, kFrameCapacity> rxFrame{};
    quint8 rxCount = 0;
    quint8 sequenceStep = 0;
    quint8 expectedDataLength = 0;
    quint8 sixChannel = 0;
    quint32 recordTotal = 0;
    quint32 recordIndex = 0;
    quint8 awaitingRecord = 0;
    // An answer to the last request has been decoded: one request, one answer, so nothing
    // more is taken until the next request empties the buffer.
    bool answerTaken = false;
    quint32 storeRow = 0;
    // N: the instrument's last channel-count answer, or what the user typed into the Channel
    // field since. It decides which channels a four-channel answer or record fills.
    quint8 channelCount = 0;

    std::array<qint32, kMaxChannels> chanPrecision{};
    std::array<QString, kMaxChannels> chanGasName;
    std::array<QString, kMaxChannels> chanUnitName;
};
