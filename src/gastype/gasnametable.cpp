#include "gastype/gasnametable.h"

#include "spreadsheet/workbook.h"

namespace {

const QString kSheet = QStringLiteral("GasType");
constexpr qint32 kFirstNameRow = 2;
// Entries the dialog's save touches in memory: the 21 stored ones and entry 21 (code 102),
// which a save empties although it is never written.
constexpr int kSavedEntries = 22;

} // namespace

QString DefaultParameterWorkbook() {
    return QStringLiteral("parameter1.xls");
}

StoredGasNames LoadUserGasNames(const QString& workbookPath, UserGasNames& table) {
    CWorkbook book(workbookPath, kSheet, true);
    book.HoldWrites();

    StoredGasNames names;
    for (int i = 0; i < kStoredGasNames; ++i) {
        QString value;
        if (!book.GetCellByRef(value, QStringLiteral("B"), kFirstNameRow + i, true))
            value.clear();
        names[i] = value;
    }
    for (int i = 0; i < kStoredGasNames; ++i)
        table[i] = names[i];

    // Nothing changed: a loaded sheet goes back as it was read, and without a sheet there is
    // no header, so nothing is written and there is no result worth looking at.
    (void)book.WriteBack();
    return names;
}

bool SaveGasList(const QStringList& listNames, const QString& workbookPath, UserGases& gases) {
    const auto nameAt = [&](int r) {
        return r < listNames.size() ? listNames[r] : QString();
    };

    if (gases.list.edited) {
        for (int r = 0; r < kSavedEntries; ++r)
            gases.names[r] = r < kGasListRows ? nameAt(r) : QString();
    }

    CWorkbook book(workbookPath, kSheet, true);
    book.HoldWrites();
    // A workbook written before keeps its header (reported as a duplicate, nothing changed).
    book.SetHeaderRow({QStringLiteral("Number"), QStringLiteral("Gas Type")}, false);
    for (int n = 1; n <= kStoredGasNames; ++n) {
        const QString name = n <= kGasListRows ? nameAt(n - 1) : QString();
        book.PutRow({QString::number(n), name}, n + 1, true);
    }
    return book.WriteBack();
}
