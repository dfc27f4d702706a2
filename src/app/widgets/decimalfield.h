#pragma once

#include <QString>

#include <optional>

// The value of an edit that must hold a decimal number from 0 to maximum: digits only, blanks
// around them allowed. Anything else, or a number above maximum, gives no value.
std::optional<quint64> parseDecimalField(const QString& text, quint64 maximum);
