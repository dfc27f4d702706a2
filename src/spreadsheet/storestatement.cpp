#include "spreadsheet/storestatement.h"

#include "spreadsheet/textscan.h"

#include <cstring>

namespace {

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

// Reads a statement from left to right. Scans with plain pointers: a write-back hands the store
// one INSERT of some four hundred characters per row.
class StatementReader {
public:
    StatementReader(QStringView text, int& detours)
        : m_begin(text.utf16()), m_at(m_begin), m_end(m_begin + text.size()), m_detours(detours) {}

    void skipBlanks() {
        while (m_at != m_end && isBlank(*m_at)) {
            ++m_at;
        }
    }

    // Skips `text` when it follows at the current position, as it is.
    bool skipVerbatim(QStringView text) {
        skipBlanks();
        const size_t size = static_cast<size_t>(text.size());
        if (size == 0 || size_t(m_end - m_at) < size ||
            std::memcmp(m_at, text.utf16(), size * sizeof(char16_t)) != 0) {
            return false;
        }
        m_at += size;
        return true;
    }

    bool atEnd() {
        skipBlanks();
        return m_at == m_end;
    }

    bool keyword(QLatin1StringView word) {
        skipBlanks();
        if (m_end - m_at < word.size()) {
            return false;
        }
        // Keywords are ASCII: folding the case of ASCII letters is enough, and cheap.
        for (qsizetype i = 0; i < word.size(); ++i) {
            char16_t c = m_at[i];
            if (c >= u'a' && c <= u'z') {
                c = char16_t(c - u'a' + u'A');
            }
            if (c != char16_t(word[i].toLatin1())) {
                return false;
            }
        }
        const char16_t* end = m_at + word.size();
        if (end != m_end && isWordChar(QChar(*end))) {
            return false;
        }
        m_at = end;
        return true;
    }

    bool symbol(char16_t c) {
        if (!isAt(c)) {
            ++m_detours;
            skipBlanks();
            if (!isAt(c)) {
                return false;
            }
        }
        ++m_at;
        return true;
    }

    // The comma between the items of a list; the statements of a write-back put exactly one
    // blank after it, which is taken without the general scan, and end the list with ')'.
    bool listSeparator() {
        if (m_end - m_at >= 2 && m_at[0] == u',' && m_at[1] == u' ') {
            m_at += 2;
            return true;
        }
        if (isAt(u')')) {
            return false;
        }
        return symbol(u',');
    }

    // Text between an opening and a closing character, the closing one doubled inside.
    // Always inline: it reads every name and text of a statement, and a call costs as much.
    [[gnu::always_inline]] bool enclosed(char16_t open, char16_t close, QStringView& inside,
                                         bool* doubled = nullptr) {
        if (!isAt(open)) {
            ++m_detours;
            skipBlanks();
            if (!isAt(open)) {
                return false;
            }
        }
        const char16_t* const start = m_at + 1;
        const char16_t* at = start;
        for (;;) {
            at = textscan::find(at, m_end, close);
            if (at == m_end) {
                return false;
            }
            if (at + 1 == m_end || at[1] != close) {
                break;
            }
            at += 2;
            if (doubled) {
                *doubled = true;
            }
        }
        inside = QStringView(start, at);
        m_at = at + 1;
        return true;
    }

    bool name(QStringView& inside) { return enclosed(u'[', u']', inside); }
    bool text(QStringView& inside, bool* doubled = nullptr) {
        return enclosed(u'\'', u'\'', inside, doubled);
    }

    bool number(int& value) {
        skipBlanks();
        const char16_t* end = m_at;
        while (end != m_end && QChar(*end).isDigit() && end - m_at < 9) {
            ++end;
        }
        if (end == m_at) {
            return false;
        }
        value = QStringView(m_at, end).toInt();
        m_at = end;
        return true;
    }

    qsizetype position() const { return m_at - m_begin; }
    QStringView sliceFrom(qsizetype start) const { return QStringView(m_begin + start, m_at); }

    QString expected(const char* what) {
        skipBlanks();
        const QStringView near(m_at, std::min<qsizetype>(20, m_end - m_at));
        if (near.isEmpty()) {
            return QStringLiteral("Syntax error: %1 expected at the end of the statement")
                .arg(QLatin1StringView(what));
        }
        return QStringLiteral("Syntax error: %1 expected at \"%2\"")
            .arg(QLatin1StringView(what), near);
    }

private:
    bool isAt(char16_t c) const { return m_at != m_end && *m_at == c; }

