#include "spreadsheet/xls/xlsbook.h"

#include "spreadsheet/xls/booklimits.h"
#include "spreadsheet/xls/bookreader.h"
#include "spreadsheet/xls/bookwriter.h"
#include "spreadsheet/xls/cfbreader.h"
#include "spreadsheet/xls/cfbwriter.h"

#include <new>

namespace xls {

Book parse(const QByteArray& file) {
    try {
        const QByteArray stream = readWorkbookStream(file);
        return readWorkbook(stream);
    } catch (const std::bad_alloc&) {
        throw FormatError("The workbook is too large to load into memory");
    }
}

QByteArray serialize(const Book& book) {
    checkWritable(book);
    return finishCompoundFile(writeWorkbookStream(book, kCompoundHeaderRoom));
}

} // namespace xls
