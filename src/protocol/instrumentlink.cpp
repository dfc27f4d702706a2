#include "protocol/instrumentlink.h"

#include "model/displaytexts.h"
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

InstrumentLink::InstrumentLink(FrameSink& line, ChannelTable& table, WindowValues& values,
                               const UserGasNames& userGases)
    : m_line(line), m_table(table), m_values(values), m_userGases(userGases),
      m_clock(steadyClockMs) {}

void InstrumentLink::setExporter(BatchExporter* exporter) {
    m_exporter = exporter;
}

void InstrumentLink::setClock(std::function<qint64()> clock) {
    m_clock = std::move(clock);
}

void InstrumentLink::setPaceTimer(PaceTimer* timer) {
    if (m_paceTimer != nullptr) {
        m_paceTimer->cancel();
    }
    m_paceTimer = timer;
    m_paceJob = PaceJob::None;
}

void InstrumentLink::readParameter() {
    for (int row = 0; row < PollState::kMaxChannels; ++row) {
        for (int field = 0; field < kChannelFieldCount; ++field) {
            m_table.setCellText(row, static_cast<ChannelField>(field), QString());
        }
    }
    m_state.sequenceStep = kFirstParameterStep;
    m_silence.parameterReadStarted();
    if (m_paceTimer != nullptr) {
        // A running download waits until the read is over and then goes on.
        m_paceJob = PaceJob::ParameterRead;
        m_pace.idle();
        m_paceTimer->fireAt(m_paceTimer->nowUs() + lineTiming::kFrameGapUs);
    }
}

void InstrumentLink::startDownload() {
    m_values.progress = 0;
    m_values.percentText = QStringLiteral("0%");
    m_silence.downloadStarted();
    m_tickPaceSince = 0;
    m_pace.restart();
    if (m_paceTimer != nullptr) {
        // As Download Data stops timer 1, it cuts a running parameter read short.
        m_downloading = true;
        m_paceJob = PaceJob::Download;
        m_paceTimer->fireAt(m_paceTimer->nowUs() + lineTiming::kFrameGapUs);
    }
}

void InstrumentLink::startDownload(QList<KnownMemory> known, bool fetchAll) {
    m_fetchAll = fetchAll;
    if (fetchAll || m_state.recordIndex == 0) {
        m_probe.start(std::move(known), m_state.recordTotal);
        if (!m_probe.asking()) {
            takeProbeAnswer();
        }
    }
    startDownload();
}

void InstrumentLink::stop() {
    m_lateAnswers.reset();
    m_silence.reset();
    if (m_paceTimer != nullptr) {
        m_paceTimer->cancel();
    }
    m_paceJob = PaceJob::None;
    m_downloading = false;
    m_pace.idle();
}

void InstrumentLink::paceTimeout() {
    if (m_paceTimer == nullptr || m_paceJob == PaceJob::None) {
        return;
    }
    if (m_pace.phase() == AnswerPace::Phase::Awaiting) {
        pacedTimeout();
    } else {
        sendPacedRequest();
    }
}

void InstrumentLink::sendPacedRequest() {
    if (m_paceJob == PaceJob::ParameterRead) {
        sendPacedParameterStep();
    } else {
        sendPacedRecordRequest();
    }
}

void InstrumentLink::pacedTimeout() {
    if (m_paceJob == PaceJob::ParameterRead) {
        sendPacedParameterStep(); // as at the tick pace, a parameter read never repeats a step
        return;
    }
    if (m_pace.timedOut()) {
        // The instrument does not keep up: the ticks ask again, for the rest of the download.
        m_tickPaceSince = qMax(1u, m_state.recordIndex);
        m_paceJob = PaceJob::None;
        m_pace.idle();
        return;
    }
    sendPacedRecordRequest();
}

void InstrumentLink::sendPacedParameterStep() {
    const quint8 stepBefore = m_state.sequenceStep;
    if (parameterTick() == TickOutcome::StopTimer) {
        m_paceJob = m_downloading ? PaceJob::Download : PaceJob::None;
        m_pace.idle();
        if (m_downloading) {
            m_paceTimer->fireAt(m_paceTimer->nowUs() + lineTiming::kFrameGapUs);
        }
        return;
    }
    if (m_state.sequenceStep == stepBefore) {
        // Nothing went out (the line is closed): nothing to wait for.
        m_paceJob = PaceJob::None;
        m_pace.idle();
        return;
    }
    const auto requestBytes = static_cast<int>(m_values.sendText.size() / 2);
    m_paceTimer->fireAt(m_pace.requestSent(m_paceTimer->nowUs(), requestBytes, true));
}

void InstrumentLink::sendPacedRecordRequest() {
    // The lookout for late copies counts requests here where the tick pace counts ticks.
    m_lateAnswers.beginTick();
    const bool firstForRecord = m_state.awaitingRecord == 0;
    if (!sendRecordRequest()) {
        m_paceJob = PaceJob::None;
        m_downloading = false;
        m_pace.idle();
        return;
    }
    const auto requestBytes = static_cast<int>(m_values.sendText.size() / 2);
    m_paceTimer->fireAt(m_pace.requestSent(m_paceTimer->nowUs(), requestBytes, firstForRecord));
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
    const QString text = QString::fromLatin1(decision.frameText);
    QByteArray frame;
    HexTextToBytes(text, frame);
    m_line.sendFrame(frame);
    ++m_state.sequenceStep;
    m_values.sendText = text;
    m_values.receiveText.clear();
    ClearReceiveBuffer(m_state);
    return TickOutcome::Continue;
}

