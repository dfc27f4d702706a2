#include "spreadsheet/xls/sheetname.h"

namespace xls {

QString sheetNameProblem(const QString& name) {
    if (name.isEmpty()) {
        return QStringLiteral("A sheet needs a name");
    }
    if (name.size() > kMaxSheetNameChars) {
        return QStringLiteral("The sheet name '%1' is longer than %2 characters")
            .arg(name)
            .arg(kMaxSheetNameChars);
    }
    static const QString kForbidden = QStringLiteral("[]:*?/\\");
    for (QChar c : name) {
        if (kForbidden.contains(c)) {
            return QStringLiteral("The sheet name '%1' holds the character %2, which sheet names "
                                  "cannot hold")
                .arg(name, c);
        }
    }
    if (name.startsWith(u'\'') || name.endsWith(u'\'')) {
        return QStringLiteral("The sheet name '%1' cannot begin or end with an apostrophe")
            .arg(name);
    }
    return {};
}

} // namespace xls
