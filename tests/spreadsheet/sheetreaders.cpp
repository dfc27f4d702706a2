#include "sheetreaders.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <freexl.h>

const ReadSheet* ReadBook::sheet(const QString& name) const {
    for (const ReadSheet& s : sheets) {
        if (s.name == name) {
            return &s;
        }
    }
    return nullptr;
}

bool runPython(const QString& script, const QStringList& arguments, QByteArray& output) {
    QProcess python;
    python.start("/usr/bin/python3", QStringList{"-c", script} + arguments);
    const bool ok = python.waitForFinished(60000) && python.exitStatus() == QProcess::NormalExit &&
                    python.exitCode() == 0;
    output = ok ? python.readAllStandardOutput() : python.readAllStandardError();
    return ok;
}

namespace {

void trimRows(std::vector<QStringList>& rows) {
    for (QStringList& row : rows) {
        while (!row.isEmpty() && row.back().isEmpty()) {
            row.removeLast();
        }
    }
    while (!rows.empty() && rows.back().isEmpty()) {
        rows.pop_back();
    }
}

} // namespace

ReadBook readWithXlrd(const QString& path) {
    static const QString script = R"(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
print(json.dumps([{'name': s.name, 'rows': [[c.value if c.ctype == xlrd.XL_CELL_TEXT else
    ('' if c.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK) else repr(c.value))
    for c in s.row(r)] for r in range(s.nrows)]} for s in book.sheets()]))
)";
    ReadBook book;
    QByteArray output;
    if (!runPython(script, {path}, output)) {
        book.error = QString::fromUtf8(output);
        return book;
    }
    for (const QJsonValue sheetValue : QJsonDocument::fromJson(output).array()) {
        ReadSheet sheet{sheetValue["name"].toString(), {}};
        for (const QJsonValue row : sheetValue["rows"].toArray()) {
            sheet.rows.emplace_back();
            for (const QJsonValue cell : row.toArray()) {
                sheet.rows.back().append(cell.toString());
            }
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
        book.error = "freexl_open failed";
        freexl_close(handle);
        return book;
    }
    unsigned int sheetCount = 0;
    freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheetCount);
    for (unsigned short index = 0; index < sheetCount; ++index) {
        const char* name = nullptr;
        unsigned int rows = 0;
        unsigned short columns = 0;
        freexl_get_worksheet_name(handle, index, &name);
        freexl_select_active_worksheet(handle, index);
        freexl_worksheet_dimensions(handle, &rows, &columns);
        ReadSheet sheet{QString::fromUtf8(name), std::vector<QStringList>(rows)};
        for (unsigned int r = 0; r < rows; ++r) {
            for (unsigned short c = 0; c < columns; ++c) {
                FreeXL_CellValue cell;
                if (freexl_get_cell_value(handle, r, c, &cell) != FREEXL_OK) {
                    book.error = QStringLiteral("cell %1,%2 unreadable").arg(r).arg(c);
                    freexl_close(handle);
                    return book;
                }
                const bool text =
                    cell.type == FREEXL_CELL_TEXT || cell.type == FREEXL_CELL_SST_TEXT;
                sheet.rows[r].append(text ? QString::fromUtf8(cell.value.text_value)
                                     : cell.type == FREEXL_CELL_INT
                                         ? QString::number(cell.value.int_value)
                                     : cell.type == FREEXL_CELL_DOUBLE
                                         ? QString::number(cell.value.double_value, 'g', 15)
                                         : QString());
            }
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
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
}

QStringList folderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}
