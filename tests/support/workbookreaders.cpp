#include "workbookreaders.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <freexl.h>

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

const char* const kXlwtScript = R"(
import sys, json, xlwt
request = json.load(sys.stdin)
book = xlwt.Workbook()
sheet = book.add_sheet(request["sheet"])
for r, row in enumerate(request["rows"]):
    for c, text in enumerate(row):
        if text:
            sheet.write(r, c, text)
book.save(sys.argv[1])
)";

void trim(std::vector<std::vector<QJsonValue>>& rows) {
    for (auto& row : rows) {
        while (!row.empty() && row.back().isNull()) {
            row.pop_back();
        }
    }
    while (!rows.empty() && rows.back().empty()) {
        rows.pop_back();
    }
}

void padRows(QList<QStringList>& rows) {
    qsizetype width = 0;
    for (const QStringList& row : rows) {
        width = std::max(width, row.size());
    }
    for (QStringList& row : rows) {
        while (row.size() < width) {
            row.append(QString());
        }
    }
}

QString describe(const QJsonValue& v) {
    if (v.isString()) {
        return QStringLiteral("\"%1\"").arg(v.toString());
    }
    if (v.isNull()) {
        return QStringLiteral("(empty)");
    }
    if (v.isDouble()) {
        return QString::number(v.toDouble(), 'g', 17);
    }
    return QString::fromUtf8(QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact));
}

QJsonValue freexlValue(const FreeXL_CellValue& cell) {
    switch (cell.type) {
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
        return QString::fromUtf8(cell.value.text_value);
    case FREEXL_CELL_INT:
        return static_cast<double>(cell.value.int_value);
    case FREEXL_CELL_DOUBLE:
        return cell.value.double_value;
    case FREEXL_CELL_NULL:
        return {};
    default: // dates and times, as freexl words them
        return QString::fromUtf8(cell.value.text_value);
    }
}

QString freexlText(const QJsonValue& value) {
    return value.isDouble() ? QString::number(value.toDouble(), 'g', 15) : value.toString();
}

// One sheet of an open freexl handle; false with the reason when freexl cannot read it.
bool readFreexlSheet(const void* handle, unsigned short index, ReadSheet& sheet, QString& error) {
    const char* name = nullptr;
    freexl_get_worksheet_name(handle, index, &name);
    sheet.name = QString::fromUtf8(name);
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_select_active_worksheet(handle, index) != FREEXL_OK ||
        freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK) {
        error = QStringLiteral("freexl cannot open sheet %1").arg(index);
        return false;
    }
    sheet.cells.resize(rows);
    for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < columns; ++c) {
            FreeXL_CellValue cell;
            if (freexl_get_cell_value(handle, r, c, &cell) != FREEXL_OK) {
                error = QStringLiteral("freexl cannot read cell %1,%2").arg(r).arg(c);
                return false;
            }
            sheet.cells[r].push_back(freexlValue(cell));
        }
    }
    trim(sheet.cells);
    for (const auto& row : sheet.cells) {
        QStringList& texts = sheet.rows.emplace_back();
        for (const QJsonValue& value : row) {
            texts.append(freexlText(value));
        }
    }
    padRows(sheet.rows);
    return true;
}

bool runPythonWithInput(const QString& script, const QStringList& arguments,
                        const QByteArray& input, QByteArray& output) {
    QProcess python;
    python.start(kPython, QStringList{QStringLiteral("-c"), script} + arguments);
    if (!python.waitForStarted(30000)) {
        output = "python3 did not start";
        return false;
    }
    python.write(input);
    python.closeWriteChannel();
    const bool ok = python.waitForFinished(300000) && python.exitStatus() == QProcess::NormalExit &&
                    python.exitCode() == 0;
    output = ok ? python.readAllStandardOutput() : python.readAllStandardError();
    return ok;
}

} // namespace

QList<QStringList> ReadSheet::trimmedRows() const {
    QList<QStringList> trimmed = rows;
    for (QStringList& row : trimmed) {
        while (!row.isEmpty() && row.back().isEmpty()) {
            row.removeLast();
        }
    }
    while (!trimmed.isEmpty() && trimmed.back().isEmpty()) {
        trimmed.removeLast();
    }
    return trimmed;
}

const ReadSheet* ReadBook::sheet(const QString& name) const {
    for (const ReadSheet& s : sheets) {
        if (s.name == name) {
            return &s;
        }
    }
    return nullptr;
}

QString sourcePath(const QString& relative) {
    return QStringLiteral(TRELLMO_SOURCE_DIR "/") + relative;
}

