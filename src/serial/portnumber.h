#pragma once

#include <QString>

// The port number of a port text such as "COM12": the characters after the first three read as
// a decimal integer by the usual leading-digits rule (leading blanks and a sign allowed, no
// digits give 0), cut to 16 bits. A text of three characters or fewer gives 0.
qint16 portNumberFromText(const QString& portText);
