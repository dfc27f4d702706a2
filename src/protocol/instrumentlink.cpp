#include "protocol/instrumentlink.h"

#include "protocol/configdecoder.h"
#include "protocol/framecodec.h"
#include "protocol/pollscheduler.h"
#include "protocol/recorddecoder.h"

#include <chrono>

namespace {

qint64 steadyClockMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

InstrumentLink::InstrumentLink(FrameSink& line, LinkEvents& events, const UserGasNames& userGases)
    : m_line(line), m_events(events), m_userGases(userGases), m_clock(steadyClockMs) {}

void InstrumentLink::setExporter(BatchExporter* exporter) {
    m_exporter = exporter;
}

void InstrumentLink::setClock(std::function<qint64()> clock) {
    m_clock = std::move(clock);
}

void InstrumentLink::readParameter() {
    m_configuration.clearChannels();
    m_events.channelsChanged();
    m_state.sequenceStep = kFirstParameterStep;
    m_silence.parameterReadStarted();
}

void InstrumentLink::startDownload() {
    m_silence.downloadStarted();
}

void InstrumentLink::stop() {
    m_lateAnswers.reset();
    m_silence.reset();
}

TickOutcome InstrumentLink::parameterTick() {
    const ParameterDecision decision =
        decideParameterStep(m_state.sequenceStep, m_state.sixChannel);
    if (decision.action == ParameterAction::Stop) {
        m_silence.parameterReadEnded();
        return TickOutcome::StopTimer;
    }
    // A closed line leaves the sequence where it stands rather than walking it without sending.
    if (decision.action == ParameterAction::Nothing || !m_line.isOpen()) {
        return TickOutcome::Continue;
    }
    m_state.expectedDataLength = decision.expectedDataLength;
    m_line.sendFrame(*decision.frame);
    ++m_state.sequenceStep;
    m_events.frameSent(*decision.frame);
    ClearReceiveBuffer(m_state);
    return TickOutcome::Continue;
}

void InstrumentLink::downloadTick() {
    m_lateAnswers.beginTick();
    // With the line closed the tick does nothing at all, so the download resumes where it
    // stood (the same record again if its answer was outstanding).
    if (!m_line.isOpen() || !recordRequestDue(m_state)) {
        return;
    }
    const bool nextRecord = m_state.awaitingRecord == 0;
    if (nextRecord && m_lateAnswers.holdsNextRecord()) {
        return;
    }
    if (nextRecord) {
        ++m_state.recordIndex;
    }
    sendRequest(recordRequestFrame(m_state.recordIndex));
    m_lateAnswers.requestSent(nextRecord);
    m_silence.recordRequested(m_clock(), m_state.recordIndex, m_state.recordTotal);
    m_events.recordRequested(m_state.recordIndex, m_state.recordTotal);
    m_state.awaitingRecord = 1;
}

void InstrumentLink::sendRequest(const QByteArray& frame) {
    m_line.sendFrame(frame);
    m_events.frameSent(frame);
    ClearReceiveBuffer(m_state);
}

void InstrumentLink::receive(const QByteArray& bytes) {
    if (bytes.isEmpty()) {
        return;
    }
    m_lateAnswers.lineActive();
    m_events.bytesReceived(bytes);
    for (const char c : bytes) {
        const auto byte = static_cast<quint8>(c);
        if (appendReceivedByte(m_state, byte)) {
            dispatchAnswer(m_state, *this);
        }
    }
}

bool InstrumentLink::flushUnwritten() {
    return m_batches.flush(m_state, m_records, m_exporter);
}

ChannelLayout InstrumentLink::unwrittenLayout() const {
    return m_state.sixChannel ? ChannelLayout::Six : ChannelLayout::Four;
}

void InstrumentLink::discardUnwritten() {
    m_batches.discard(m_state);
}

void InstrumentLink::decodeFunction3() {
    DecodeFunction3(m_state, m_configuration, m_events, m_userGases);
    m_silence.answered(false);
}

bool InstrumentLink::decodeRecord() {
    const int length = m_state.sixChannel ? kRecordAnswerLength6 : kRecordAnswerLength4;
    if (m_lateAnswers.isLateCopy(m_state.rxFrame.data(), length)) {
        return false;
    }
    // Taken before decoding, which zeroes the answer's CRC bytes.
    m_lateAnswers.answerTaken(m_state.rxFrame.data(), length);
    m_silence.answered(true);
    DecodeRecord(m_state, m_records);
    m_batches.afterRecord(m_state, m_records, m_exporter);
    return true;
}
