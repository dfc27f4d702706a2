#include "stallwatch.h"

#include <QtGlobal>

StallWatch::StallWatch() {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kBeatMs);
    QObject::connect(&m_timer, &QTimer::timeout,
                     [this] { m_worstMs = qMax(m_worstMs, m_clock.restart() - kBeatMs); });
    m_clock.start();
    m_timer.start();
}

bool StallWatch::retry(bool exact, int attempt) const {
    if (exact || !disturbed() || attempt >= 3) {
        return false;
    }
    qWarning("event loop stalled for %lld ms: running again", m_worstMs);
    return true;
}
