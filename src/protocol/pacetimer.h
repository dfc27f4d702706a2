#pragma once

#include <QtGlobal>

// The clock and the one-shot timer by which requests follow the instrument's answers. The
// window runs it for the link and calls InstrumentLink::paceTimeout when it fires; the link
// never waits. Times are microseconds of a monotonic clock.
class PaceTimer {
public:
    virtual ~PaceTimer() = default;
    virtual qint64 nowUs() const = 0;
    // Fires once at atUs, at once when that has passed; replaces an earlier arming.
    virtual void fireAt(qint64 atUs) = 0;
    virtual void cancel() = 0;
};
