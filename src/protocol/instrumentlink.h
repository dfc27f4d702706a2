#pragma once

#include "model/pollstate.h"
#include "model/recordstore.h"
#include "model/usergasnames.h"
#include "protocol/answerpace.h"
#include "protocol/lateanswerguard.h"
#include "protocol/linkports.h"
#include "protocol/pacetimer.h"
#include "protocol/receivepath.h"
#include "protocol/recordbatch.h"
#include "protocol/resumeprobe.h"
#include "protocol/silencewatch.h"

#include <QByteArray>

#include <functional>

// What a timer tick asks of the window.
enum class TickOutcome { Continue, StopTimer };

// The instrument protocol behind the main window: the polling scheduler's decisions, the
// receive path and both decoders. The window owns the timers and forwards their ticks, the
// button presses and the received bytes; this class never waits and never touches a widget.
//
// Given a pace timer, requests follow the answers (AnswerPace): the parameter read and the
// download send their next request once the last one has been answered and the line has been
// silent for the inter-frame gap, and repeat a record request at its deadline. Ticks then only
// matter when the download has gone back to one request per tick. Without one, every request
// waits for its tick.
class InstrumentLink : private AnswerDecoders {
public:
    static constexpr int kParameterPeriodMs = 150; // timer 1
    static constexpr int kDownloadPeriodMs = 50;   // timer 2

    // userGases names codes 81-110 in the gas answers decoded from now on.
    InstrumentLink(FrameSink& line, ChannelTable& table, WindowValues& values,
                   const UserGasNames& userGases);

    // Without an exporter a finished batch is only counted off (storeRow back to 0).
    void setExporter(BatchExporter* exporter);
    // Milliseconds of a monotonic clock, for noticing a silent instrument; a steady clock
    // unless a test sets another.
    void setClock(std::function<qint64()> clock);
    // Requests follow the answers by this timer from now on; nullptr: one request per tick.
    void setPaceTimer(PaceTimer* timer);
    // Whether the parameter read runs without timer 1 (the window then leaves it stopped).
    bool pacedByAnswers() const { return m_paceTimer != nullptr; }
    // The pace timer fired: the next request, a repeat of an overdue one, or the next step.
    void paceTimeout();
    // The record from which the running download went back to one request per tick because
    // the instrument did not keep up; 0 while it follows the answers.
    quint32 tickPaceSince() const { return m_tickPaceSince; }
    const AnswerPace& pace() const { return m_pace; }

    // Read parameter: empties the value cells and restarts the sequence at step 1.
    // The window then (re)starts timer 1.
    void readParameter();
    // Download Data: resets progress and percentage. The window stops timer 1, starts timer 2.
    void startDownload();
    // Download Data with the records archive: `known` are the memories it holds under the
    // configuration just read. The first download of a run (or with fetchAll, any) first asks
    // for record 1 and the last archived record K of a matching memory (ResumeProbe); the
    // download then goes on from K + 1, or fetches the whole memory as a new one. fetchAll
    // fetches the whole memory in any case. Later downloads of a run go on after the previous
    // total, as without the archive.
    void startDownload(QList<KnownMemory> known, bool fetchAll);
    // Told when the probe has decided where the download goes on.
    void setResumeListener(std::function<void(const ResumeProbe&)> listener) {
        m_resumeListener = std::move(listener);
    }
    const ResumeProbe& resume() const { return m_probe; }
    // Timer 1 tick: sends the frame of the current step; StopTimer at step 9.
    TickOutcome parameterTick();
    // Timer 2 tick: asks for the next record, or again for the one still unanswered.
    // Sends nothing and changes nothing while the line is closed.
    void downloadTick();
    // The channel count the user typed into the Channel field: the N of the answers and
    // records decoded from now on, until the next channel-count answer.
    void setChannelCount(quint8 count) { m_state.channelCount = count; }
    // Bytes of one communication event, in arrival order.
    void receive(const QByteArray& bytes);
    // The port was closed, its timers stopped: what was asked will not be answered. A later
    // Download Data asks again for the record that was outstanding.
    void stop();
    // Offers rows not yet written (an interrupted download, failed batches) to the exporter.
    // True when nothing is left unwritten.
    [[nodiscard]] bool flushUnwritten();
    // An instrument that does not answer, for the window to name; None while it answers.
    const LinkSilence& silence() const { return m_silence.silence(); }

    PollState& state() { return m_state; }
    const PollState& state() const { return m_state; }
    RecordStore& records() { return m_records; }
    const RecordStore& records() const { return m_records; }

private:
    void decodeFunction3() override;
    bool decodeRecord() override;
    void sendRequestText(const QString& text);
    bool sendRecordRequest();
    bool sendProbeRequest();
    void takeProbeAnswer();
    void sendPacedRequest();
    void sendPacedParameterStep();
    void sendPacedRecordRequest();
    void pacedTimeout();
    void afterReceive(bool wasTaken, qint64 arrivedUs, qsizetype bytes);
    bool followsTicks() const { return m_paceTimer == nullptr || m_tickPaceSince != 0; }

    enum class PaceJob { None, ParameterRead, Download };

    FrameSink& m_line;
    ChannelTable& m_table;
    WindowValues& m_values;
    const UserGasNames& m_userGases;
    BatchExporter* m_exporter = nullptr;
    PollState m_state;
    RecordStore m_records;
    RecordBatches m_batches;
    LateAnswerGuard m_lateAnswers;
    SilenceWatch m_silence;
    std::function<qint64()> m_clock;
    PaceTimer* m_paceTimer = nullptr;
    AnswerPace m_pace;
    PaceJob m_paceJob = PaceJob::None;
    bool m_downloading = false; // a download waits behind a parameter read
    quint32 m_tickPaceSince = 0;
    ResumeProbe m_probe;
    bool m_fetchAll = false;
    std::function<void(const ResumeProbe&)> m_resumeListener;
};
