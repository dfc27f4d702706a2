#pragma once

#include <QByteArray>
#include <QString>
#include <stdexcept>
#include <vector>

// Excel 97-2003 workbooks (BIFF8 records in a compound file), read and written in memory.
// Every cell is held as text: numbers read from other programs become the shortest text that
// reads back as the same number; everything written is a text cell.
namespace xls {

constexpr int kMaxRows = 65536;
constexpr int kMaxColumns = 256;
constexpr int kMaxCellChars = 32767;

struct Sheet {
    QString name;
    // rows[r][c] is the cell in row r + 1, column c + 1. Rows may differ in length; an empty
    // text is an empty cell (none is written for it).
    std::vector<std::vector<QString>> rows;
};

struct Book {
    std::vector<Sheet> sheets; // in workbook order
};

// A file that cannot be read as a BIFF8 workbook, or a book that cannot be written as one.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses a whole .xls file. Throws FormatError with a reason a user can act on.
Book parse(const QByteArray& file);
// Serialises the book as a complete .xls file. Throws FormatError when a sheet exceeds the
// format's limits (rows, columns, characters per cell).
QByteArray serialize(const Book& book);

} // namespace xls