ReadBook readWithXlrd(const QString& path) {
    ReadBook book;
    QProcess python;
    python.start(kPython, {sourcePath(QStringLiteral("tests/support/xlrd_dump.py")), path});
    if (!python.waitForFinished(300000)) {
        book.error = QStringLiteral("xlrd did not finish");
        return book;
    }
    if (python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        book.error = QString::fromUtf8(python.readAllStandardError());
        return book;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(python.readAllStandardOutput());
    for (const QJsonValue& s : doc.object().value(QStringLiteral("sheets")).toArray()) {
        ReadSheet sheet;
        sheet.name = s[QStringLiteral("name")].toString();
        for (const QJsonValue& r : s[QStringLiteral("rows")].toArray()) {
            const QJsonArray cells = r.toArray();
            sheet.cells.emplace_back(cells.begin(), cells.end());
        }
        trim(sheet.cells);
        for (const QJsonValue& r : s[QStringLiteral("texts")].toArray()) {
            QStringList& row = sheet.rows.emplace_back();
            for (const QJsonValue& cell : r.toArray()) {
                row.append(cell.toString());
            }
        }
        padRows(sheet.rows);
        book.sheets.append(std::move(sheet));
    }
    book.ok = true;
    return book;
}

ReadBook readWithFreexl(const QString& path) {
    ReadBook book;
    const void* handle = nullptr;
    const int rc = freexl_open(QFile::encodeName(path).constData(), &handle);
    if (rc != FREEXL_OK) {
        book.error = QStringLiteral("freexl_open failed with %1").arg(rc);
        freexl_close(handle);
        return book;
    }
    unsigned int sheetCount = 0;
    freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheetCount);
    for (unsigned short index = 0; index < sheetCount; ++index) {
        ReadSheet sheet;
        if (!readFreexlSheet(handle, index, sheet, book.error)) {
            freexl_close(handle);
            return book;
        }
        book.sheets.append(std::move(sheet));
    }
    freexl_close(handle);
    book.ok = true;
    return book;
}

bool runPython(const QString& script, const QStringList& arguments, QByteArray& output) {
    return runPythonWithInput(script, arguments, {}, output);
}

QString writeWithXlwt(const QString& path, const QString& sheet, const QList<QStringList>& rows) {
    QJsonArray jsonRows;
    for (const QStringList& row : rows) {
        jsonRows.append(QJsonArray::fromStringList(row));
    }
    const QJsonObject request{{QStringLiteral("sheet"), sheet}, {QStringLiteral("rows"), jsonRows}};
    QByteArray output;
    if (!runPythonWithInput(QString::fromUtf8(kXlwtScript), {path},
                            QJsonDocument(request).toJson(QJsonDocument::Compact), output)) {
        return output.isEmpty() ? QStringLiteral("python3 failed") : QString::fromUtf8(output);
    }
    return {};
}

QString firstDifference(const QList<ReadSheet>& expected, const QList<ReadSheet>& actual) {
    if (expected.size() != actual.size()) {
        return QStringLiteral("%1 sheets instead of %2").arg(actual.size()).arg(expected.size());
    }
    for (qsizetype s = 0; s < expected.size(); ++s) {
        const ReadSheet& e = expected[s];
        const ReadSheet& a = actual[s];
        if (e.name != a.name) {
            return QStringLiteral("sheet %1 is named \"%2\" instead of \"%3\"")
                .arg(s)
                .arg(a.name, e.name);
        }
        const size_t rows = std::max(e.cells.size(), a.cells.size());
        for (size_t r = 0; r < rows; ++r) {
            const auto none = std::vector<QJsonValue>();
            const auto& er = r < e.cells.size() ? e.cells[r] : none;
            const auto& ar = r < a.cells.size() ? a.cells[r] : none;
            const size_t columns = std::max(er.size(), ar.size());
            for (size_t c = 0; c < columns; ++c) {
                const QJsonValue ev = c < er.size() ? er[c] : QJsonValue();
                const QJsonValue av = c < ar.size() ? ar[c] : QJsonValue();
                if (ev != av) {
                    return QStringLiteral("sheet \"%1\" row %2 column %3: %4 instead of %5")
                        .arg(e.name)
                        .arg(r + 1)
                        .arg(c + 1)
                        .arg(describe(av), describe(ev));
                }
            }
        }
    }
    return {};
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

QString writeTempFile(const QString& name, const QByteArray& bytes) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        return {};
    }
    return path;
}
