#include "sheetreaders.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <freexl.h>

const ReadSheet* ReadBook::sheet(const QString& name) const {
    for (const ReadSheet& s : sheets)
        if (s.name == name)
            return &s;
    return nullptr;
}

bool runPython(const QString& script, const QStringList& arguments, QByteArray& output) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral("-c"), script} + arguments);
    if (!python.waitForFinished(60000)) {
        output = "python did not finish";
        return false;
    }
    if (python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        output = python.readAllStandardError();
        return false;
    }
    output = python.readAllStandardOutput();
    return true;
}

namespace {

void trimRow(QStringList& row) {
    while (!row.isEmpty() && row.back().isEmpty())
        row.removeLast();
}

void trimRows(std::vector<QStringList>& rows) {
    for (QStringList& row : rows)
        trimRow(row);
    while (!rows.empty() && rows.back().isEmpty())
        rows.pop_back();
}

} // namespace

ReadBook readWithXlrd(const QString& path) {
    static const QString script = QStringLiteral(R"(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
out = []
for sheet in book.sheets():
    rows = []
    for r in range(sheet.nrows):
        rows.append([c.value if c.ctype == xlrd.XL_CELL_TEXT else
                     ('' if c.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK) else repr(c.value))
                     for c in sheet.row(r)])
    out.append({'name': sheet.name, 'rows': rows})
sys.stdout.write(json.dumps(out))
)");
    ReadBook book;
    QByteArray output;
    if (!runPython(script, {path}, output)) {
        book.error = QString::fromUtf8(output);
        return book;
    }
    for (const QJsonValue sheetValue : QJsonDocument::fromJson(output).array()) {
        ReadSheet sheet;
        sheet.name = sheetValue[QLatin1String("name")].toString();
        for (const QJsonValue row : sheetValue[QLatin1String("rows")].toArray()) {
            QStringList cells;
            for (const QJsonValue cell : row.toArray())
                cells.append(cell.toString());
            sheet.rows.push_back(cells);
        }
        trimRows(sheet.rows);
        book.sheets.push_back(sheet);
    }
    book.ok = true;
    return book;
}

ReadBook readWithFreexl(const QString& path) {
    ReadBook book;
    const void* handle = nullptr;
    if (freexl_open(QFile::encodeName(path).constData(), &handle) != FREEXL_OK) {
        book.error = QStringLiteral("freexl_open failed");
        if (handle)
            freexl_close(handle);
        return book;
    }
    unsigned int sheetCount = 0;
    freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheetCount);
    for (unsigned short index = 0; index < sheetCount; ++index) {
        ReadSheet sheet;
        const char* name = nullptr;
        freexl_get_worksheet_name(handle, index, &name);
        sheet.name = QString::fromUtf8(name);
        freexl_select_active_worksheet(handle, index);
        unsigned int rows = 0;
        unsigned short columns = 0;
        freexl_worksheet_dimensions(handle, &rows, &columns);
        for (unsigned int r = 0; r < rows; ++r) {
            QStringList cells;
            for (unsigned short c = 0; c < columns; ++c) {
                FreeXL_CellValue cell;
                if (freexl_get_cell_value(handle, r, c, &cell) != FREEXL_OK) {
                    book.error = QStringLiteral("cell %1,%2 unreadable").arg(r).arg(c);
                    freexl_close(handle);
                    return book;
                }
                switch (cell.type) {
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                    cells.append(QString::fromUtf8(cell.value.text_value));
                    break;
                case FREEXL_CELL_INT:
                    cells.append(QString::number(cell.value.int_value));
                    break;
                case FREEXL_CELL_DOUBLE:
                    cells.append(QString::number(cell.value.double_value, 'g', 15));
                    break;
                default:
                    cells.append(QString());
                }
            }
            sheet.rows.push_back(cells);
        }
        trimRows(sheet.rows);
        book.sheets.push_back(sheet);
    }
    freexl_close(handle);
    book.ok = true;
    return book;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QStringList folderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}
