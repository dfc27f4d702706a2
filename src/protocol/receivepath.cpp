#include "protocol/receivepath.h"

#include "protocol/framecodec.h"

void ClearReceiveBuffer(PollState& state) {
    state.rxFrame.fill(0);
    state.rxCount = 0;
    state.answerTaken = false;
}

bool appendReceivedByte(PollState& state, quint8 byte) {
    if (state.answerTaken || state.rxCount >= PollState::kFrameCapacity) {
        return false;
    }
    state.rxFrame[state.rxCount] = byte;
    ++state.rxCount;
    return true;
}

namespace {

// Empties the buffer after an answer of the current request; unlike ClearReceiveBuffer it
// keeps the mark of an answer already taken.
void emptyFrame(PollState& state) {
    state.rxFrame.fill(0);
    state.rxCount = 0;
}

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

void dispatchFunction3(PollState& state, AnswerDecoders& decoders) {
    for (const Function3Rule& rule : kFunction3Rules) {
        if (state.expectedDataLength != rule.dataLength) {
            continue;
        }
        const int length = 5 + rule.dataLength;
        if (state.rxCount < length) {
            return;
        }
        const bool match = frameCrcMatches(state.rxFrame.data(), length);
        if (match) {
            decoders.decodeFunction3();
            state.answerTaken = true;
        }
        if (rule.after == BufferAfter::Clear ||
            (rule.after == BufferAfter::ClearOnMatch && match)) {
            emptyFrame(state);
        }
        return;
    }
}

void dispatchRecord(PollState& state, AnswerDecoders& decoders) {
    const int length = state.sixChannel ? kRecordAnswerLength6 : kRecordAnswerLength4;
    if (state.rxCount < length) {
        return;
    }
    // The answer carries no record number: it is the answer to the outstanding record request
    // or to nothing. Bytes trailing a taken answer never get here (AppendReceivedByte), which
    // also holds for an answer whose own CRC bytes are 00 00.
    if (state.awaitingRecord != 1 || !frameCrcMatches(state.rxFrame.data(), length)) {
        return;
    }
    if (decoders.decodeRecord()) {
        state.answerTaken = true;
    } else {
        emptyFrame(state);
    }
}

} // namespace

void dispatchAnswer(PollState& state, AnswerDecoders& decoders) {
    if (state.rxCount < 2) {
        return;
    }
    switch (state.rxFrame[1]) {
    case kFunctionReadRegisters:
        dispatchFunction3(state, decoders);
        break;
    case kFunctionReadRecord:
        dispatchRecord(state, decoders);
        break;
    default:
        // Exception answers (0x83, 0xC1) and anything else stay in the buffer undecoded.
        break;
    }
}
