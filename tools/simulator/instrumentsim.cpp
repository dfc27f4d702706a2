#include "instrumentsim.h"

#include <QSocketNotifier>

#include <cerrno>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

qint64 monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The time bytes take on the line at bitsPerSecond, 10 bits a byte (start, 8 data, stop).
qint64 lineNs(qsizetype bytes, int bitsPerSecond) {
    return qint64(bytes) * 10 * 1'000'000'000 / qMax(1, bitsPerSecond);
}

} // namespace

InstrumentSimulator::InstrumentSimulator(const SimulatorConfig& config, QObject* parent)
    : QObject(parent), m_config(config) {
    m_clock.start();
    if (!m_pty.isValid()) {
        return;
    }
    m_readNotifier = new QSocketNotifier(m_pty.masterFd(), QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &InstrumentSimulator::readAvailable);
    m_writeNotifier = new QSocketNotifier(m_pty.masterFd(), QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &InstrumentSimulator::flushOutput);
    m_dueTimerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_dueTimerFd >= 0) {
        m_dueNotifier = new QSocketNotifier(m_dueTimerFd, QSocketNotifier::Read, this);
        connect(m_dueNotifier, &QSocketNotifier::activated, this, &InstrumentSimulator::writeDue);
    }
}

InstrumentSimulator::~InstrumentSimulator() {
    hangUp();
    delete m_dueNotifier;
    if (m_dueTimerFd >= 0) {
        ::close(m_dueTimerFd);
    }
}

void InstrumentSimulator::hangUp() {
    // The notifiers must let go of the descriptor before it is closed.
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    m_output.clear();
    m_due.clear();
    m_pty.hangUp();
}

void InstrumentSimulator::faultRequest(int requestNumber, const SimFault& fault) {
    m_requestFaults[requestNumber] = fault;
}

void InstrumentSimulator::faultRecord(quint32 recordNumber, const SimFault& fault, int times) {
    m_recordFaults[recordNumber] = CountedFault{fault, times};
}

void InstrumentSimulator::faultNext(int count, const SimFault& fault) {
    m_nextFault = CountedFault{fault, count};
}

void InstrumentSimulator::clearFaults() {
    m_requestFaults.clear();
    m_recordFaults.clear();
    m_nextFault = {};
}

QList<quint32> InstrumentSimulator::recordRequests() const {
    QList<quint32> numbers;
    for (const SimRequest& request : m_requests) {
        if (request.function == 0x41) {
            numbers.append(request.recordNumber);
        }
    }
    return numbers;
}

