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
    const BookFileWriter writer(book);
    QByteArray file;
    file.reserve(writer.size());
    // Appending to memory never refuses a piece.
    const bool complete = writer.writeTo([&file](QByteArrayView piece) {
        file.append(piece);
        return true;
    });
    Q_ASSERT(complete);
    return file;
}

BookFileWriter::BookFileWriter(const Book& book) {
    checkWritable(book);
    m_stream = std::make_unique<WorkbookStreamWriter>(book);
}

BookFileWriter::~BookFileWriter() = default;

qsizetype BookFileWriter::size() const {
    return CompoundFileFrame(m_stream->size()).fileBytes();
}

bool BookFileWriter::writeTo(const PieceWriter& write) const {
    const CompoundFileFrame frame(m_stream->size());
    return write(frame.header()) && m_stream->writeTo(write) && write(frame.trailer());
}

} // namespace xls
