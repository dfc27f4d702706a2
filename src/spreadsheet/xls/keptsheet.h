#pragma once

#include "spreadsheet/xls/keptbook.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstdint>
#include <vector>

// The sheets of a write-back that keeps what it read: an unchanged sheet is copied as read, a
// changed one keeps every record that holds no cell and every cell whose text is the same.
namespace xls::kept {

using Rows = std::vector<std::vector<QString>>;

[[noreturn]] void fail(const QString& reason);

// A sheet as written, in pieces. Long stretches that are the same as read share the bytes of
// the stream they were read from rather than copying them, so the stream must outlive them.
class SheetOut {
public:
    qsizetype size() const { return m_done + m_tail.size() + (m_sharedEnd - m_sharedBegin); }
    // Where the next bytes go; what is shared so far is placed first.
    QByteArray& bytes();
    // Bytes [begin, end) of `stream`, shared when long enough to be worth it.
    void share(const QByteArray& stream, qsizetype begin, qsizetype end);
    // The bytes at a position of the sheet that bytes() wrote.
    char* at(qsizetype position);
    std::vector<QByteArray> takePieces();

    qsizetype base = 0; // the stream position that position fields count from
    // Positions in the sheet of 32-bit stream positions, which follow the sheet's place.
    std::vector<qsizetype> positionFields;

private:
    void closeTail();

    std::vector<QByteArray> m_pieces;
    std::vector<qsizetype> m_starts; // of each piece in the sheet
    qsizetype m_done = 0;            // bytes in m_pieces
    QByteArray m_tail;
    const QByteArray* m_sharedStream = nullptr;
    qsizetype m_sharedBegin = 0;
    qsizetype m_sharedEnd = 0;
};

// Texts of new cells, appended to the workbook's shared string table after those it holds.
class NewStrings {
public:
    explicit NewStrings(uint32_t first) : first(first) {}
    uint32_t add(const QString& text);

    const uint32_t first;
    uint32_t references = 0;
    std::vector<QString> texts;
    QHash<QString, uint32_t> index;
};

// The cell formats of the workbook: a new cell where no cell stood takes its column's default
// format, else its row's, when that is one of the `count` the workbook holds, else `fallback`.
struct CellFormats {
    uint16_t fallback = 0;
    int count = 0;
};

// An unchanged sheet: its records as read, the row block positions of its INDEX to be moved.
SheetOut copySheet(const QByteArray& stream, const SheetLayout& sheet);

// The sheet as changed: `layout` is where it was read (null for a sheet new to the workbook),
// `original` its rows as read and `lent` the rows it holds unchanged in their place (see
// SheetChange). Throws FormatError when a change would alter what the program cannot write.
SheetOut writeChangedSheet(const QByteArray& stream, const SheetLayout* layout, const Sheet& sheet,
                           const Rows& original, const std::vector<bool>* lent, NewStrings& strings,
                           CellFormats formats);

} // namespace xls::kept
