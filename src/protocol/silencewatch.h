#pragma once

#include <QtGlobal>

// What the link has to say about an instrument that does not answer; the window words it.
struct LinkSilence {
    enum class Kind {
        None,
        Download,      // no valid answer for a while during a download; requests go on
        ParameterRead, // a parameter read ended without one valid answer
    };
    Kind kind = Kind::None;
    quint32 record = 0; // Download: the record asked for without an answer
    quint32 total = 0;  // Download: the records the instrument holds

    bool operator==(const LinkSilence&) const = default;
};

// Notices a silent instrument: a download that has had no valid answer for five seconds, or a
// parameter read that ended without one. Each silence is reported once and withdrawn with the
// next valid answer. Times are milliseconds of a monotonic clock.
class SilenceWatch {
public:
    static constexpr qint64 kDownloadSilenceMs = 5000;

    // A download starts (again): earlier unanswered requests no longer count.
    void downloadStarted();
    void recordRequested(qint64 nowMs, quint32 record, quint32 total);
    void parameterReadStarted();
    // The sequence reached its end (not when it was cut short).
    void parameterReadEnded();
    // Any valid answer was taken.
    void answered(bool recordAnswer);
    // The line was closed: nothing is being tried any more.
    void reset() { *this = SilenceWatch(); }

    const LinkSilence& silence() const { return m_silence; }

private:
    bool m_waiting = false;
    bool m_downloadReported = false;
    qint64 m_waitingSinceMs = 0;
    bool m_parameterReadRunning = false;
    bool m_parameterAnswered = false;
    LinkSilence m_silence;
};
