#pragma once

#include <QByteArray>

class PtyPair;

// The instrument's end of a pseudo-terminal, read and written while the event loop runs on.

// Reads until count bytes have come or timeoutMs have passed.
QByteArray readFromMaster(PtyPair& pair, int count, int timeoutMs = 3000);
// Everything that arrives within the next ms milliseconds.
QByteArray drainMaster(PtyPair& pair, int ms);
bool writeToMaster(PtyPair& pair, const QByteArray& bytes);
