#include "spreadsheet/workbook.h"

#include "spreadsheet/rowline.h"
#include "spreadsheet/workbooktexts.h"

using namespace workbooktexts;

namespace {

bool isAsciiLetter(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

int letterValue(QChar c) {
    return c.toUpper().unicode() - u'A' + 1;
}

} // namespace

bool CWorkbook::readRowCells(qint32 row) {
    if (row > rowCount) {
        lastErrorText = kRowBeyondRows;
        return false;
    }
    // Row numbers are never negative; one that is names no row.
    if (row < 0) {
        return false;
    }
    if (row != 0) {
        cursorRow = row;
    } else if (cursorRow > rowCount || cursorRow < 1) {
        return false;
    }
    const QString& line = rowLines[cursorRow - 1];
    ++cursorRow;
    splitLine(line, m_cellViews, m_cellStorage);
    return true;
}

bool CWorkbook::GetRowValues(QStringList& cells, qint32 row) {
    if (!readRowCells(row)) {
        return false;
    }
    cells.clear();
    cells.reserve(static_cast<qsizetype>(m_cellViews.size()));
    for (const QStringView cell : m_cellViews) {
        cells.append(cell.toString());
    }
    return true;
}

bool CWorkbook::GetColumnAt(QStringList& cells, qint16 column) {
    // Negative column numbers are refused like 0: no cell stands there.
    if (column < 1) {
        lastErrorText = kColumnZero;
        return false;
    }
    const qint32 keptCursor = cursorRow;
    cells.clear();
    const size_t at = static_cast<size_t>(column - 1);
    for (qint32 row = 1; row <= rowCount; ++row) {
        if (!readRowCells(row)) {
            cursorRow = keptCursor;
            lastErrorText = kErrorReadingRow;
            return false;
        }
        cells.append(at < m_cellViews.size() ? m_cellViews[at].toString() : QString());
    }
    cursorRow = keptCursor;
    return true;
}

bool CWorkbook::GetColumnByRef(QStringList& cells, const QString& columnRef, bool refIsLetters) {
    const qint16 column = ResolveColumn(columnRef, refIsLetters);
    return column != 0 && GetColumnAt(cells, column);
}

bool CWorkbook::GetCellAt(QString& value, qint16 column, qint32 row) {
    if (column < 1) {
        lastErrorText = kColumnZero;
        return false;
    }
    const qint32 keptCursor = cursorRow;
    if (!readRowCells(row)) {
        cursorRow = keptCursor;
        lastErrorText = kErrorReadingRow;
        return false;
    }
    cursorRow = keptCursor;
    const size_t at = static_cast<size_t>(column - 1);
    if (at < m_cellViews.size()) {
        value = m_cellViews[at].toString();
        return true;
    }
    value.clear();
    return false;
}

bool CWorkbook::GetCellByRef(QString& value, const QString& columnRef, qint32 row,
                             bool refIsLetters) {
    const qint16 column = ResolveColumn(columnRef, refIsLetters);
    return column != 0 && GetCellAt(value, column, row);
}

qint16 CWorkbook::ResolveColumn(const QString& columnRef, bool refIsLetters) {
    QString name = columnRef;
    if (refIsLetters) {
        if (columnRef.size() == 1 || columnRef.size() == 2) {
            // Only the letters A to Z name columns; anything else in a one- or two-character
            // reference resolves to no column rather than to a made-up number.
            if (!std::all_of(columnRef.begin(), columnRef.end(), isAsciiLetter)) {
                lastErrorText = kInvalidColumn;
                return 0;
            }
            if (columnRef.size() == 1) {
                return static_cast<qint16>(letterValue(columnRef[0]));
            }
            return static_cast<qint16>(letterValue(columnRef[0]) * 26 + letterValue(columnRef[1]));
        }
        name = columnRef.toUpper();
    }
    const qsizetype index = fieldNames.indexOf(name);
    if (index < 0 || index >= 32767) {
        lastErrorText = kInvalidColumn;
        return 0;
    }
    return static_cast<qint16>(index + 1);
}
