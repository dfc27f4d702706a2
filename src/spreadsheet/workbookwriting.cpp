#include "spreadsheet/workbook.h"

#include "spreadsheet/rowline.h"
#include "spreadsheet/safefilewrite.h"
#include "spreadsheet/sqlquote.h"
#include "spreadsheet/textfilecodec.h"
#include "spreadsheet/textscan.h"
#include "spreadsheet/workbookstore.h"
#include "spreadsheet/workbooktexts.h"

#include <QHash>

using namespace workbooktexts;

namespace {

// "[field]='value'" for each value in turn, the field names taken by position.
void appendFieldValuePairs(QString& text, const QStringList& fields, const QStringList& values,
                           QLatin1String separator) {
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i > 0) {
            text.append(separator);
        }
        text.append(QLatin1Char('['));
        sqlquote::appendNameText(text, fields.value(i));
        text.append(QLatin1String("]='"));
        sqlquote::appendValueText(text, values[i]);
        text.append(QLatin1Char('\''));
    }
}

// Fills a text in place up to a size known in advance not to be exceeded, then cuts it to
// what was written: a write-back builds one INSERT per row, and appending piece by piece
// cost more than carrying the statements out.
class TextFiller {
public:
    TextFiller(QString& text, qsizetype atMost) : m_text(text) {
        text.resize(atMost);
        m_begin = m_out = reinterpret_cast<char16_t*>(text.data());
    }
    ~TextFiller() { m_text.truncate(m_out - m_begin); }
    TextFiller(const TextFiller&) = delete;
    TextFiller& operator=(const TextFiller&) = delete;

    void put(QStringView text) { m_out = textscan::copy(text.utf16(), text.size(), m_out); }
    void put(QLatin1StringView text) {
        for (const char c : text) {
            *m_out++ = static_cast<unsigned char>(c);
        }
    }
    void put(char16_t c) { *m_out++ = c; }
    // The text with every `special` character doubled: the quoting of names and texts.
    void putDoubling(QStringView text, char16_t special) {
        const char16_t* from = text.utf16();
        const char16_t* const end = from + text.size();
        for (;;) {
            const char16_t* const hit = textscan::find(from, end, special);
            m_out = textscan::copy(from, hit - from, m_out);
            if (hit == end) {
                return;
            }
            *m_out++ = special;
            *m_out++ = special;
            from = hit + 1;
        }
    }
    void putNumber(qint32 number) {
        char digits[12];
        int count = 0;
        do {
            digits[count++] = char('0' + number % 10);
            number /= 10;
        } while (number > 0);
        while (count > 0) {
            *m_out++ = static_cast<char16_t>(digits[--count]);
        }
    }
    void chop(qsizetype count) { m_out -= std::min<qsizetype>(count, m_out - m_begin); }

private:
    QString& m_text;
    char16_t* m_begin;
    char16_t* m_out;
};

// Builds the INSERT of each data row of a write-back:
//   INSERT INTO [S$A1:IVn] ([F1], [F2], ..., [Fk]) VALUES ('w1', 'w2', ..., 'wk')
// with n the row above the new one and k the row's cells. The quoted sheet and column names
// are made once: a write-back sends one INSERT per row.
class InsertBuilder {
public:
    InsertBuilder(const QString& sheet, const QStringList& fields) {
        m_head = QStringLiteral("INSERT INTO [");
        sqlquote::appendNameText(m_head, sheet);
        m_head.append(QLatin1String("$A1:IV"));
        m_namesEnd.reserve(static_cast<size_t>(fields.size()) + 1);
        m_namesEnd.push_back(0);
        for (const QString& name : fields) {
            m_names.append(QLatin1Char('['));
            sqlquote::appendNameText(m_names, name);
            m_names.append(QLatin1String("], "));
            m_namesEnd.push_back(m_names.size());
        }
    }

