#include "spreadsheet/xls/readbudget.h"

#include <QString>

namespace xls {

ReadBudget::ReadBudget(qsizetype streamBytes, qsizetype maxSlots)
    : slotsLeft(std::min(maxSlots, kBudgetFixedSlots + kBudgetSlotsPerStreamByte * streamBytes)),
      sheetBytesLeft(streamBytes) {}

void ReadBudget::chargeSlots(qsizetype count) {
    if (count > slotsLeft)
        throw FormatError("The workbook is too large to load (its cells would take far more "
                          "memory than a workbook of its size can hold)");
    slotsLeft -= count;
}

void ReadBudget::chargeSheetBytes(qsizetype count) {
    if (count > sheetBytesLeft)
        throw FormatError("The file is damaged (sheets overlap one another)");
    sheetBytesLeft -= count;
}

void ReadBudget::countSheet() {
    if (--sheetsLeft < 0)
        throw FormatError(QStringLiteral("The workbook has more than %1 sheets, more than "
                                         "a spreadsheet program opens")
                              .arg(kMaxSheets)
                              .toStdString());
}

} // namespace xls
