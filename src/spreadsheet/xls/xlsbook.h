#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <memory>
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
//
// What each cell becomes: text as it is; a number the shortest text that reads back as the
// same double, written out for magnitudes from 1e-5 to below 1e15 ("1", "1.5", "0.00012",
// "123456789012345") and in scientific notation beyond ("1e+15", "1.5e-07"), dates included
// (they are numbers: 7 March 2025 reads "45723"); booleans "TRUE" and "FALSE"; error values
// as Excel shows them ("#DIV/0!", "#N/A", ...); a formula its cached result. Only worksheets
// are read: chart sheets, macro sheets and Visual Basic modules are left out, so writing the
// book back drops them. Hidden worksheets are read like the others (and written back visible).
// Rows come without empty cells at their end, sheets without empty rows at their end.
Book parse(const QByteArray& file);
// Serialises the book as a complete .xls file, every non-empty cell a text cell.
// Throws FormatError when a sheet exceeds the format's limits (rows, columns, characters per
// cell), when the book has no sheet, or when a sheet name is one Excel refuses (see
// sheetNameProblem), or equal to another ignoring case.
QByteArray serialize(const Book& book);

class WorkbookStreamWriter;

// The same file written out piece by piece, in file order, so that writing a large book needs
// no buffer of the file's size. The constructor throws FormatError for the reasons serialize
// gives, before anything is written. The book must not change while the writer exists.
class BookFileWriter {
public:
    // Takes the next piece of the file; false when it could not be kept.
    using PieceWriter = std::function<bool(QByteArrayView piece)>;

    explicit BookFileWriter(const Book& book);
    ~BookFileWriter();
    BookFileWriter(const BookFileWriter&) = delete;
    BookFileWriter& operator=(const BookFileWriter&) = delete;

    qsizetype size() const;
    // Hands the whole file to `write`; stops with false as soon as `write` returns false.
    [[nodiscard]] bool writeTo(const PieceWriter& write) const;

private:
    std::unique_ptr<WorkbookStreamWriter> m_stream;
};

} // namespace xls
