#include "protocol/recorddecoder.h"

#include "model/codetables.h"
#include "protocol/receivepath.h"

#include <cstdio>

namespace {

constexpr int kTimeStart = 3;
constexpr int kReadingStart = 9;

void StoreChannel(int channel, const QString& conc, const PollState& state, quint32 row,
                  RecordStore& store) {
    const auto k = static_cast<size_t>(channel);
    store.setCell(kStoreColumnGas + channel, row, state.chanGasName[k]);
    store.setCell(kStoreColumnConc + channel, row, conc);
    store.setCell(kStoreColumnUnit + channel, row, state.chanUnitName[k]);
}

void BlankChannel(int channel, quint32 row, RecordStore& store) {
    store.setCell(kStoreColumnGas + channel, row, QString());
    store.setCell(kStoreColumnConc + channel, row, QString());
    store.setCell(kStoreColumnUnit + channel, row, QString());
}

} // namespace

QString RecordTimeText(const quint8* t) {
    char text[64];
    std::snprintf(text, sizeof text, "%4d-%02d-%02d  %02d:%02d:%02d", t[0] + 2000, t[1], t[2], t[3],
                  t[4], t[5]);
    return QString::fromLatin1(text);
}

void DecodeRecord(PollState& state, quint8 channelCount, RecordStore& store) {
    const bool six = state.sixChannel != 0;
    const int length = six ? kRecordAnswerLength6 : kRecordAnswerLength4;
    const int channels = six ? 6 : 4;
    state.rxFrame[static_cast<size_t>(length - 2)] = 0;
    state.rxFrame[static_cast<size_t>(length - 1)] = 0;
    state.awaitingRecord = 0;

    const QString time = RecordTimeText(&state.rxFrame[kTimeStart]);
    std::array<QString, PollState::kMaxChannels> conc;
    for (int i = 0; i < channels; ++i) {
        const auto at = static_cast<size_t>(kReadingStart + 2 * i);
        const quint16 raw = static_cast<quint16>(state.rxFrame[at] * 256 + state.rxFrame[at + 1]);
        const auto k = static_cast<size_t>(i);
        state.chanRaw[k] = raw;
        state.chanValue[k] = static_cast<float>(raw);
        conc[k] = FormatReading(raw, state.chanPrecision[k], true);
    }

    const quint32 row = state.storeRow;
    store.setCell(kStoreColumnTime, row, time);
    if (six) {
        for (int i = 0; i < 6; ++i) {
            StoreChannel(i, conc[static_cast<size_t>(i)], state, row, store);
        }
    } else if (channelCount >= 1 && channelCount <= 4) {
        for (int i = 0; i < 4; ++i) {
            if (i < channelCount) {
                StoreChannel(i, conc[static_cast<size_t>(i)], state, row, store);
            } else {
                BlankChannel(i, row, store);
            }
        }
    }
    // Any other channel count on a four-channel record writes no channel cell: the row keeps
    // the texts of whatever record was there before.
    ++state.storeRow;
}
