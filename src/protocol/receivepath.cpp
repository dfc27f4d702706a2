#include "protocol/receivepath.h"

#include "protocol/framecodec.h"

void ClearReceiveBuffer(PollState& state) {
    state.rxFrame.fill(0);
    state.rxCount = 0;
}

bool AppendReceivedByte(PollState& state, quint8 byte) {
    if (state.rxCount >= PollState::kFrameCapacity) {
        return false;
    }
    state.rxFrame[state.rxCount] = byte;
    ++state.rxCount;
    return true;
}

namespace {

enum class BufferAfter { Clear, ClearOnMatch, Keep };

struct Function3Rule {
    quint8 dataLength;
    BufferAfter after;
};

// A parameter answer is 5 + data bytes long. Only the channel-count and the one-byte answers
// are emptied: the longer ones stay, and anything arriving behind them waits for the next send.
constexpr Function3Rule kFunction3Rules[] = {
    {1, BufferAfter::Clear}, {4, BufferAfter::ClearOnMatch}, {6, BufferAfter::ClearOnMatch},
    {8, BufferAfter::Keep},  {12, BufferAfter::Keep},
};

void DispatchFunction3(PollState& state, AnswerDecoders& decoders) {
    for (const Function3Rule& rule : kFunction3Rules) {
        if (state.expectedDataLength != rule.dataLength) {
            continue;
        }
        const int length = 5 + rule.dataLength;
        if (state.rxCount < length) {
            return;
        }
        const bool match = FrameCrcMatches(state.rxFrame.data(), length);
        if (match) {
            decoders.decodeFunction3();
        }
        if (rule.after == BufferAfter::Clear ||
            (rule.after == BufferAfter::ClearOnMatch && match)) {
            ClearReceiveBuffer(state);
        }
        return;
    }
}

void DispatchRecord(PollState& state, AnswerDecoders& decoders) {
    const int length = state.sixChannel ? kRecordAnswerLength6 : kRecordAnswerLength4;
    if (state.rxCount < length) {
        return;
    }
    // The decoder zeroes the answer's CRC bytes, so bytes that trail a decoded record fail
    // this check and the record is stored once.
    if (FrameCrcMatches(state.rxFrame.data(), length)) {
        decoders.decodeRecord();
    }
}

} // namespace

void DispatchAnswer(PollState& state, AnswerDecoders& decoders) {
    if (state.rxCount < 2) {
        return;
    }
    switch (state.rxFrame[1]) {
    case kFunctionReadRegisters:
        DispatchFunction3(state, decoders);
        break;
    case kFunctionReadRecord:
        DispatchRecord(state, decoders);
        break;
    default:
        // Exception answers (0x83, 0xC1) and anything else stay in the buffer undecoded.
        break;
    }
}