    // `cells` are views into `line`, the row's line.
    void build(QString& statement, qint32 lastRow, QStringView line,
               const std::vector<QStringView>& cells) const {
        // Most rows hold no single quote, and their texts go into the statement as they are.
        const char16_t* const lineEnd = line.utf16() + line.size();
        const bool quotesInRow = textscan::find(line.utf16(), lineEnd, u'\'') != lineEnd;
        const size_t named = std::min(cells.size(), m_namesEnd.size() - 1);
        // The cells are parts of the line, so their texts take at most twice its length.
        const qsizetype atMost = m_head.size() + 16 + m_namesEnd[named] +
                                 8 * qsizetype(cells.size()) + 2 * line.size() + 12;
        TextFiller text(statement, atMost);
        text.put(m_head);
        text.putNumber(lastRow);
        text.put(QLatin1StringView("] ("));
        text.put(QStringView(m_names).first(m_namesEnd[named]));
        // A row with more cells than names lists the extra ones without a name, and the store
        // refuses the statement.
        for (size_t extra = named; extra < cells.size(); ++extra) {
            text.put(QLatin1StringView("[], "));
        }
        text.chop(2);
        text.put(QLatin1StringView(") VALUES ("));
        for (const QStringView cell : cells) {
            text.put(u'\'');
            if (quotesInRow) {
                text.putDoubling(cell, u'\'');
            } else {
                text.put(cell);
            }
            text.put(u'\'');
            text.put(u',');
            text.put(u' ');
        }
        text.chop(2);
        text.put(u')');
    }

private:
    QString m_head;                    // up to the row number
    QString m_names;                   // "[F1], [F2], ... "
    std::vector<qsizetype> m_namesEnd; // where the first k names end in `names`
};

// The first name, in column order, that another position repeats (exact, case-sensitive).
bool findFirstDuplicate(const QStringList& names, QString& duplicate) {
    QHash<QString, int> counts;
    counts.reserve(names.size());
    for (const QString& name : names) {
        ++counts[name];
    }
    for (const QString& name : names) {
        if (counts.value(name) > 1) {
            duplicate = name;
            return true;
        }
    }
    return false;
}

// The column list of a CREATE TABLE, every field a text column, and its closing bracket.
void appendColumnList(QString& statement, const QStringList& fieldNames) {
    for (const QString& name : fieldNames) {
        statement.append(QLatin1Char('['));
        sqlquote::appendNameText(statement, name);
        statement.append(QLatin1String("] char(255), "));
    }
    statement.chop(2);
    statement.append(QLatin1Char(')'));
}

} // namespace

void CWorkbook::placeRowLine(const QString& line, qint32 row, bool replace) {
    if (row >= 1 && row <= rowCount) {
        if (replace) {
            rowLines[row - 1] = line;
        } else {
            rowLines.insert(row - 1, line);
            ++rowCount;
        }
    } else if (row > rowCount) {
        const QString blank = blankRowLine();
        for (qint32 filler = rowCount + 1; filler < row; ++filler) {
            rowLines.append(blank);
        }
        rowLines.append(line);
        rowCount = row;
        cursorRow = row;
    } else {
        rowLines.append(line);
        ++rowCount;
    }
}

bool CWorkbook::PutRow(const QStringList& values, qint32 row, bool replace) {
    if (row < 0 || refuseUnkeptValues(values)) {
        return false;
    }
    if (row == 1) {
        if (excelMode) {
            QString duplicate;
            if (findFirstDuplicate(values, duplicate)) {
                lastErrorText = duplicateField(duplicate);
                return false;
            }
            if (values.size() < columnCount) {
                lastErrorText = kHeaderShorter;
                return false;
            }
            columnCount = static_cast<qint16>(std::min<qsizetype>(values.size(), 32767));
        }
        fieldNames = values;
    } else if (excelMode && columnCount == 0) {
        lastErrorText = kNoHeaderRow;
        return false;
    }

    if (excelMode) {
        if (values.size() > fieldNames.size()) {
            lastErrorText = kMoreValuesThanFields;
            return false;
        }
    } else if (values.size() > columnCount) {
        columnCount = static_cast<qint16>(std::min<qsizetype>(values.size(), 32767));
    }

    placeRowLine(rowline::build(values, separator, m_lineForm), row, replace);
    if (!writesHeld) {
        writeBackUnheld();
    }
    return true;
}

