#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <array>
#include <cstdint>

// Frames as the instrument speaks them: Modbus RTU, slave 1, with the CRC's high-order byte
// sent first (the reverse of ordinary Modbus RTU), in both directions.

constexpr int kRequestFrameCount = 14;

// The configuration requests as sixteen upper-case hex digits: steps 1 and 2 of the
// parameter read, then steps 3 to 8, each as a four-channel and a six-channel frame.
extern const std::array<const char*, kRequestFrameCount> RequestFrameTable;

// 0..15 for '0'-'9', 'A'-'F', 'a'-'f'; -1 for anything else.
int HexDigitValue(QChar character);

// Fills bytes with the bytes the text spells and returns their number. Blanks are skipped
// only where a pair begins; a final unpaired digit is dropped; a non-hex character ends the
// conversion.
int HexTextToBytes(const QString& text, QByteArray& bytes);

// CRC-16/MODBUS with its two bytes exchanged: a frame ends with the low byte of this value,
// then its high byte, which puts the standard CRC's high byte first on the line.
quint16 Crc16(const quint8* data, int length);

// Whether the last two of the first length bytes of frame carry the CRC of the bytes
// before them, in the instrument's byte order.
bool frameCrcMatches(const quint8* frame, int length);

// Appends the CRC of everything in frame so far, in the instrument's byte order.
void appendCrc(QByteArray& frame);

// Entry i of RequestFrameTable as the bytes sent.
const QByteArray& requestFrame(int i);

// The function-0x41 request for record index: slave, function, the index high byte first, CRC.
QByteArray recordRequestFrame(quint32 index);
