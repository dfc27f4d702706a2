#include "spreadsheet/sqlquote.h"

namespace sqlquote {

namespace {

void appendDoubling(QString& out, QStringView text, QChar special) {
    qsizetype start = 0;
    for (qsizetype found = text.indexOf(special); found >= 0;
         found = text.indexOf(special, start)) {
        out.append(text.sliced(start, found + 1 - start));
        out.append(special);
        start = found + 1;
    }
    out.append(text.sliced(start));
}

QString undoubling(QStringView quoted, QChar special) {
    if (!quoted.contains(special)) {
        return quoted.toString();
    }
    QString text;
    text.reserve(quoted.size());
    for (qsizetype i = 0; i < quoted.size(); ++i) {
        text.append(quoted[i]);
        if (quoted[i] == special && i + 1 < quoted.size() && quoted[i + 1] == special) {
            ++i;
        }
    }
    return text;
}

} // namespace

void appendNameText(QString& out, QStringView text) {
    appendDoubling(out, text, u']');
}

void appendValueText(QString& out, QStringView text) {
    appendDoubling(out, text, u'\'');
}

QString unquoteName(QStringView quoted) {
    return undoubling(quoted, u']');
}

QString unquoteValue(QStringView quoted) {
    return undoubling(quoted, u'\'');
}

} // namespace sqlquote
