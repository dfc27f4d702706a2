#include "spreadsheet/xls/readbudget.h"

#include <QString>

namespace xls {

ReadBudget::ReadBudget(qsizetype streamBytes, qsizetype maxSlots)
    : m_slotsLeft(std::min(maxSlots, kBudgetFixedSlots + kBudgetSlotsPerStreamByte * streamBytes)),
      m_sheetBytesLeft(streamBytes) {}

void ReadBudget::chargeSlots(qsizetype count) {
    if (count > m_slotsLeft) {
        throw FormatError("The workbook is too large to load (its cells would take far more "
                          "memory than a workbook of its size can hold)");
    }
    m_slotsLeft -= count;
}

void ReadBudget::failOverlappingSheets() {
    throw FormatError("The file is damaged (sheets overlap one another)");
}

void ReadBudget::countSheet() {
    if (--m_sheetsLeft < 0) {
        throw FormatError(QStringLiteral("The workbook has more than %1 sheets, more than "
                                         "a spreadsheet program opens")
                              .arg(kMaxSheets)
                              .toStdString());
    }
}

} // namespace xls
