#pragma once

#include <QElapsedTimer>
#include <QTimer>

// The instrument's record answers carry no record number: an answer held up past the next
// 50 ms tick is taken for the following request's. A run during which this process could not
// keep the pace (a loaded machine) proves nothing about the program, so tests that compare
// records exactly watch the event loop with a 5 ms beat and run again when it stalled.
class StallWatch {
public:
    StallWatch();

    qint64 worstLatenessMs() const { return m_worstMs; }
    bool disturbed() const { return m_worstMs > kToleratedMs; }
    // Whether a run that came out `exact` should be repeated (at most three runs in all).
    bool retry(bool exact, int attempt) const;

private:
    static constexpr qint64 kBeatMs = 5;
    static constexpr qint64 kToleratedMs = 25;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_worstMs = 0;
};