void InstrumentLink::downloadTick() {
    if (!followsTicks()) {
        return;
    }
    m_lateAnswers.beginTick();
    if (m_state.awaitingRecord == 0 && m_lateAnswers.holdsNextRecord()) {
        return;
    }
    sendRecordRequest();
}

bool InstrumentLink::sendRecordRequest() {
    // With the line closed nothing is sent at all, so the download resumes where it stood (the
    // same record again if its answer was outstanding).
    if (m_line.isOpen() && m_probe.asking()) {
        return sendProbeRequest();
    }
    if (!m_line.isOpen() || !recordRequestDue(m_state)) {
        return false;
    }
    const bool nextRecord = m_state.awaitingRecord == 0;
    if (nextRecord) {
        ++m_state.recordIndex;
    }
    sendRequestText(recordRequestText(m_state.recordIndex));
    m_lateAnswers.requestSent(nextRecord);
    m_silence.recordRequested(m_clock(), m_state.recordIndex, m_state.recordTotal);
    const DownloadProgress progress = progressOf(m_state.recordIndex, m_state.recordTotal);
    m_values.progress = progress.bar;
    m_values.percentText = progress.percentText;
    m_state.awaitingRecord = 1;
    return true;
}

void InstrumentLink::sendRequestText(const QString& text) {
    QByteArray frame;
    HexTextToBytes(text, frame);
    m_line.sendFrame(frame);
    m_values.sendText = text;
    m_values.receiveText.clear();
    ClearReceiveBuffer(m_state);
}

void InstrumentLink::receive(const QByteArray& bytes) {
    if (!bytes.isEmpty()) {
        m_lateAnswers.lineActive();
    }
    // The line fell silent when these bytes arrived: the inter-frame gap counts from here.
    const bool wasTaken = m_state.answerTaken;
    const qint64 arrivedUs = m_paceTimer != nullptr ? m_paceTimer->nowUs() : 0;
    for (const char c : bytes) {
        const auto byte = static_cast<quint8>(c);
        m_values.receiveText += receivedByteText(byte);
        if (appendReceivedByte(m_state, byte)) {
            dispatchAnswer(m_state, *this);
        }
    }
    afterReceive(wasTaken, arrivedUs, bytes.size());
}

void InstrumentLink::afterReceive(bool wasTaken, qint64 now, qsizetype bytes) {
    if (m_paceTimer == nullptr || m_paceJob == PaceJob::None || bytes == 0) {
        return;
    }
    if (!wasTaken && m_state.answerTaken && m_pace.phase() == AnswerPace::Phase::Awaiting) {
        const int length = m_paceJob == PaceJob::Download
                               ? (m_state.sixChannel ? kRecordAnswerLength6 : kRecordAnswerLength4)
                               : 5 + m_state.expectedDataLength;
        m_paceTimer->fireAt(m_pace.answerTaken(now, length));
    } else if (m_pace.phase() == AnswerPace::Phase::Holding) {
        m_paceTimer->fireAt(m_pace.bytesWhileHolding(now, bytes));
    }
}

bool InstrumentLink::flushUnwritten() {
    return m_batches.flush(m_state, m_records, m_exporter);
}

void InstrumentLink::decodeFunction3() {
    DecodeFunction3(m_state, m_values, m_table, m_userGases);
    m_silence.answered(false);
}

bool InstrumentLink::sendProbeRequest() {
    const bool nextRecord = m_state.awaitingRecord == 0;
    sendRequestText(recordRequestText(m_probe.recordToAsk()));
    m_lateAnswers.requestSent(nextRecord);
    m_silence.recordRequested(m_clock(), m_probe.recordToAsk(), m_state.recordTotal);
    m_state.awaitingRecord = 1;
    return true;
}

// The probe has decided: the download goes on after the last archived record, or from the
// start. Either way the next request is for a record the download keeps.
void InstrumentLink::takeProbeAnswer() {
    const bool resume = m_probe.outcome() == ResumeProbe::Outcome::Resume && !m_fetchAll;
    m_state.recordIndex = resume ? m_probe.resumeAfter() : 0;
    m_state.awaitingRecord = 0;
    if (m_resumeListener) {
        m_resumeListener(m_probe);
    }
}

bool InstrumentLink::decodeRecord() {
    const int length = m_state.sixChannel ? kRecordAnswerLength6 : kRecordAnswerLength4;
    if (m_lateAnswers.isLateCopy(m_state.rxFrame.data(), length)) {
        return false;
    }
    // Taken before decoding, which zeroes the answer's CRC bytes.
    m_lateAnswers.answerTaken(m_state.rxFrame.data(), length);
    m_silence.answered(true);
    if (m_probe.asking()) {
        m_probe.answered(readRecord(m_state));
        // As a stored record's answer: its CRC bytes zeroed so that trailing bytes cannot
        // decode it again.
        m_state.rxFrame[static_cast<size_t>(length - 2)] = 0;
        m_state.rxFrame[static_cast<size_t>(length - 1)] = 0;
        m_state.awaitingRecord = 0;
        if (!m_probe.asking()) {
            takeProbeAnswer();
        }
        return true;
    }
    DecodeRecord(m_state, m_records);
    m_batches.afterRecord(m_state, m_records, m_exporter);
    return true;
}
