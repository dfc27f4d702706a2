#include "protocol/pollscheduler.h"

#include "protocol/framecodec.h"

namespace {

// Data bytes of the answer to steps 3 to 8: one byte per channel for gas, unit and
// precision codes, two for ranges and alarms.
constexpr quint8 kStepDataLength[2][6] = {
    {4, 4, 4, 8, 8, 8},
    {6, 6, 6, 12, 12, 12},
};

} // namespace

ParameterDecision decideParameterStep(quint8 sequenceStep, quint8 sixChannel) {
    ParameterDecision decision;
    if (sequenceStep == kParameterStopStep) {
        decision.action = ParameterAction::Stop;
        return decision;
    }
    if (sequenceStep < kFirstParameterStep || sequenceStep > kLastParameterStep) {
        return decision;
    }
    decision.action = ParameterAction::Send;
    if (sequenceStep == 1) {
        decision.frame = &requestFrame(0);
        decision.expectedDataLength = 1;
        return decision;
    }
    if (sequenceStep == 2) {
        decision.frame = &requestFrame(1);
        decision.expectedDataLength = 4;
        return decision;
    }
    const int layout = sixChannel ? 1 : 0;
    const int stepOffset = sequenceStep - 3;
    decision.frame = &requestFrame(2 + stepOffset * 2 + layout);
    decision.expectedDataLength = kStepDataLength[layout][stepOffset];
    return decision;
}

bool recordRequestDue(const PollState& state) {
    if (state.recordTotal == 0) {
        return false;
    }
    if (state.recordTotal > state.recordIndex) {
        return true;
    }
    // The last record is asked for again while its answer is outstanding; otherwise a lost
    // last answer would leave the final batch in the store for good.
    return state.recordIndex == state.recordTotal && state.awaitingRecord == 1;
}
