#pragma once

// How a downloaded record is laid out in the record store: column 0 the time text, then the
// gas, reading and unit texts of channels 1-6. The record decoder fills the store by it and the
// export reads the store back by it.

enum class ChannelLayout { Four, Six };

constexpr int channelCountOf(ChannelLayout layout) {
    return layout == ChannelLayout::Six ? 6 : 4;
}

namespace RecordColumn {

constexpr int kMaxChannels = 6;
constexpr int kTime = 0;
constexpr int kCount = 1 + 3 * kMaxChannels;

// Channels are counted from 1, as in the workbook captions.
constexpr int gas(int channel) {
    return channel;
}
constexpr int reading(int channel) {
    return kMaxChannels + channel;
}
constexpr int unit(int channel) {
    return 2 * kMaxChannels + channel;
}

} // namespace RecordColumn
