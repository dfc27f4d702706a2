#pragma once

#include <QElapsedTimer>
#include <QTimer>

// A run during which this process could not keep the pace (a loaded machine) sees answers
// held up past the next 50 ms tick, hence repeated requests and a slower download, which
// proves nothing about the program. Tests that count requests or time the pace exactly watch
// the event loop with a 5 ms beat and run again when it stalled.
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
