#include "spreadsheet/xls/foreignformat.h"

#include "spreadsheet/xls/biffformat.h"
#include "spreadsheet/xls/bytes.h"

#include <QStringDecoder>
#include <algorithm>

namespace xls {

namespace {

bool looksLikeText(const QByteArray& head) {
    const bool controls = std::any_of(head.begin(), head.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f';
    });
    if (controls) {
        return false;
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    // A multi-byte sequence may be cut at the end of the sample; only earlier errors count.
    (void)utf8.decode(head.left(std::max<qsizetype>(0, head.size() - 3)));
    return !utf8.hasError();
}

bool looksLikeUtf16Text(const QByteArray& head) {
    return head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF");
}

} // namespace

QString describeForeignFile(const QByteArray& file) {
    if (file.isEmpty()) {
        return QStringLiteral("The file is empty");
    }
    if (file.startsWith("PK\x03\x04") || file.startsWith("PK\x05\x06")) {
        return QStringLiteral("The file is a zip archive (such as an Excel 2007 or later .xlsx "
                              "workbook), not an Excel 97-2003 workbook");
    }
    if (file.size() >= 4) {
        const uint16_t type = bytes::u16(file.constData());
        if (type == biff::kBofBiff2 || type == biff::kBofBiff3 || type == biff::kBofBiff4 ||
            type == biff::kBof) {
            return QStringLiteral("The file is a workbook of an Excel version older than Excel "
                                  "97 (a bare BIFF stream); save it as Excel 97-2003 first");
        }
    }
    const QByteArray head = file.left(4096);
    const QByteArray trimmed = head.trimmed();
    if (trimmed.startsWith("\xEF\xBB\xBF<") || trimmed.startsWith('<')) {
        return QStringLiteral("The file is an HTML or XML document with an .xls name, not an "
                              "Excel 97-2003 workbook");
    }
    if (trimmed.startsWith("{\\rtf")) {
        return QStringLiteral("The file is an RTF document, not an Excel 97-2003 workbook");
    }
    if (looksLikeUtf16Text(head) || looksLikeText(head)) {
        return QStringLiteral("The file is a text file (such as CSV), not an Excel 97-2003 "
                              "workbook");
    }
    return QStringLiteral("The file is not an Excel 97-2003 workbook (it is no compound "
                          "document)");
}

} // namespace xls
