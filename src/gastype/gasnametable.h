#pragma once

#include "gastype/gasliststate.h"

#include <QString>
#include <QStringList>
#include <array>

// The user gas names on disk: the parameter workbook, sheet "GasType", header "Number" and
// "Gas Type", rows 2-22 holding the names of gas codes 81-101 in column B.

constexpr int kGasListRows = 20;    // codes 81-100, shown and edited in the dialog
constexpr int kStoredGasNames = 21; // codes 81-101, rows 2-22 of the sheet

// "parameter1.xls", relative to the current working directory.
QString defaultParameterWorkbook();

using StoredGasNames = std::array<QString, kStoredGasNames>;

// Reads column B of rows 2-22 into entries 0-20 of names (a missing cell gives an empty name)
// and returns the 21 texts. A missing workbook gives 21 empty names and creates nothing.
// Throws WorkbookConnectError when the file exists but cannot be read as a workbook; no entry
// is changed then.
StoredGasNames LoadUserGasNames(const QString& workbookPath, UserGasNames& names);

// Writes the dialog's names (listNames[r] is the name of code 81 + r; missing entries are
// empty) to rows 2-22 and, when the dialog's list was edited, into entries 0-21 of the user gas
// names first. Row 22 always receives an empty name. Returns whether the workbook reached the
// disk (or already held the names); otherwise `failure`, when given, says why in words for the
// user. Throws WorkbookConnectError like LoadUserGasNames, and WorkbookLockError when another
// copy of the program keeps the workbook locked.
[[nodiscard]] bool SaveGasList(const QStringList& listNames, const QString& workbookPath,
                               UserGases& gases, QString* failure = nullptr);
