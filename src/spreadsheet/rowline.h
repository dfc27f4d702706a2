#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <vector>

// The in-memory form of a sheet row: every cell between double quotes, the quoted cells joined
// by a separator, nothing inside a cell escaped. Lines written by other programs may also be
// plain (cells joined by the separator alone) or a single cell.
namespace rowline {

// Appends `"cell"` for every cell, with the separator between a closing and the next opening
// quote. No cells give an empty line.
void append(QString& line, const QStringList& cells, QStringView separator);
QString build(const QStringList& cells, QStringView separator);
QString build(const QString* cells, qsizetype count, QStringView separator);
QString build(const QStringView* cells, qsizetype count, QStringView separator);

// A row of `cells` copies of the blank cell (the text a writer puts where it has no value).
QString blankRow(int cells, QStringView blankCell, QStringView separator);

// Splits a line into views of its cells, tried in this order: quoted (the line holds quote,
// separator, quote; the outer quotes of the first and last cell are dropped), plain (the line
// holds the separator; cells kept as they are), single (the whole line, without its outer
// quotes when its first and last double quotes are its first and last characters). An empty
// line is one empty cell. With an empty separator every line is one cell, kept as it is.
void split(QStringView line, QStringView separator, std::vector<QStringView>& cells);

// The number of cells split() finds.
qsizetype countCells(QStringView line, QStringView separator);

} // namespace rowline
