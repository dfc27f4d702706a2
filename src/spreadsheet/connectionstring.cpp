#include "spreadsheet/connectionstring.h"

bool parseWorkbookConnection(const QString& text, WorkbookConnection& connection) {
    static const QString kDbq = QStringLiteral(";DBQ=");
    static const QString kCreate = QStringLiteral("CREATE_DB=\"");

    connection = {};
    const qsizetype createAt = text.indexOf(kCreate, 0, Qt::CaseInsensitive);
    if (createAt >= 0) {
        // What follows is P";DBQ=P with the same P twice, whatever characters P holds.
        const QStringView rest = QStringView(text).sliced(createAt + kCreate.size());
        const qsizetype pathLength = (rest.size() - kDbq.size() - 1) / 2;
        if (pathLength > 0 && rest.size() == 2 * pathLength + kDbq.size() + 1 &&
            rest[pathLength] == u'"' &&
            rest.sliced(pathLength + 1, kDbq.size()).compare(kDbq, Qt::CaseInsensitive) == 0 &&
            rest.first(pathLength) == rest.last(pathLength)) {
            connection.workbookPath = rest.first(pathLength).toString();
            connection.createIfMissing = true;
            return true;
        }
    }

    const qsizetype dbqAt = text.lastIndexOf(kDbq, -1, Qt::CaseInsensitive);
    if (dbqAt < 0) {
        return false;
    }
    connection.workbookPath = text.sliced(dbqAt + kDbq.size());
    return !connection.workbookPath.isEmpty();
}
