#pragma once

#include "model/usergasnames.h"

#include <QtGlobal>

// The Gas Type dialog's values that outlive every opening of the dialog: they start at 0 and
// are never reset while the program runs.
struct GasListState {
    // The list row last clicked in the dialog; -1 when the click hit no row.
    qint32 selectedRow = 0;
    // Set once the dialog's name box has changed in this run. From then on every save copies
    // the dialog's list into the user gas names.
    bool edited = false;
};

// The user gas names and the dialog state that goes with them. The main window holds the one of
// a program run and hands it to the decoders (names), the gas name table and the dialog.
struct UserGases {
    UserGasNames names;
    GasListState list;
};
