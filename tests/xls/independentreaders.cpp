#include "independentreaders.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <freexl.h>

namespace {

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

} // namespace

QString sourcePath(const QString& relative) {
    return QStringLiteral(TRELLMO_SOURCE_DIR "/") + relative;
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

ForeignRead readWithXlrd(const QString& path) {
    ForeignRead result;
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {sourcePath(QStringLiteral("tests/xls/xlrd_dump.py")), path});
    if (!python.waitForFinished(300000)) {
        result.error = QStringLiteral("xlrd did not finish");
        return result;
    }
    if (python.exitCode() != 0) {
        result.error = QString::fromUtf8(python.readAllStandardError());
        return result;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(python.readAllStandardOutput());
    for (const QJsonValue& s : doc.object().value(QStringLiteral("sheets")).toArray()) {
        ForeignSheet sheet;
        sheet.name = s.toObject().value(QStringLiteral("name")).toString();
        for (const QJsonValue& r : s.toObject().value(QStringLiteral("rows")).toArray()) {
            const QJsonArray cells = r.toArray();
            sheet.rows.emplace_back(cells.begin(), cells.end());
        }
        trim(sheet.rows);
        result.sheets.push_back(std::move(sheet));
    }
    result.ok = true;
    return result;
}

ForeignRead readWithFreexl(const QString& path) {
    ForeignRead result;
    const void* handle = nullptr;
    const QByteArray localPath = QFile::encodeName(path);
    int rc = freexl_open(localPath.constData(), &handle);
    if (rc != FREEXL_OK) {
        result.error = QStringLiteral("freexl_open failed with %1").arg(rc);
        freexl_close(handle);
        return result;
    }
    unsigned int sheetCount = 0;
    freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheetCount);
    for (unsigned short s = 0; s < sheetCount; ++s) {
        ForeignSheet sheet;
        const char* name = nullptr;
        freexl_get_worksheet_name(handle, s, &name);
        sheet.name = QString::fromUtf8(name);
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (freexl_select_active_worksheet(handle, s) != FREEXL_OK ||
            freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK) {
            result.error = QStringLiteral("freexl cannot open sheet %1").arg(s);
            freexl_close(handle);
            return result;
        }
        sheet.rows.resize(rows);
        for (unsigned int r = 0; r < rows; ++r) {
            for (unsigned short c = 0; c < columns; ++c) {
                FreeXL_CellValue cell;
                if (freexl_get_cell_value(handle, r, c, &cell) != FREEXL_OK) {
                    result.error = QStringLiteral("freexl cannot read a cell");
                    freexl_close(handle);
                    return result;
                }
                QJsonValue value;
                switch (cell.type) {
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                    value = QString::fromUtf8(cell.value.text_value);
                    break;
                case FREEXL_CELL_INT:
                    value = static_cast<double>(cell.value.int_value);
                    break;
                case FREEXL_CELL_DOUBLE:
                    value = cell.value.double_value;
                    break;
                case FREEXL_CELL_NULL:
                    break;
                default:
                    value = QString::fromUtf8(cell.value.text_value);
                    break;
                }
                if (!value.isNull()) {
                    auto& cells = sheet.rows[r];
                    cells.resize(c + 1);
                    cells[c] = value;
                }
            }
        }
        trim(sheet.rows);
        result.sheets.push_back(std::move(sheet));
    }
    freexl_close(handle);
    result.ok = true;
    return result;
}

std::vector<ForeignSheet> asForeignSheets(const xls::Book& book) {
    std::vector<ForeignSheet> sheets;
    for (const xls::Sheet& s : book.sheets) {
        ForeignSheet sheet;
        sheet.name = s.name;
        for (const auto& row : s.rows) {
            auto& cells = sheet.rows.emplace_back();
            for (const QString& text : row) {
                cells.push_back(text.isEmpty() ? QJsonValue() : QJsonValue(text));
            }
        }
        trim(sheet.rows);
        sheets.push_back(std::move(sheet));
    }
    return sheets;
}

QString firstDifference(const std::vector<ForeignSheet>& expected,
                        const std::vector<ForeignSheet>& actual) {
    if (expected.size() != actual.size()) {
        return QStringLiteral("%1 sheets instead of %2").arg(actual.size()).arg(expected.size());
    }
    for (size_t s = 0; s < expected.size(); ++s) {
        const ForeignSheet& e = expected[s];
        const ForeignSheet& a = actual[s];
        if (e.name != a.name) {
            return QStringLiteral("sheet %1 is named \"%2\" instead of \"%3\"")
                .arg(s)
                .arg(a.name, e.name);
        }
        const size_t rows = std::max(e.rows.size(), a.rows.size());
        for (size_t r = 0; r < rows; ++r) {
            const auto none = std::vector<QJsonValue>();
            const auto& er = r < e.rows.size() ? e.rows[r] : none;
            const auto& ar = r < a.rows.size() ? a.rows[r] : none;
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