void InstrumentSimulator::readAvailable() {
    const qint64 receivedNs = monotonicNs();
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_pty.masterFd(), buffer, sizeof buffer);
        if (n > 0) {
            m_parser.feed(QByteArray(buffer, n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // EAGAIN: all read. EIO: nobody holds the slave side open; wait for the next open.
        break;
    }
    while (auto request = m_parser.next()) {
        request->number = static_cast<int>(m_requests.size()) + 1;
        request->atMs = m_clock.elapsed();
        m_requests.append(*request);
        answer(*request, receivedNs);
        emit requestReceived(request->number);
    }
}

const SimFault* InstrumentSimulator::takeFault(const SimRequest& request) {
    if (auto it = m_requestFaults.find(request.number); it != m_requestFaults.end()) {
        m_activeFault = it->second;
        m_requestFaults.erase(it);
        return &m_activeFault;
    }
    if (request.function == 0x41) {
        if (auto it = m_recordFaults.find(request.recordNumber); it != m_recordFaults.end()) {
            m_activeFault = it->second.fault;
            if (--it->second.remaining <= 0) {
                m_recordFaults.erase(it);
            }
            return &m_activeFault;
        }
    }
    if (m_nextFault.remaining > 0) {
        --m_nextFault.remaining;
        m_activeFault = m_nextFault.fault;
        return &m_activeFault;
    }
    return nullptr;
}

void InstrumentSimulator::answer(const SimRequest& request, qint64 receivedNs) {
    QByteArray reply = simAnswerFor(m_config, request);
    const SimFault* fault = takeFault(request);
    if (fault == nullptr) {
        sendAnswer(request, receivedNs, {{0, reply}});
        return;
    }
    constexpr qint64 kNsPerMs = 1'000'000;
    switch (fault->kind) {
    case SimFaultKind::NoAnswer:
        return;
    case SimFaultKind::WrongCrc:
        reply[reply.size() - 1] = static_cast<char>(reply[reply.size() - 1] ^ 0xFF);
        sendAnswer(request, receivedNs, {{0, reply}});
        return;
    case SimFaultKind::Split: {
        const int pieces = qMax(1, fault->pieces);
        const qsizetype size = (reply.size() + pieces - 1) / pieces;
        QList<AnswerPiece> split;
        for (int i = 0; i * size < reply.size(); ++i) {
            split.append({i * fault->pauseMs * kNsPerMs, reply.mid(i * size, size)});
        }
        sendAnswer(request, receivedNs, split);
        return;
    }
    case SimFaultKind::ExtraBytes:
        sendAnswer(request, receivedNs, {{0, reply + fault->extra}});
        return;
    case SimFaultKind::Exception:
        sendAnswer(request, receivedNs, {{0, simExceptionAnswer(request.function, 0x04)}});
        return;
    case SimFaultKind::Late:
        sendAnswer(request, receivedNs, {{fault->delayMs * kNsPerMs, reply}});
        return;
    }
}

void InstrumentSimulator::sendAnswer(const SimRequest& request, qint64 receivedNs,
                                     QList<AnswerPiece> pieces) {
    qint64 dueNs = receivedNs;
    if (m_config.lineTiming) {
        // The instrument hears the request's last byte, thinks, and then sends its answer,
        // whose last byte arrives one answer's time later; it sends one answer at a time.
        qsizetype answerBytes = 0;
        for (const AnswerPiece& piece : pieces) {
            answerBytes += piece.bytes.size();
        }
        const qint64 startNs = receivedNs +
                               lineNs(request.bytes.size(), m_config.lineBitsPerSecond) +
                               static_cast<qint64>(m_config.thinkMs * 1e6);
        dueNs = qMax(startNs, m_lineFreeNs) + lineNs(answerBytes, m_config.lineBitsPerSecond);
    }
    const qint64 firstNs = dueNs + pieces.first().afterNs;
    if (m_config.minAnswerSpacingMs > 0 && m_lastAnswerNs >= 0 &&
        firstNs - m_lastAnswerNs < qint64(m_config.minAnswerSpacingMs) * 1'000'000) {
        return; // too soon after the previous answer: this instrument cannot keep up
    }
    m_lastAnswerNs = dueNs + pieces.last().afterNs;
    m_lineFreeNs = qMax(m_lineFreeNs, m_lastAnswerNs);
    for (const AnswerPiece& piece : pieces) {
        if (!m_config.lineTiming && piece.afterNs <= 0) {
            write(piece.bytes);
        } else {
            m_due.emplace(dueNs + piece.afterNs, piece.bytes);
        }
    }
    armDueTimer();
}

void InstrumentSimulator::armDueTimer() {
    if (m_dueTimerFd < 0) {
        return;
    }
    itimerspec when{};
    if (!m_due.empty()) {
        // A wake-up comes late by the scheduler's latency: the timer goes off that much early
        // and writeDue waits out the rest, so that an answer leaves at its due time. Zero
        // would disarm the timer: anything due already goes out at once.
        const qint64 at = qMax<qint64>(m_due.begin()->first - m_wakeLeadNs, 1);
        when.it_value.tv_sec = at / 1'000'000'000;
        when.it_value.tv_nsec = at % 1'000'000'000;
    }
    timerfd_settime(m_dueTimerFd, TFD_TIMER_ABSTIME, &when, nullptr);
}

void InstrumentSimulator::writeDue() {
    quint64 expirations = 0;
    [[maybe_unused]] const ssize_t n = ::read(m_dueTimerFd, &expirations, sizeof expirations);
    qint64 now = monotonicNs();
    if (!m_due.empty()) {
        constexpr qint64 kMaxLeadNs = 500'000;
        const qint64 due = m_due.begin()->first;
        const qint64 lateNs = now - (due - m_wakeLeadNs);
        m_wakeLeadNs = qBound<qint64>(0, (7 * m_wakeLeadNs + lateNs) / 8, kMaxLeadNs);
        while (now < due && due - now <= kMaxLeadNs) {
            now = monotonicNs();
        }
    }
    while (!m_due.empty() && m_due.begin()->first <= now) {
        write(m_due.begin()->second);
        m_due.erase(m_due.begin());
    }
    armDueTimer();
}

void InstrumentSimulator::write(const QByteArray& bytes) {
    if (!m_pty.isValid()) {
        return;
    }
    m_output += bytes;
    flushOutput();
}

void InstrumentSimulator::flushOutput() {
    while (!m_output.isEmpty()) {
        const ssize_t n = ::write(m_pty.masterFd(), m_output.constData(), m_output.size());
        if (n > 0) {
            m_output.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        break;
    }
    if (m_writeNotifier != nullptr) {
        m_writeNotifier->setEnabled(!m_output.isEmpty());
    }
}
