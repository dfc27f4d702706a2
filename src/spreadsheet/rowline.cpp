#include "spreadsheet/rowline.h"

#include "spreadsheet/textscan.h"

#include <algorithm>

namespace rowline {

namespace {

constexpr QChar kQuote = u'"';

// Cuts the line at every occurrence of `delimiter`, scanning on from the end of the previous
// occurrence, so that occurrences never overlap.
void cutAt(QStringView line, QStringView delimiter, std::vector<QStringView>& cells) {
    qsizetype start = 0;
    for (;;) {
        const qsizetype found = line.indexOf(delimiter, start);
        if (found < 0) {
            break;
        }
        cells.push_back(line.sliced(start, found - start));
        start = found + delimiter.size();
    }
    cells.push_back(line.sliced(start));
}

// Cuts at every quote + separator + quote, scanning on from the end of the previous one, and
// drops the outer quotes of the first and last cell. False, with nothing added, when the line
// holds no quoted separator. One pass over the line: a write-back splits every held row.
bool cutAtQuotedSeparator(QStringView line, QStringView separator,
                          std::vector<QStringView>& cells) {
    const char16_t* const text = line.utf16();
    const char16_t* const sep = separator.utf16();
    const qsizetype separatorSize = separator.size();
    const qsizetype quotedSize = separatorSize + 2;
    if (line.size() < quotedSize) {
        return false;
    }
    // The last place a quoted separator can start.
    const char16_t* const lastStart = text + line.size() - quotedSize;
    const char16_t* start = text;
    bool found = false;
    for (const char16_t* at = text;; ++at) {
        at = textscan::find(at, lastStart + 1, u'"');
        if (at > lastStart) {
            break;
        }
        if (at[quotedSize - 1] != u'"' || !textscan::equal(sep, at + 1, separatorSize)) {
            continue;
        }
        cells.emplace_back(start, at);
        start = at + quotedSize;
        at = start - 1; // the closing quote belongs to this occurrence
        found = true;
    }
    if (!found) {
        return false;
    }
    cells.emplace_back(start, text + line.size());
    QStringView& first = cells.front();
    if (!first.isEmpty()) {
        first = first.sliced(1);
    }
    QStringView& last = cells.back();
    if (!last.isEmpty()) {
        last.chop(1);
    }
    return true;
}

// Inside the cells of an escaped line: the escape character, followed by kEscapedQuote for a
// double quote or by kEscapedEscape for the escape character itself. A control character that
// no text a user types holds, so that escaping almost never copies a cell.
constexpr char16_t kEscape = u'\x1b';
constexpr char16_t kEscapedQuote = u'q';
constexpr char16_t kEscapedEscape = u'e';

// How many characters escaping adds to `text`.
qsizetype escapesIn(QStringView text) {
    const char16_t* const end = text.utf16() + text.size();
    qsizetype count = 0;
    for (const char16_t wanted : {u'"', kEscape}) {
        for (const char16_t* at = textscan::find(text.utf16(), end, wanted); at != end;
             at = textscan::find(at + 1, end, wanted)) {
            ++count;
        }
    }
    return count;
}

char16_t* putEscaped(QStringView text, char16_t* out) {
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c == u'"') {
            *out++ = kEscape;
            *out++ = kEscapedQuote;
        } else if (c == kEscape) {
            *out++ = kEscape;
            *out++ = kEscapedEscape;
        } else {
            *out++ = c;
        }
    }
    return out;
}

