#include "serial/linepacetimer.h"

#include <QSocketNotifier>

#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

LinePaceTimer::LinePaceTimer(QObject* parent) : QObject(parent) {
    m_fallback.setSingleShot(true);
    m_fallback.setTimerType(Qt::PreciseTimer);
    connect(&m_fallback, &QTimer::timeout, this, &LinePaceTimer::fired);
    m_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &LinePaceTimer::onTimerFd);
    }
}

LinePaceTimer::~LinePaceTimer() {
    delete m_notifier;
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

qint64 LinePaceTimer::nowUs() const {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

void LinePaceTimer::fireAt(qint64 atUs) {
    if (m_fd < 0) {
        const qint64 delayUs = qMax<qint64>(0, atUs - nowUs());
        m_fallback.start(static_cast<int>((delayUs + 999) / 1000));
        return;
    }
    // An absolute time of zero would disarm the timer; one already past fires at once.
    const qint64 at = qMax<qint64>(atUs - m_leadUs, 1);
    m_armedUs = at;
    itimerspec when{};
    when.it_value.tv_sec = at / 1'000'000;
    when.it_value.tv_nsec = (at % 1'000'000) * 1000;
    timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &when, nullptr);
}

void LinePaceTimer::cancel() {
    m_fallback.stop();
    if (m_fd >= 0) {
        const itimerspec never{};
        timerfd_settime(m_fd, 0, &never, nullptr);
    }
}

void LinePaceTimer::onTimerFd() {
    quint64 expirations = 0;
    if (::read(m_fd, &expirations, sizeof expirations) == sizeof expirations && expirations > 0) {
        constexpr qint64 kMaxLeadUs = 300;
        const qint64 lateUs = nowUs() - m_armedUs;
        m_leadUs = qBound<qint64>(0, (7 * m_leadUs + lateUs) / 8, kMaxLeadUs);
        emit fired();
    }
}
