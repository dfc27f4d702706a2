#pragma once

#include "model/usergasnames.h"

#include <QString>

// Code tables of the instrument: gas, unit and precision codes, and the one number format.

// Built-in name with its trailing spaces (codes 0-70), empty for 71-80 and 111-255,
// the user name for 81-110.
QString GasNameOf(quint8 code, const UserGasNames& userGases);
// Unit text of codes 0-7 ("PPM", "PPB", "%VOL", "%LEL", "mg/m3", "g/m3", " ", " ").
QString UnitNameOf(int code);
// "1", "0.1", "0.01", "0.001" for codes 0-3; empty for any other code.
QString PrecisionTextOf(int code);
// "%5.0f" .. "%5.3f" by precision code; scaled values of codes 1-3 are divided by 10^code.
QString FormatReading(quint16 raw, qint32 precision, bool scaled);
// The number FormatReading shows: raw, divided by 10^code when scaled and the code is 1-3.
double ScaledReading(quint16 raw, qint32 precision, bool scaled);