    static bool isBlank(char16_t c) {
        if (c > u' ') {
            return c >= 0x80 && QChar(c).isSpace();
        }
        return c == u' ' || (c >= u'\t' && c <= u'\r');
    }

    const char16_t* m_begin;
    const char16_t* m_at;
    const char16_t* m_end;
    int& m_detours;
};

bool parseNameList(StatementReader& reader, StoreStatement& statement, QString& error) {
    do {
        QStringView column;
        if (!reader.name(column)) {
            error = reader.expected("a column name in brackets");
            return false;
        }
        statement.columns.push_back(column);
    } while (reader.listSeparator());
    return true;
}

bool parseTextList(StatementReader& reader, std::vector<QStringView>& values, bool& doubled,
                   QString& error) {
    do {
        QStringView value;
        if (!reader.text(value, &doubled)) {
            error = reader.expected("a text in single quotes");
            return false;
        }
        values.push_back(value);
    } while (reader.listSeparator());
    return true;
}

bool parseAssignments(StatementReader& reader, QLatin1StringView joiner,
                      std::vector<QStringView>& columns, std::vector<QStringView>& values,
                      QString& error) {
    do {
        QStringView column;
        QStringView value;
        if (!reader.name(column)) {
            error = reader.expected("a column name in brackets");
            return false;
        }
        if (!reader.symbol(u'=')) {
            error = reader.expected("'='");
            return false;
        }
        if (!reader.text(value)) {
            error = reader.expected("a text in single quotes");
            return false;
        }
        columns.push_back(column);
        values.push_back(value);
    } while (joiner == QLatin1StringView(",") ? reader.symbol(u',') : reader.keyword(joiner));
    return true;
}

bool parseCreateColumns(StatementReader& reader, StoreStatement& statement, QString& error) {
    if (!reader.symbol(u'(')) {
        error = reader.expected("'('");
        return false;
    }
    do {
        QStringView column;
        int width = 0;
        if (!reader.name(column)) {
            error = reader.expected("a column name in brackets");
            return false;
        }
        if (!reader.keyword(QLatin1StringView("CHAR")) || !reader.symbol(u'(') ||
            !reader.number(width) || !reader.symbol(u')')) {
            error = reader.expected("a column type char(n)");
            return false;
        }
        statement.columns.push_back(column);
        statement.widths.push_back(width);
    } while (reader.symbol(u','));
    if (!reader.symbol(u')')) {
        error = reader.expected("')'");
        return false;
    }
    return true;
}

bool parseInsert(StatementReader& reader, StoreStatement& statement, QStringView knownColumnList,
                 QString& error) {
    reader.skipBlanks();
    const qsizetype listStart = reader.position();
    // The INSERTs of a write-back name the same columns one after the other: a list equal to
    // the one the caller already knows is not taken apart again.
    if (reader.skipVerbatim(knownColumnList)) {
        statement.columnList = reader.sliceFrom(listStart);
        statement.columnsKnown = true;
    } else if (!reader.symbol(u'(')) {
        error = reader.expected("'('");
        return false;
    } else {
        if (!parseNameList(reader, statement, error)) {
            return false;
        }
        if (!reader.symbol(u')')) {
            error = reader.expected("')'");
            return false;
        }
        statement.columnList = reader.sliceFrom(listStart);
    }
    if (!reader.keyword(QLatin1StringView("VALUES"))) {
        error = reader.expected("VALUES");
        return false;
    }
    if (!reader.symbol(u'(')) {
        error = reader.expected("'('");
        return false;
    }
    if (!parseTextList(reader, statement.values, statement.valuesHoldQuotes, error)) {
        return false;
    }
    if (!reader.symbol(u')')) {
        error = reader.expected("')'");
        return false;
    }
    return true;
}

bool parseUpdate(StatementReader& reader, StoreStatement& statement, QString& error) {
    if (!reader.keyword(QLatin1StringView("SET"))) {
        error = reader.expected("SET");
        return false;
    }
    if (!parseAssignments(reader, QLatin1StringView(","), statement.columns, statement.values,
                          error)) {
        return false;
    }
    if (!reader.keyword(QLatin1StringView("WHERE"))) {
        error = reader.expected("WHERE");
        return false;
    }
    const bool parenthesised = reader.symbol(u'(');
    if (!parseAssignments(reader, QLatin1StringView("AND"), statement.whereColumns,
                          statement.whereValues, error)) {
        return false;
    }
    if (parenthesised && !reader.symbol(u')')) {
        error = reader.expected("')'");
        return false;
    }
    return true;
}

int columnNumber(QStringView letters) {
    int column = 0;
    for (QChar c : letters) {
        column = column * 26 + (c.toUpper().unicode() - u'A' + 1);
    }
    return column;
}

// "A1" style: one to three letters, then a row number without sign.
bool parseCell(QStringView cell, int& column, int& row) {
    qsizetype letters = 0;
    while (letters < cell.size() && letters < 3 &&
           ((cell[letters] >= u'A' && cell[letters] <= u'Z') ||
            (cell[letters] >= u'a' && cell[letters] <= u'z'))) {
        ++letters;
    }
    const QStringView digits = cell.sliced(letters);
    if (letters == 0 || digits.isEmpty() || digits.size() > 7) {
        return false;
    }
    row = 0;
    for (QChar c : digits) {
        if (c.unicode() < u'0' || c.unicode() > u'9') {
            return false;
        }
        row = row * 10 + (c.unicode() - u'0');
    }
    column = columnNumber(cell.first(letters));
    return row > 0;
}

} // namespace

