#pragma once

#include <QString>
#include <array>

constexpr int kUserGasCount = 30; // codes 81..110
constexpr int kFirstUserGasCode = 81;

// Names of the user gases, entry i naming gas code 81 + i; empty until the parameter workbook
// is read. The application holds one table and hands it to the decoders, the gas name table and
// the Gas Type dialog.
using UserGasNames = std::array<QString, kUserGasCount>;