bool CWorkbook::SetHeaderRow(const QStringList& fields, bool replace) {
    if (refuseUnkeptValues(fields)) {
        return false;
    }
    if (!sheetExists) {
        columnCount = static_cast<qint16>(std::min<qsizetype>(fields.size(), 32767));
        return PutRow(fields, 1, true);
    }
    if (replace) {
        return PutRow(fields, 1, true);
    }

    if (!GetRowValues(scratchRow, 1)) {
        return false;
    }
    if (excelMode) {
        for (const QString& field : fields) {
            if (scratchRow.contains(field)) {
                lastErrorText = duplicateField(field);
                return false;
            }
        }
    }
    scratchRow.append(fields);
    if (!PutRow(scratchRow, 1, true)) {
        lastErrorText = kProblemsAddingHeaders;
        return false;
    }
    if (scratchRow.size() > columnCount) {
        columnCount = static_cast<qint16>(std::min<qsizetype>(scratchRow.size(), 32767));
    }
    return true;
}

bool CWorkbook::PutCellByRef(const QString& value, const QString& columnRef, qint32 row,
                             bool refIsLetters) {
    const qint16 column = ResolveColumn(columnRef, refIsLetters);
    return column != 0 && PutCellAt(value, column, row);
}

bool CWorkbook::PutCellAt(const QString& value, qint16 column, qint32 row) {
    // Negative column numbers are refused like 0: no cell stands there.
    if (column < 1) {
        lastErrorText = kColumnZero;
        return false;
    }
    if (row < 0 || refuseUnkeptValues(QStringList{value})) {
        return false;
    }
    if (excelMode) {
        if (column > fieldNames.size() + 1) {
            lastErrorText = kCellBeyondFields;
            return false;
        }
    } else if (column > columnCount) {
        columnCount = column;
    }

    if (row >= 1 && row <= rowCount) {
        if (!GetRowValues(scratchRow, row)) {
            return false;
        }
        while (scratchRow.size() < column) {
            scratchRow.append(QString());
        }
        scratchRow[column - 1] = value;
        if (row == 1) {
            QString duplicate;
            if (excelMode && findFirstDuplicate(scratchRow, duplicate)) {
                lastErrorText = duplicateField(duplicate);
                return false;
            }
            fieldNames = scratchRow;
        }
        return PutRow(scratchRow, row, true);
    }

    // A new row of blank cells, the value in its column (a column beyond them leaves it out).
    std::vector<QStringView> cells(static_cast<size_t>(columnCount), blankCell());
    if (column <= columnCount) {
        cells[static_cast<size_t>(column - 1)] = value;
    }
    scratchText = rowline::build(cells.data(), qsizetype(cells.size()), separator, m_lineForm);
    placeRowLine(scratchText, row, false);
    if (!writesHeld) {
        writeBackUnheld();
    }
    return true;
}

void CWorkbook::writeBackUnheld() {
    // Without HoldWrites every change goes to the file at once, and the change itself counts
    // as made: it stays in memory for a later WriteBack, and a failed write leaves its reason
    // in lastError().
    (void)WriteBack();
}

bool CWorkbook::WriteBack() {
    return excelMode ? writeBackExcel() : writeBackText();
}

bool CWorkbook::writeBackText() {
    QString failure;
    if (!safefilewrite::replaceFile(filePath, textfilecodec::encodeLines(rowLines), failure)) {
        lastErrorText = kErrorWritingFile;
        return false;
    }
    writesHeld = false;
    return true;
}

bool CWorkbook::rowsChangedSinceStored() const {
    if (rowLines.size() != m_storedRowLines.size()) {
        return true;
    }
    for (qsizetype i = 0; i < rowLines.size(); ++i) {
        const QString& now = rowLines[i];
        const QString& stored = m_storedRowLines[i];
        // An unchanged line is the stored line itself, shared rather than compared.
        if (now.constData() != stored.constData() && now != stored) {
            return true;
        }
    }
    return false;
}

