#pragma once

#include "simconfig.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// What a user must see and find on disk for the simulated instrument, spelled out here from the
// instrument's bytes with printf formats and literal name tables, apart from the program's own
// tables and formatting.

// Built-in gas names with their trailing spaces, for the codes the tests configure.
QString gasNameText(quint8 code);
QString unitText(quint8 code);
// "%5.0f" to "%5.3f" by precision code; scaled values are divided by 10, 100 or 1000.
QString readingText(quint16 raw, quint8 precision, bool scaled);

// Cells 0-6 of channel row `channel` (1-6) of the channel table after a parameter read.
QStringList expectedChannelRow(const SimulatorConfig& config, int channel);

// The 19 cells of record n in the record store: time, six gas names, six readings, six units;
// a four-channel record leaves channels 5 and 6 empty.
QStringList expectedStoreRow(const SimulatorConfig& config, quint32 n);

// The "Storage" sheet: the caption row, and record n in caption order (13 or 19 cells).
QStringList expectedCaptions(int channels);
QStringList expectedSheetRow(const SimulatorConfig& config, quint32 n);

// The Receive field's text for these bytes: "%02X " each.
QString receiveFieldText(const QByteArray& bytes);
