#include "gastype/gasliststate.h"

qint32& SelectedGasRow() {
    static qint32 row = 0;
    return row;
}

quint8& GasListEdited() {
    static quint8 edited = 0;
    return edited;
}
