#include "spreadsheet/textfilecodec.h"

#include <QtEndian>

namespace textfilecodec {

QByteArray encodeLines(const QStringList& lines) {
    qsizetype units = 0;
    for (const QString& line : lines) {
        units += line.size() + 2;
    }
    QByteArray bytes(units * 2, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(bytes.data());
    for (const QString& line : lines) {
        // An empty line may have no storage at all: nothing to convert then.
        if (!line.isEmpty()) {
            qToLittleEndian<char16_t>(line.utf16(), line.size(), out);
        }
        out += line.size();
        qToLittleEndian<char16_t>(u'\r', out++);
        qToLittleEndian<char16_t>(u'\n', out++);
    }
    return bytes;
}

QStringList decodeLines(QByteArrayView bytes) {
    QString text(bytes.size() / 2, Qt::Uninitialized);
    if (!text.isEmpty()) {
        qFromLittleEndian<char16_t>(bytes.data(), text.size(), text.data());
    }
    QStringView rest(text);
    if (rest.startsWith(QChar(0xFEFF))) {
        rest = rest.sliced(1);
    }

    QStringList lines;
    static constexpr char16_t kLineEnd[] = u"\r\n";
    const QStringView lineEnd(kLineEnd, 2);
    while (!rest.isEmpty()) {
        const qsizetype end = rest.indexOf(lineEnd);
        if (end < 0) {
            lines.append(rest.toString());
            break;
        }
        lines.append(rest.first(end).toString());
        rest = rest.sliced(end + 2);
    }
    return lines;
}

} // namespace textfilecodec
