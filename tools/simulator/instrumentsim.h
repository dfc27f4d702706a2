#pragma once

#include "ptypair.h"
#include "simconfig.h"
#include "simframes.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <map>

class QSocketNotifier;

// Ways the simulated instrument can misbehave on one answer.
enum class SimFaultKind {
    NoAnswer,   // the request is logged and left unanswered
    WrongCrc,   // the answer's last CRC byte is inverted
    Split,      // the answer goes out in `pieces` writes, pauseMs apart
    ExtraBytes, // `extra` follows the answer in the same write
    Exception,  // a Modbus exception answer (function | 0x80) instead of the answer
    Late,       // the answer goes out delayMs after the request
};

struct SimFault {
    SimFaultKind kind = SimFaultKind::NoAnswer;
    int delayMs = 0;                          // Late
    int pieces = 2;                           // Split
    int pauseMs = 5;                          // Split
    QByteArray extra = QByteArray(1, '\x55'); // ExtraBytes

    static SimFault noAnswer() { return {}; }
    static SimFault wrongCrc() { return {SimFaultKind::WrongCrc}; }
    static SimFault split(int pieces, int pauseMs) {
        return {SimFaultKind::Split, 0, pieces, pauseMs};
    }
    static SimFault extraBytes(const QByteArray& extra) {
        return {SimFaultKind::ExtraBytes, 0, 2, 5, extra};
    }
    static SimFault exception() { return {SimFaultKind::Exception}; }
    static SimFault late(int delayMs) { return {SimFaultKind::Late, delayMs}; }
};

// The instrument on a pseudo-terminal: a Modbus RTU slave 1 answering the configuration
// requests (function 3) and record requests (function 0x41). The program under test opens
// slavePath() as its serial port. Runs on the thread's event loop and never blocks it.
class InstrumentSimulator : public QObject {
    Q_OBJECT
public:
    explicit InstrumentSimulator(const SimulatorConfig& config = {}, QObject* parent = nullptr);
    ~InstrumentSimulator() override;

    bool isValid() const { return m_pty.isValid(); }
    const QString& slavePath() const { return m_pty.slavePath(); }
    bool linkAs(const QString& folder, const QString& name) const {
        return m_pty.linkAs(folder, name);
    }
    // Pulls the plug: the program's port sees a hang-up and nothing is answered any more.
    void hangUp();

    SimulatorConfig& config() { return m_config; }

    // Faults: by the request's 1-based number, by record number (its first `times` requests),
    // or on the next `count` answers. A request-number fault wins over a record fault, which
    // wins over the next-answers fault.
    void faultRequest(int requestNumber, const SimFault& fault);
    void faultRecord(quint32 recordNumber, const SimFault& fault, int times = 1);
    void faultNext(int count, const SimFault& fault);
    void clearFaults();

    const QList<SimRequest>& requests() const { return m_requests; }
    // Record numbers in the order they were asked for, repeats included.
    QList<quint32> recordRequests() const;
    void clearLog() { m_requests.clear(); }

signals:
    void requestReceived(int number);

private:
    // A piece of an answer and how long after the answer is due it goes out.
    struct AnswerPiece {
        qint64 afterNs = 0;
        QByteArray bytes;
    };

    void readAvailable();
    void answer(const SimRequest& request, qint64 receivedNs);
    const SimFault* takeFault(const SimRequest& request);
    void sendAnswer(const SimRequest& request, qint64 receivedNs, QList<AnswerPiece> pieces);
    void armDueTimer();
    void writeDue();
    void write(const QByteArray& bytes);
    void flushOutput();

    SimulatorConfig m_config;
    PtyPair m_pty;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QByteArray m_output;
    SimRequestParser m_parser;
    QElapsedTimer m_clock;
    QList<SimRequest> m_requests;
    // Answers waiting for their time (monotonic nanoseconds), sent by a timerfd so that line
    // timing is kept to the microsecond rather than to the millisecond of a QTimer.
    std::multimap<qint64, QByteArray> m_due;
    int m_dueTimerFd = -1;
    qint64 m_wakeLeadNs = 0; // how much earlier than due the timer goes off
    QSocketNotifier* m_dueNotifier = nullptr;
    qint64 m_lineFreeNs = 0;    // the end of the last answer on the simulated line
    qint64 m_lastAnswerNs = -1; // when the last answer went out (for minAnswerSpacingMs)

    struct CountedFault {
        SimFault fault;
        int remaining = 0;
    };
    std::map<int, SimFault> m_requestFaults;
    std::map<quint32, CountedFault> m_recordFaults;
    CountedFault m_nextFault;
    SimFault m_activeFault; // the fault taken for the request being answered
};