// Sized exactly and filled in place: a load builds one line per row of the sheet. A line
// without anything to escape is copied cell by cell; one with escapes, rare, character by
// character.
template <typename Cell>
QString buildLine(const Cell* cells, qsizetype count, QStringView separator, Form form) {
    qsizetype size = count > 0 ? (count - 1) * separator.size() + 2 * count : 0;
    qsizetype escapes = 0;
    for (qsizetype i = 0; i < count; ++i) {
        size += cells[i].size();
        if (form == Form::Escaped) {
            escapes += escapesIn(cells[i]);
        }
    }
    QString line(size + escapes, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(line.data());
    for (qsizetype i = 0; i < count; ++i) {
        if (i > 0) {
            out = textscan::copy(separator.utf16(), separator.size(), out);
        }
        *out++ = u'"';
        const QStringView cell(cells[i]);
        out = escapes > 0 ? putEscaped(cell, out) : textscan::copy(cell.utf16(), cell.size(), out);
        *out++ = u'"';
    }
    return line;
}

QString unescaped(QStringView cell) {
    QString text;
    text.reserve(cell.size());
    for (qsizetype i = 0; i < cell.size(); ++i) {
        if (cell[i] == kEscape && i + 1 < cell.size()) {
            ++i;
            text.append(cell[i] == kEscapedQuote ? QChar(u'"') : QChar(kEscape));
        } else {
            text.append(cell[i]);
        }
    }
    return text;
}

} // namespace

QString build(const QString* cells, qsizetype count, QStringView separator, Form form) {
    return buildLine(cells, count, separator, form);
}

QString build(const QStringView* cells, qsizetype count, QStringView separator, Form form) {
    return buildLine(cells, count, separator, form);
}

QString build(const QStringList& cells, QStringView separator, Form form) {
    return build(cells.constData(), cells.size(), separator, form);
}

QString blankRow(int cells, QStringView blankCell, QStringView separator, Form form) {
    const std::vector<QStringView> blanks(static_cast<size_t>(std::max(cells, 0)), blankCell);
    return build(blanks.data(), qsizetype(blanks.size()), separator, form);
}

void split(QStringView line, QStringView separator, std::vector<QStringView>& cells) {
    cells.clear();
    // An empty separator would cut between every two characters without end: such a line
    // is read as a single cell.
    if (separator.isEmpty()) {
        cells.push_back(line);
        return;
    }
    if (cutAtQuotedSeparator(line, separator, cells)) {
        return;
    }
    if (line.contains(separator)) {
        cutAt(line, separator, cells);
        return;
    }
    const qsizetype firstQuote = line.indexOf(kQuote);
    const qsizetype lastQuote = line.lastIndexOf(kQuote);
    if (firstQuote == 0 && lastQuote == line.size() - 1) {
        cells.push_back(line.size() >= 2 ? line.sliced(1, line.size() - 2) : QStringView());
    } else {
        cells.push_back(line);
    }
}

void splitEscaped(QStringView line, QStringView separator, std::vector<QStringView>& cells,
                  std::vector<QString>& storage) {
    cells.clear();
    storage.clear();
    // The line's only double quotes are those around its cells.
    const QStringView inner = line.size() >= 2 ? line.sliced(1, line.size() - 2) : QStringView();
    const char16_t* const end = inner.utf16() + inner.size();
    const char16_t* start = inner.utf16();
    for (;;) {
        const char16_t* const quote = textscan::find(start, end, u'"');
        cells.emplace_back(start, quote);
        if (quote == end) {
            break;
        }
        // The quote closes a cell; the separator and the next cell's opening quote follow.
        start = std::min(end, quote + separator.size() + 2);
    }
    storage.reserve(cells.size());
    for (QStringView& cell : cells) {
        const char16_t* const cellEnd = cell.utf16() + cell.size();
        if (textscan::find(cell.utf16(), cellEnd, kEscape) != cellEnd) {
            storage.push_back(unescaped(cell));
            cell = storage.back();
        }
    }
}

qsizetype firstCellNotReadBack(const QStringList& cells, QStringView separator) {
    if (cells.isEmpty()) {
        return -1;
    }
    static constexpr char16_t kLineEnd[] = u"\r\n";
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (cells[i].contains(QStringView(kLineEnd, 2))) {
            return i;
        }
    }
    const QString line = build(cells, separator, Form::Plain);
    std::vector<QStringView> back;
    split(line, separator, back);
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (size_t(i) >= back.size() || back[size_t(i)] != cells[i]) {
            return i;
        }
    }
    return back.size() == size_t(cells.size()) ? -1 : cells.size() - 1;
}

qsizetype countCells(QStringView line, QStringView separator) {
    thread_local std::vector<QStringView> cells;
    split(line, separator, cells);
    return static_cast<qsizetype>(cells.size());
}

} // namespace rowline
