// The BIFF8 reader on a bare Workbook stream: any bytes give a book or FormatError. A book read
// is written and read again and must come back the same, as a write-back relies on.
#include "spreadsheet/xls/bookreader.h"
#include "spreadsheet/xls/bookwriter.h"
#include "spreadsheet/xls/xlsbook.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

bool sameBook(const xls::Book& a, const xls::Book& b) {
    if (a.sheets.size() != b.sheets.size()) {
        return false;
    }
    for (size_t i = 0; i < a.sheets.size(); ++i) {
        if (a.sheets[i].name != b.sheets[i].name || a.sheets[i].rows != b.sheets[i].rows) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray stream =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    xls::Book book;
    try {
        book = xls::readWorkbook(stream);
    } catch (const xls::FormatError&) {
        return 0;
    }
    QByteArray written;
    try {
        written = xls::writeWorkbookStream(book);
    } catch (const xls::FormatError&) {
        return 0; // a book the format cannot hold, such as two sheets of one name
    }
    if (!sameBook(xls::readWorkbook(written), book)) {
        std::abort();
    }
    return 0;
}
