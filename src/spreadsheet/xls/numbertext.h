#pragma once

#include <QString>
#include <cstdint>

namespace xls {

// The text a number cell becomes: the shortest text that reads back as the same double.
// Magnitudes from 1e-5 up to below 1e15 are written out in full ("1", "1.5", "0.00012",
// "123456789012345"); others in scientific notation ("1e+15", "1.5e-07"). Negative zero reads
// "0"; values that are not numbers read "NaN", "Infinity" or "-Infinity".
QString numberText(double value);

// The number stored in an RK value (a compressed integer or truncated double).
double rkNumber(uint32_t rk);

} // namespace xls
