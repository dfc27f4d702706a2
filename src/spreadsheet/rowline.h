#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <vector>

// The in-memory form of a sheet row: every cell between double quotes, the quoted cells joined
// by a separator.
//
// A line of a text file holds its cells as they are (Form::Plain): the file format has no
// escape, so a cell holding the separator cannot be told from two cells, and lines written by
// other programs may also be plain (cells joined by the separator alone) or a single cell.
//
// A line that never leaves memory (Form::Escaped, the rows of a workbook sheet) writes every
// double quote inside a cell, and the escape character itself, as the escape character and a
// letter. Its only double quotes are then those around the cells, so that no text a cell holds,
// the separator and quotes included, can split it.
namespace rowline {

enum class Form { Plain, Escaped };

QString build(const QStringList& cells, QStringView separator, Form form);
QString build(const QString* cells, qsizetype count, QStringView separator, Form form);
QString build(const QStringView* cells, qsizetype count, QStringView separator, Form form);

// A row of `cells` copies of the blank cell (the text a writer puts where it has no value).
QString blankRow(int cells, QStringView blankCell, QStringView separator, Form form);

// Splits a plain line into views of its cells, tried in this order: quoted (the line holds
// quote, separator, quote; the outer quotes of the first and last cell are dropped), plain
// (the line holds the separator; cells kept as they are), single (the whole line, without its
// outer quotes when its first and last double quotes are its first and last characters). An
// empty line is one empty cell. With an empty separator every line is one cell, kept as it is.
void split(QStringView line, QStringView separator, std::vector<QStringView>& cells);

// Splits an escaped line. Cells without escapes are views into the line; the others are
// unescaped into `storage`, and their views point there (valid until the next call with it).
// An empty line is one empty cell.
void splitEscaped(QStringView line, QStringView separator, std::vector<QStringView>& cells,
                  std::vector<QString>& storage);

// The number of cells split() finds.
qsizetype countCells(QStringView line, QStringView separator);

// For plain lines: the index of the first of `cells` that would not come back as it is from
// the line built of them (it holds the separator, or a line end that cuts the file's line);
// -1 when every cell reads back. A row without cells reads back as one empty cell, which is
// no change.
qsizetype firstCellNotReadBack(const QStringList& cells, QStringView separator);

} // namespace rowline
