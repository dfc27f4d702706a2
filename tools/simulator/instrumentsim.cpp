#include "instrumentsim.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <unistd.h>

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
}

InstrumentSimulator::~InstrumentSimulator() {
    hangUp();
}

void InstrumentSimulator::hangUp() {
    // The notifiers must let go of the descriptor before it is closed.
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    m_output.clear();
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
        answer(*request);
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

void InstrumentSimulator::answer(const SimRequest& request) {
    QByteArray reply = simAnswerFor(m_config, request);
    const SimFault* fault = takeFault(request);
    if (fault == nullptr) {
        write(reply);
        return;
    }
    switch (fault->kind) {
    case SimFaultKind::NoAnswer:
        return;
    case SimFaultKind::WrongCrc:
        reply[reply.size() - 1] = static_cast<char>(reply[reply.size() - 1] ^ 0xFF);
        write(reply);
        return;
    case SimFaultKind::Split: {
        const int pieces = qMax(1, fault->pieces);
        const qsizetype size = (reply.size() + pieces - 1) / pieces;
        for (int i = 0; i * size < reply.size(); ++i) {
            writeLater(reply.mid(i * size, size), i * fault->pauseMs);
        }
        return;
    }
    case SimFaultKind::ExtraBytes:
        write(reply + fault->extra);
        return;
    case SimFaultKind::Exception:
        write(simExceptionAnswer(request.function, 0x04));
        return;
    case SimFaultKind::Late:
        writeLater(reply, fault->delayMs);
        return;
    }
}

void InstrumentSimulator::writeLater(const QByteArray& bytes, int delayMs) {
    if (delayMs <= 0) {
        write(bytes);
        return;
    }
    QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [this, bytes] { write(bytes); });
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