bool CWorkbook::writeBackupSheet() {
    statementText = QStringLiteral("SELECT * FROM ");
    appendSheetRange(statementText, kBackupSheet);
    try {
        // A workbook that has the backup sheet keeps it: the copy is made once per workbook.
        if (database->openForwardOnly(statementText)->columnCount() > 0) {
            keepBackup = false;
            return true;
        }
    } catch (const WorkbookStatementError&) {
    }
    statementText = QStringLiteral("CREATE TABLE [");
    sqlquote::appendNameText(statementText, kBackupSheet);
    statementText.append(QLatin1String("] ("));
    appendColumnList(statementText, m_storedFieldNames);
    if (!sendStatement()) {
        return false;
    }
    const InsertBuilder inserts(kBackupSheet, m_storedFieldNames);
    std::vector<QStringView> cells;
    std::vector<QString> storage;
    for (qsizetype row = 1; row < m_storedRowLines.size(); ++row) {
        if (!m_loadedEmptyRowLine.isNull() &&
            m_storedRowLines[row].constData() == m_loadedEmptyRowLine.constData()) {
            continue;
        }
        splitLine(m_storedRowLines[row], cells, storage);
        inserts.build(statementText, static_cast<qint32>(row), m_storedRowLines[row], cells);
        if (!sendStatement()) {
            return false;
        }
    }
    return true;
}

bool CWorkbook::writeBackExcel() {
    // A write that changes nothing does not happen.
    if (sheetExists && !m_storedFieldNames.isEmpty() && !rowsChangedSinceStored()) {
        writesHeld = false;
        return true;
    }
    database->connect(connectText);
    if (m_backupPending && sheetExists && rowsChangedSinceStored()) {
        // The first real change: the backup sheet goes into the same file write as the change.
        m_backupPending = false;
        if (!writeBackupSheet()) {
            // A refused statement closed the connection without keeping anything; the sheet's
            // own write-back goes on without the copy.
            keepBackup = false;
            database->connect(connectText);
        }
    }
    if (sheetExists) {
        statementText = QStringLiteral("DROP TABLE ");
        appendSheetRange(statementText, sheetName);
        if (!sendStatement()) {
            return false;
        }
    }

    // Names and texts are quoted in every statement (a doubled ']' or '''): unquoted, a gas
    // name such as Methyl's or a field name holding ']' made the store refuse the statement
    // and the write-back lose the sheet.
    if (sheetExists) {
        statementText = QStringLiteral("CREATE TABLE ");
        appendSheetRange(statementText, sheetName);
        statementText.append(QLatin1String(" ("));
    } else {
        statementText = QStringLiteral("CREATE TABLE [");
        sqlquote::appendNameText(statementText, sheetName);
        statementText.append(QLatin1String("] ("));
    }
    appendColumnList(statementText, fieldNames);
    if (!sendStatement()) {
        return false;
    }

    const InsertBuilder inserts(sheetName, fieldNames);
    for (qint32 row = 2; row <= rowCount; ++row) {
        if (!m_loadedEmptyRowLine.isNull() &&
            rowLines[row - 1].constData() == m_loadedEmptyRowLine.constData()) {
            continue;
        }
        readRowCells(row);
        inserts.build(statementText, row - 1, rowLines[row - 1], m_cellViews);
        if (!sendStatement()) {
            return false;
        }
    }

    // The store keeps the connection's changes only now; a sheet it could not write was not
    // created, so the object stays a new sheet and the next write-back creates it again.
    if (!disconnectStore()) {
        return false;
    }
    if (!sheetExists) {
        columnCount = static_cast<qint16>(std::min<qsizetype>(fieldNames.size(), 32767));
        sheetExists = true;
    }
    m_storedRowLines = rowLines;
    m_storedFieldNames = fieldNames;
    writesHeld = false;
    return true;
}

bool CWorkbook::UpdateMatchingRows(const QStringList& newValues, const QStringList& oldValues) {
    if (!excelMode) {
        lastErrorText = kNotForTextFiles;
        return false;
    }
    database->connect(connectText);
    statementText = QStringLiteral("UPDATE [");
    sqlquote::appendNameText(statementText, sheetName);
    statementText.append(QLatin1String("] SET "));
    appendFieldValuePairs(statementText, fieldNames, newValues, QLatin1String(", "));
    statementText.append(QLatin1String(" WHERE ("));
    appendFieldValuePairs(statementText, fieldNames, oldValues, QLatin1String(" AND "));
    // The condition keeps the blank before its closing bracket that this statement has always had.
    statementText.append(QLatin1String(" )"));
    if (!sendStatement()) {
        return false;
    }
    if (!disconnectStore()) {
        return false;
    }
    LoadSheet();
    return true;
}
