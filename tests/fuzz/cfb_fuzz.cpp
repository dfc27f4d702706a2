// The compound file reader: any bytes give the Workbook stream or FormatError.
#include "spreadsheet/xls/cfbreader.h"
#include "spreadsheet/xls/xlsbook.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray file =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const QByteArray stream = xls::readWorkbookStream(file);
        // Every byte of the stream is read, so that a stream reaching outside the file shows.
        unsigned sum = 0;
        for (char c : stream) {
            sum += static_cast<unsigned char>(c);
        }
        __asm__ volatile("" : : "r"(sum));
    } catch (const xls::FormatError&) {
    }
    return 0;
}
