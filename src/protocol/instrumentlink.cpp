#include "protocol/instrumentlink.h"

#include "model/displaytexts.h"
#include "protocol/configdecoder.h"
#include "protocol/framecodec.h"
#include "protocol/pollscheduler.h"
#include "protocol/recorddecoder.h"

InstrumentLink::InstrumentLink(FrameSink& line, ChannelTable& table, WindowValues& values,
                               const UserGasNames& userGases)
    : m_line(line), m_table(table), m_values(values), m_userGases(userGases) {}

void InstrumentLink::setExporter(BatchExporter* exporter) {
    m_exporter = exporter;
}

void InstrumentLink::readParameter() {
    for (int row = 0; row < PollState::kMaxChannels; ++row) {
        for (int field = 0; field < kChannelFieldCount; ++field) {
            m_table.setCellText(row, static_cast<ChannelField>(field), QString());
        }
    }
    m_state.sequenceStep = kFirstParameterStep;
}

void InstrumentLink::startDownload() {
    m_values.progress = 0;
    m_values.percentText = QStringLiteral("0%");
}

TickOutcome InstrumentLink::parameterTick() {
    const ParameterDecision decision =
        DecideParameterStep(m_state.sequenceStep, m_state.sixChannel);
    if (decision.action == ParameterAction::Stop) {
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
    // With the line closed the tick does nothing at all, so the download resumes where it
    // stood (the same record again if its answer was outstanding) once the port is reopened.
    if (!m_line.isOpen() || !RecordRequestDue(m_state)) {
        return;
    }
    if (m_state.awaitingRecord == 0) {
        ++m_state.recordIndex;
    }
    sendRequestText(RecordRequestText(m_state.recordIndex));
    const DownloadProgress progress = ProgressOf(m_state.recordIndex, m_state.recordTotal);
    m_values.progress = progress.bar;
    m_values.percentText = progress.percentText;
    m_state.awaitingRecord = 1;
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
    for (const char c : bytes) {
        const auto byte = static_cast<quint8>(c);
        m_values.receiveText += ReceivedByteText(byte);
        if (AppendReceivedByte(m_state, byte)) {
            DispatchAnswer(m_state, *this);
        }
    }
}

bool InstrumentLink::flushUnwritten() {
    return m_batches.flush(m_state, m_records, m_exporter);
}

void InstrumentLink::decodeFunction3() {
    DecodeFunction3(m_state, m_values, m_table, m_userGases);
}

void InstrumentLink::decodeRecord() {
    DecodeRecord(m_state, m_records);
    m_batches.afterRecord(m_state, m_records, m_exporter);
}
