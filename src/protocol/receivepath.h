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
    // False when the answer was set aside undecoded (a late copy of an earlier answer); the
    // buffer is then emptied and waits for the real one.
    virtual bool decodeRecord() = 0;
};

// Readies the buffer for the answer to the request just sent: all 50 bytes and the count to 0,
// and an answer may be taken again.
void ClearReceiveBuffer(PollState& state);

// Stores byte at the end of the receive buffer and returns true. Returns false and drops the
// byte when the buffer is full (no answer is that long) or when the answer to the last request
// has already been taken: bytes behind it are only shown.
bool appendReceivedByte(PollState& state, quint8 byte);

// After each stored byte: decides whether the buffer now holds a complete answer of the kind
// last asked for, hands a matching one to its decoder and empties or keeps the buffer as the
// instrument's answers require. A record answer is taken only while a record request is
// unanswered; an answer before the first request or after the last one is only shown.
void dispatchAnswer(PollState& state, AnswerDecoders& decoders);