bool parseStoreStatement(QStringView text, StoreStatement& statement, QString& error,
                         QStringView knownColumnList) {
    statement.table = {};
    statement.columnList = {};
    statement.columnsKnown = false;
    statement.valuesHoldQuotes = false;
    statement.columns.clear();
    statement.widths.clear();
    statement.values.clear();
    statement.whereColumns.clear();
    statement.whereValues.clear();
    statement.detours = 0;

    StatementReader reader(text, statement.detours);
    auto table = [&]() {
        if (reader.name(statement.table)) {
            return true;
        }
        error = reader.expected("a table name in brackets");
        return false;
    };

    bool ok = false;
    if (reader.keyword(QLatin1StringView("SELECT"))) {
        statement.kind = StatementKind::Select;
        if (!reader.symbol(u'*') || !reader.keyword(QLatin1StringView("FROM"))) {
            error = reader.expected("* FROM");
            return false;
        }
        ok = table();
    } else if (reader.keyword(QLatin1StringView("DROP"))) {
        statement.kind = StatementKind::DropTable;
        if (!reader.keyword(QLatin1StringView("TABLE"))) {
            error = reader.expected("TABLE");
            return false;
        }
        ok = table();
    } else if (reader.keyword(QLatin1StringView("CREATE"))) {
        statement.kind = StatementKind::CreateTable;
        if (!reader.keyword(QLatin1StringView("TABLE"))) {
            error = reader.expected("TABLE");
            return false;
        }
        ok = table() && parseCreateColumns(reader, statement, error);
    } else if (reader.keyword(QLatin1StringView("INSERT"))) {
        statement.kind = StatementKind::InsertInto;
        if (!reader.keyword(QLatin1StringView("INTO"))) {
            error = reader.expected("INTO");
            return false;
        }
        ok = table() && parseInsert(reader, statement, knownColumnList, error);
    } else if (reader.keyword(QLatin1StringView("UPDATE"))) {
        statement.kind = StatementKind::Update;
        ok = table() && parseUpdate(reader, statement, error);
    } else {
        error = reader.expected("SELECT, DROP TABLE, CREATE TABLE, INSERT INTO or UPDATE");
        return false;
    }
    if (!ok) {
        return false;
    }
    if (!reader.atEnd()) {
        error = reader.expected("the end of the statement");
        return false;
    }
    return true;
}

bool parseCellRange(QStringView range, TableName& table) {
    const qsizetype colon = range.indexOf(u':');
    return colon >= 0 && parseCell(range.first(colon), table.firstColumn, table.firstRow) &&
           parseCell(range.sliced(colon + 1), table.lastColumn, table.lastRow);
}

TableName splitTableName(const QString& name) {
    TableName table;
    const qsizetype dollar = name.lastIndexOf(u'$');
    if (dollar >= 0 && parseCellRange(QStringView(name).sliced(dollar + 1), table)) {
        table.sheet = name.first(dollar);
        table.hasRange = true;
        return table;
    }
    table = {};
    table.sheet = name;
    return table;
}
