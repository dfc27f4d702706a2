#include "gastype/gasnametable.h"

#include "spreadsheet/workbook.h"
#include "spreadsheet/workbooklock.h"

namespace {

const QString kSheet = QStringLiteral("GasType");
constexpr qint32 kFirstNameRow = 2;
// Entries the dialog's save touches in memory: the 21 stored ones and entry 21 (code 102),
// which a save empties although it is never written.
constexpr int kSavedEntries = 22;

} // namespace

QString defaultParameterWorkbook() {
    return QStringLiteral("parameter1.xls");
}

StoredGasNames LoadUserGasNames(const QString& workbookPath, UserGasNames& table) {
    // Opening may write (the first backup sheet), so it takes turns with the other copies'
    // saves; without the lock it only reads.
    WorkbookLock lock(workbookPath);
    QString lockFailure;
    const bool mayWrite = lock.acquire(lockFailure);
    CWorkbook book(workbookPath, kSheet, mayWrite);
    book.HoldWrites();

    StoredGasNames names;
    for (int i = 0; i < kStoredGasNames; ++i) {
        QString value;
        if (!book.GetCellByRef(value, QStringLiteral("B"), kFirstNameRow + i, true)) {
            value.clear();
        }
        names[i] = value;
    }
    for (int i = 0; i < kStoredGasNames; ++i) {
        table[i] = names[i];
    }

    // Nothing changed: a loaded sheet goes back as it was read, and without a sheet there is
    // no header, so nothing is written and there is no result worth looking at.
    if (mayWrite) {
        (void)book.WriteBack();
    }
    return names;
}

bool SaveGasList(const QStringList& listNames, const QString& workbookPath, UserGases& gases,
                 QString* failure) {
    const auto nameAt = [&](int r) {
        return r < listNames.size() ? listNames[r] : QString();
    };

    if (gases.list.edited) {
        for (int r = 0; r < kSavedEntries; ++r) {
            gases.names[r] = r < kGasListRows ? nameAt(r) : QString();
        }
    }

    // Another copy of the program saving at the same moment would otherwise overwrite this
    // save with the workbook as it read it.
    WorkbookLock lock(workbookPath);
    if (QString failure; !lock.acquire(failure)) {
        throw WorkbookLockError(failure.toStdString());
    }

    CWorkbook book(workbookPath, kSheet, true);
    book.HoldWrites();
    // Names equal to those stored change nothing, and a write that changes nothing does not
    // happen: a workbook of another program that lacks the numbering rows stays as it is.
    bool sameNames = true;
    for (int n = 1; n <= kStoredGasNames && sameNames; ++n) {
        QString stored;
        if (!book.GetCellByRef(stored, QStringLiteral("B"), n + 1, true)) {
            stored.clear();
        }
        sameNames = stored == (n <= kGasListRows ? nameAt(n - 1) : QString());
    }
    if (sameNames) {
        return true;
    }
    // A workbook written before keeps its header (reported as a duplicate, nothing changed).
    book.SetHeaderRow({QStringLiteral("Number"), QStringLiteral("Gas Type")}, false);
    for (int n = 1; n <= kStoredGasNames; ++n) {
        const QString name = n <= kGasListRows ? nameAt(n - 1) : QString();
        book.PutRow({QString::number(n), name}, n + 1, true);
    }
    if (book.WriteBack()) {
        return true;
    }
    if (failure) {
        *failure = book.lastError().trimmed();
    }
    return false;
}
