#include "spreadsheet/xls/booklimits.h"

#include "spreadsheet/xls/sheetname.h"

#include <algorithm>

namespace xls {

namespace {

[[noreturn]] void fail(const QString& reason) {
    throw FormatError(reason.toStdString());
}

void checkName(const Sheet& sheet, const Book& book, size_t index) {
    if (const QString problem = sheetNameProblem(sheet.name); !problem.isEmpty()) {
        fail(sheet.name.isEmpty() ? QStringLiteral("Sheet %1 has no name").arg(index + 1)
                                  : problem);
    }
    for (size_t other = 0; other < index; ++other) {
        if (book.sheets[other].name.compare(sheet.name, Qt::CaseInsensitive) == 0) {
            fail(QStringLiteral("Two sheets are named \"%1\"").arg(sheet.name));
        }
    }
}

void checkCells(const Sheet& sheet) {
    for (size_t r = 0; r < sheet.rows.size(); ++r) {
        const auto& row = sheet.rows[r];
        // A row within the limits needs only its texts measured: a sheet has a million cells.
        if (r < static_cast<size_t>(kMaxRows) && row.size() <= static_cast<size_t>(kMaxColumns) &&
            std::all_of(row.begin(), row.end(),
                        [](const QString& text) { return text.size() <= kMaxCellChars; })) {
            continue;
        }
        for (size_t c = 0; c < row.size(); ++c) {
            const QString& text = row[c];
            if (text.isEmpty()) {
                continue;
            }
            if (r >= static_cast<size_t>(kMaxRows)) {
                fail(QStringLiteral("Sheet \"%1\" has more than %2 rows")
                         .arg(sheet.name)
                         .arg(kMaxRows));
            }
            if (c >= static_cast<size_t>(kMaxColumns)) {
                fail(QStringLiteral("Sheet \"%1\" has more than %2 columns (row %3)")
                         .arg(sheet.name)
                         .arg(kMaxColumns)
                         .arg(r + 1));
            }
            if (text.size() > kMaxCellChars) {
                fail(QStringLiteral("Cell %1 of sheet \"%2\" holds %3 characters; a cell holds "
                                    "at most %4")
                         .arg(cellName(static_cast<int>(r), static_cast<int>(c)), sheet.name)
                         .arg(text.size())
                         .arg(kMaxCellChars));
            }
        }
    }
}

} // namespace

QString cellName(int row, int column) {
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26) {
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    }
    return letters + QString::number(row + 1);
}

void checkWritable(const Book& book) {
    if (book.sheets.empty()) {
        fail(QStringLiteral("A workbook needs at least one sheet"));
    }
    for (size_t i = 0; i < book.sheets.size(); ++i) {
        checkName(book.sheets[i], book, i);
        checkCells(book.sheets[i]);
    }
}

} // namespace xls
