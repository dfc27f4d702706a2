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

// Sized exactly and filled in place: a load builds one line per row of the sheet.
template <typename Cell>
QString buildLine(const Cell* cells, qsizetype count, QStringView separator) {
    qsizetype size = count > 0 ? (count - 1) * separator.size() + 2 * count : 0;
    for (qsizetype i = 0; i < count; ++i) {
        size += cells[i].size();
    }
    QString line(size, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(line.data());
    auto put = [&out](QStringView text) {
        out = textscan::copy(text.utf16(), text.size(), out);
    };
    for (qsizetype i = 0; i < count; ++i) {
        if (i > 0) {
            put(separator);
        }
        *out++ = u'"';
        put(cells[i]);
        *out++ = u'"';
    }
    return line;
}

} // namespace

void append(QString& line, const QStringList& cells, QStringView separator) {
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0) {
            line.append(separator);
        }
        line.append(kQuote);
        line.append(cells[i]);
        line.append(kQuote);
    }
}

QString build(const QString* cells, qsizetype count, QStringView separator) {
    return buildLine(cells, count, separator);
}

QString build(const QStringView* cells, qsizetype count, QStringView separator) {
    return buildLine(cells, count, separator);
}

QString build(const QStringList& cells, QStringView separator) {
    return build(cells.constData(), cells.size(), separator);
}

QString blankRow(int cells, QStringView blankCell, QStringView separator) {
    QString line;
    line.reserve(cells * (blankCell.size() + 2 + separator.size()));
    for (int i = 0; i < cells; ++i) {
        if (i > 0) {
            line.append(separator);
        }
        line.append(kQuote);
        line.append(blankCell);
        line.append(kQuote);
    }
    return line;
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

qsizetype countCells(QStringView line, QStringView separator) {
    thread_local std::vector<QStringView> cells;
    split(line, separator, cells);
    return static_cast<qsizetype>(cells.size());
}

} // namespace rowline
