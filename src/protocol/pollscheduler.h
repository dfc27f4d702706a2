#pragma once

#include "model/pollstate.h"

#include <QByteArray>

// The polling scheduler's decisions; the sending itself is InstrumentLink's.

constexpr quint8 kFirstParameterStep = 1;
constexpr quint8 kLastParameterStep = 8;
constexpr quint8 kParameterStopStep = 9;

enum class ParameterAction { Send, Stop, Nothing };

struct ParameterDecision {
    ParameterAction action = ParameterAction::Nothing;
    const QByteArray* frame = nullptr;
    quint8 expectedDataLength = 0;
};

// What the parameter tick does at sequenceStep: steps 1 and 2 are the same for both
// layouts, steps 3 to 8 follow sixChannel, step 9 stops the timer.
ParameterDecision decideParameterStep(quint8 sequenceStep, quint8 sixChannel);

// Whether a download tick asks for a record: the next one while records remain, or the
// current one again while its answer is outstanding.
bool recordRequestDue(const PollState& state);
