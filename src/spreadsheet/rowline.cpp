#include "spreadsheet/rowline.h"

namespace rowline {

namespace {

constexpr QChar kQuote = u'"';

// Cuts the line at every occurrence of `delimiter`, scanning on from the end of the previous
// occurrence, so that occurrences never overlap.
void cutAt(QStringView line, QStringView delimiter, std::vector<QStringView>& cells) {
    qsizetype start = 0;
    for (;;) {
        const qsizetype found = line.indexOf(delimiter, start);
        if (found < 0)
            break;
        cells.push_back(line.sliced(start, found - start));
        start = found + delimiter.size();
    }
    cells.push_back(line.sliced(start));
}

bool containsQuotedSeparator(QStringView line, QStringView separator, qsizetype from = 0) {
    // Looks for quote + separator + quote without building that text for every line.
    for (qsizetype at = line.indexOf(separator, from); at >= 0;
         at = line.indexOf(separator, at + 1)) {
        const qsizetype after = at + separator.size();
        if (at > 0 && line[at - 1] == kQuote && after < line.size() && line[after] == kQuote)
            return true;
    }
    return false;
}

void cutAtQuotedSeparator(QStringView line, QStringView separator,
                          std::vector<QStringView>& cells) {
    const qsizetype cellsBefore = static_cast<qsizetype>(cells.size());
    qsizetype start = 0;
    qsizetype from = 0;
    for (;;) {
        // The quoted separator begins one character before the separator itself.
        const qsizetype at = line.indexOf(separator, from);
        if (at < 0)
            break;
        const qsizetype after = at + separator.size();
        if (at - 1 >= start && line[at - 1] == kQuote && after < line.size() &&
            line[after] == kQuote) {
            cells.push_back(line.sliced(start, at - 1 - start));
            start = after + 1;
            from = start;
        } else {
            from = at + 1;
        }
    }
    cells.push_back(line.sliced(start));
    QStringView& first = cells[static_cast<size_t>(cellsBefore)];
    if (!first.isEmpty())
        first = first.sliced(1);
    QStringView& last = cells.back();
    if (!last.isEmpty())
        last.chop(1);
}

} // namespace

void append(QString& line, const QStringList& cells, QStringView separator) {
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            line.append(separator);
        line.append(kQuote);
        line.append(cells[i]);
        line.append(kQuote);
    }
}

QString build(const QStringList& cells, QStringView separator) {
    qsizetype size = 0;
    for (const QString& cell : cells)
        size += cell.size() + 2 + separator.size();
    QString line;
    line.reserve(size);
    append(line, cells, separator);
    return line;
}

QString blankRow(int cells, QStringView blankCell, QStringView separator) {
    QString line;
    line.reserve(cells * (blankCell.size() + 2 + separator.size()));
    for (int i = 0; i < cells; ++i) {
        if (i > 0)
            line.append(separator);
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
    if (containsQuotedSeparator(line, separator)) {
        cutAtQuotedSeparator(line, separator, cells);
        return;
    }
    if (line.contains(separator)) {
        cutAt(line, separator, cells);
        return;
    }
    const qsizetype firstQuote = line.indexOf(kQuote);
    const qsizetype lastQuote = line.lastIndexOf(kQuote);
    if (firstQuote == 0 && lastQuote == line.size() - 1)
        cells.push_back(line.size() >= 2 ? line.sliced(1, line.size() - 2) : QStringView());
    else
        cells.push_back(line);
}

qsizetype countCells(QStringView line, QStringView separator) {
    thread_local std::vector<QStringView> cells;
    split(line, separator, cells);
    return static_cast<qsizetype>(cells.size());
}

} // namespace rowline
