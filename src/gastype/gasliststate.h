#pragma once

#include <QtGlobal>

// Process-wide values of the Gas Type dialog. They outlive every opening of the dialog, start at
// 0 and are never reset while the program runs.

// The list row last clicked in the dialog; -1 when the click hit no row.
qint32& SelectedGasRow();

// 1 once the dialog's name box has changed in this run. From then on every save copies the
// dialog's list into UserGasNames.
quint8& GasListEdited();
