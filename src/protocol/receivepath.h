#pragma once

#include "model/pollstate.h"

#include <QString>

// Lengths of the answers the receive path waits for.
constexpr int kRecordAnswerLength4 = 19;
constexpr int kRecordAnswerLength6 = 23;

constexpr quint8 kFunctionReadRegisters = 0x03;
constexpr quint8 kFunctionReadRecord = 0x41;

// Called by the dispatch once an answer of the expected length has passed its CRC check.
class AnswerDecoders {
public:
    virtual ~AnswerDecoders() = default;
    virtual void decodeFunction3() = 0;
    virtual void decodeRecord() = 0;
};

// Sets all 50 bytes of the receive buffer to 0 and its count to 0.
void ClearReceiveBuffer(PollState& state);

// Stores byte at the end of the receive buffer. A full buffer drops it (no answer is that
// long) and false is returned.
bool AppendReceivedByte(PollState& state, quint8 byte);

// After each stored byte: decides whether the buffer now holds a complete answer of the kind
// last asked for, hands a matching one to its decoder and empties or keeps the buffer as the
// instrument's answers require.
void DispatchAnswer(PollState& state, AnswerDecoders& decoders);
