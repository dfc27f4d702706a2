#include "records/dayworkbooks.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

std::optional<DayWorkbook> dayWorkbookFromName(const QString& fileName) {
    static const QRegularExpression kName(
        QStringLiteral("^C([46])-(\\d\\d)-(\\d\\d)-(\\d\\d)(?: \\((\\d{1,4})\\))?\\.xls$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = kName.match(fileName);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    // The name carries the year within its century; the instrument's records start in 2000.
    const QDate date(2000 + match.captured(2).toInt(), match.captured(3).toInt(),
                     match.captured(4).toInt());
    if (!date.isValid()) {
        return std::nullopt;
    }
    DayWorkbook workbook;
    workbook.fileName = fileName;
    workbook.date = date;
    workbook.channels = match.captured(1).toInt();
    workbook.part = match.captured(5).isEmpty() ? 1 : match.captured(5).toInt();
    return workbook;
}

std::vector<DayWorkbook> listDayWorkbooks(const QString& folder) {
    std::vector<DayWorkbook> found;
    const QFileInfoList entries =
        QDir(folder).entryInfoList({QStringLiteral("*.xls")}, QDir::Files | QDir::Readable,
                                   QDir::NoSort); // name filters ignore case
    for (const QFileInfo& entry : entries) {
        std::optional<DayWorkbook> workbook = dayWorkbookFromName(entry.fileName());
        if (!workbook) {
            continue;
        }
        workbook->path = entry.absoluteFilePath();
        workbook->modified = entry.lastModified();
        workbook->size = entry.size();
        found.push_back(std::move(*workbook));
    }
    std::sort(found.begin(), found.end(), [](const DayWorkbook& a, const DayWorkbook& b) {
        if (a.date != b.date) {
            return a.date > b.date;
        }
        if (a.part != b.part) {
            return a.part > b.part;
        }
        if (a.modified != b.modified) {
            return a.modified > b.modified;
        }
        return a.fileName < b.fileName;
    });
    return found;
}
