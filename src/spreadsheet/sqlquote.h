#pragma once

#include <QString>
#include <QStringView>

// The standard quoting of names and texts inside workbook statements: a closing bracket is
// doubled inside [...], a single quote is doubled inside '...'. Without it a gas name such as
// Methyl's would end its literal early and the store would refuse the whole statement.
namespace sqlquote {

// Appends the text as it goes between [ and ].
void appendNameText(QString& out, QStringView text);
// Appends the text as it goes between ' and '.
void appendValueText(QString& out, QStringView text);

// The reverse, for the text found between the brackets or quotes.
QString unquoteName(QStringView quoted);
QString unquoteValue(QStringView quoted);

} // namespace sqlquote
