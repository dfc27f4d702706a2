// A write-back that keeps what it read, on any .xls file: its first worksheet has a cell changed,
// a middle row changed and a row added, the file is written back and read again. Any file gives
// a refusal (FormatError) or a file whose every sheet reads as the changed book says.
#include "spreadsheet/xls/cfbrewriter.h"
#include "spreadsheet/xls/keptbook.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

QStringView textAt(const xls::Sheet& sheet, size_t row, size_t column) {
    if (row >= sheet.rows.size() || column >= sheet.rows[row].size()) {
        return {};
    }
    return sheet.rows[row][column];
}

// The same texts in the same cells; an empty cell and no cell are the same.
bool sameTexts(const xls::Sheet& a, const xls::Sheet& b) {
    const size_t rows = std::max(a.rows.size(), b.rows.size());
    for (size_t r = 0; r < rows; ++r) {
        const size_t width = std::max(r < a.rows.size() ? a.rows[r].size() : 0,
                                      r < b.rows.size() ? b.rows[r].size() : 0);
        for (size_t c = 0; c < width; ++c) {
            if (textAt(a, r, c) != textAt(b, r, c)) {
                return false;
            }
        }
    }
    return a.name == b.name;
}

void setText(xls::Sheet& sheet, size_t row, size_t column, const QString& text) {
    if (sheet.rows.size() <= row) {
        sheet.rows.resize(row + 1);
    }
    if (sheet.rows[row].size() <= column) {
        sheet.rows[row].resize(column + 1);
    }
    sheet.rows[row][column] = text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray file =
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    xls::KeptBook kept;
    try {
        kept = xls::parseKeeping(file);
    } catch (const xls::FormatError&) {
        return 0;
    }
    if (kept.book.sheets.empty()) {
        return 0;
    }
    const std::vector<std::vector<QString>> original = kept.book.sheets.front().rows;
    xls::Sheet& sheet = kept.book.sheets.front();
    const size_t middle = sheet.rows.size() / 2;
    setText(sheet, 0, 0, QStringLiteral("changed"));
    setText(sheet, middle, 1, QStringLiteral("middle"));
    if (sheet.rows.size() < size_t(xls::kMaxRows)) {
        setText(sheet, sheet.rows.size(), 2, QStringLiteral("added"));
    }
    std::vector<xls::SheetChange> changes(kept.book.sheets.size());
    changes.front().changed = true;
    changes.front().originalRows = &original;

    QByteArray written;
    try {
        for (const QByteArray& piece : xls::rewriteCompoundFile(
                 kept.layout->compound, xls::writeKeptStream(*kept.layout, kept.book, changes))) {
            written.append(piece);
        }
    } catch (const xls::FormatError&) {
        return 0; // refused, naming what it cannot carry over
    }
    xls::Book again;
    try {
        again = xls::parseKeeping(written).book;
    } catch (const xls::FormatError&) {
        std::abort(); // a write-back that cannot be read again
    }
    if (again.sheets.size() != kept.book.sheets.size()) {
        std::abort();
    }
    for (size_t s = 0; s < again.sheets.size(); ++s) {
        if (!sameTexts(again.sheets[s], kept.book.sheets[s])) {
            std::abort();
        }
    }
    return 0;
}
