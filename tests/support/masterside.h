#pragma once

#include <QByteArray>

class PtyPair;

// The instrument's end of a pseudo-terminal, read and written while the event loop runs on.

// Reads until count bytes have come or timeoutMs have passed.
QByteArray readFromMaster(PtyPair& pair, int count, int timeoutMs = 3000);
// Everything that arrives within the next ms milliseconds.
QByteArray drainMaster(PtyPair& pair, int ms);
bool writeToMaster(PtyPair& pair, const QByteArray& bytes);

// frame followed by its CRC-16/MODBUS, high-order byte first as the instrument sends it.
// Computed bit by bit, independently of the program's table-driven CRC.
QByteArray withInstrumentCrc(QByteArray frame);
