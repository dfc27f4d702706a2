#pragma once

#include "protocol/pacetimer.h"

#include <QObject>
#include <QTimer>

class QSocketNotifier;

// The pace timer of the serial line, on the thread's event loop. The inter-frame gap at
// 38400 bit/s is under a millisecond, and a millisecond more per record is a tenth of the
// line's pace, so it runs on a timerfd, to the microsecond; where none can be had it falls
// back to a millisecond QTimer.
// A wake-up reaches the event loop some tens of microseconds after the timer went off; the
// timer goes off that much early (learnt from the wake-ups so far), so that what fired() does
// happens at the time asked for. Early by a few microseconds at worst: the inter-frame gap
// counts from when an answer was read, which is already later than its end on the line.
class LinePaceTimer : public QObject, public PaceTimer {
    Q_OBJECT
public:
    explicit LinePaceTimer(QObject* parent = nullptr);
    ~LinePaceTimer() override;
    LinePaceTimer(const LinePaceTimer&) = delete;
    LinePaceTimer& operator=(const LinePaceTimer&) = delete;

    qint64 nowUs() const override;
    void fireAt(qint64 atUs) override;
    void cancel() override;

signals:
    void fired();

private:
    void onTimerFd();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_fallback;
    qint64 m_armedUs = 0; // when the timerfd goes off
    qint64 m_leadUs = 0;  // how much before the time asked for
};
