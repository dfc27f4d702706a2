#pragma once

#include "simconfig.h"

#include <QByteArray>
#include <optional>

// The instrument's side of the line, written independently of the program's codec: the CRC is
// computed bit by bit and sent high-order byte first, as the instrument does.

quint16 simModbusCrc(const QByteArray& bytes); // standard CRC-16/MODBUS value
void simAppendCrc(QByteArray& frame);          // high-order byte first

struct SimRequest {
    int number = 0; // 1-based, over all requests received
    quint8 function = 0;
    quint16 startRegister = 0; // function 3
    quint16 registerCount = 0; // function 3
    quint32 recordNumber = 0;  // function 0x41
    qint64 atMs = 0;           // since the simulator started
    QByteArray bytes;
};

// Cuts requests out of the received byte stream; a request may arrive in pieces, and bytes
// that cannot start a valid request are skipped.
class SimRequestParser {
public:
    void feed(const QByteArray& bytes) { m_pending += bytes; }
    std::optional<SimRequest> next();

private:
    QByteArray m_pending;
};

// The answer the instrument gives to a request: a function-3 answer laid out for the
// register asked for, a record answer, or an exception answer for anything it doesn't know.
QByteArray simAnswerFor(const SimulatorConfig& config, const SimRequest& request);
QByteArray simExceptionAnswer(quint8 function, quint8 code);
