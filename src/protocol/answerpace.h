#pragma once

#include <QtGlobal>

// The serial line to the instrument: 38400 bit/s, 10 bits a byte (start, 8 data, 1 stop).
namespace lineTiming {
constexpr qint64 kBitsPerSecond = 38400;
constexpr qint64 kBitsPerByte = 10;
// The time bytes take on the line, rounded up to the microsecond.
constexpr qint64 bytesUs(qint64 bytes) {
    return (bytes * kBitsPerByte * 1'000'000 + kBitsPerSecond - 1) / kBitsPerSecond;
}
// Modbus RTU separates frames by at least 3.5 character times of silence.
constexpr qint64 kFrameGapUs = (35 * 1'000'000 + kBitsPerSecond - 1) / kBitsPerSecond;
} // namespace lineTiming

// When the next request may go out if requests follow the answers instead of a timer: after a
// valid answer the line only has to be silent for the inter-frame gap; a request unanswered by
// its deadline (the end of the request on the line plus an allowance for the instrument) is
// overdue.
//
// The allowance starts at 50 ms and follows the instrument: it is half as long again as the
// last answer time known for certain, so that an instrument that needs 120 ms is asked once
// per record rather than three times. After a request that had to be repeated the next one
// waits until the copies of the answer still on their way have come, or until they are
// overdue, so that they land where nothing is asked.
//
// Whether requests at this pace keep failing where the tick pace would not (an instrument that
// cannot answer so soon after its last answer) is counted: the first request for an item sent
// less than a tick after the last answer and left unanswered counts, such a request answered
// sets the count back, and so does an instrument all of whose late answers came.
class AnswerPace {
public:
    enum class Phase {
        Idle,     // nothing asked, nothing due
        Gap,      // an answer was taken; the next request waits for the inter-frame gap
        Awaiting, // a request is out; its deadline is armed
        Holding,  // an answer was taken after repeats; copies of it may still come
    };

    static constexpr qint64 kDefaultAllowanceUs = 50'000;
    static constexpr qint64 kMostAllowanceUs = 2'000'000;
    static constexpr qint64 kTickUs = 50'000;
    static constexpr int kFallbackFailures = 5;

    Phase phase() const { return m_phase; }
    qint64 allowanceUs() const { return m_allowanceUs; }
    int failuresInARow() const { return m_fastFailures; }

    // A request of requestBytes went out; firstForItem for the first one asked for a record or
    // a parameter step. Returns its deadline.
    qint64 requestSent(qint64 nowUs, int requestBytes, bool firstForItem);
    // The valid answer (answerBytes long) to the current item was taken. Returns when the next
    // request may go out.
    qint64 answerTaken(qint64 nowUs, int answerBytes);
    // Bytes that came while Holding; returns when the next request may go out, at the gap once
    // the copies of every repeated request are in.
    qint64 bytesWhileHolding(qint64 nowUs, qsizetype count);
    // The deadline passed without a valid answer. True when requests at this pace have now
    // failed often enough in a row to go back to one request per tick.
    bool timedOut();
    // Nothing is asked any more (the line was closed, or the job is done); what was learnt
    // about the instrument stays.
    void idle() { m_phase = Phase::Idle; }
    // A new download: failures counted before no longer count.
    void restart();

private:
    void learn(qint64 answerUs);

    Phase m_phase = Phase::Idle;
    qint64 m_allowanceUs = kDefaultAllowanceUs;
    qint64 m_requestUs = 0;
    qint64 m_firstSentUs = 0;
    qint64 m_lastSentUs = 0;
    qint64 m_lastAnswerUs = -1;
    qint64 m_releaseUs = 0;
    int m_requests = 0; // for the current item
    int m_answers = 0;
    int m_answerBytes = 0;
    qsizetype m_heldBytes = 0;
    bool m_firstWasFast = false;
    int m_fastFailures = 0;
};
