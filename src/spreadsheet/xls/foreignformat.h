#pragma once

#include <QByteArray>
#include <QString>

namespace xls {

// A reason, for the user, why a file without the compound-file signature is no .xls workbook:
// empty, a zip (.xlsx) archive, an old bare BIFF file, HTML or XML, plain text such as CSV.
QString describeForeignFile(const QByteArray& file);

} // namespace xls
