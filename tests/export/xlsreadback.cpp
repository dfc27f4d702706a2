#include "xlsreadback.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

const char* const kReadScript = R"(
import sys, json, xlrd
book = xlrd.open_workbook(sys.argv[1])
out = []
for s in book.sheets():
    rows = [[c if isinstance(c, str) else repr(c) for c in s.row_values(r)] for r in range(s.nrows)]
    out.append({"name": s.name, "rows": rows})
sys.stdout.write(json.dumps(out))
)";

const char* const kWriteScript = R"(
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

QString run(const char* script, const QString& path, const QByteArray& input, QByteArray& output) {
    QProcess python;
    python.start(kPython, {QStringLiteral("-c"), QString::fromUtf8(script), path});
    if (!python.waitForStarted(30000)) {
        return QStringLiteral("python3 did not start");
    }
    python.write(input);
    python.closeWriteChannel();
    if (!python.waitForFinished(60000)) {
        return QStringLiteral("python3 did not finish");
    }
    output = python.readAllStandardOutput();
    if (python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        return QString::fromUtf8(python.readAllStandardError());
    }
    return {};
}

} // namespace

const ReadSheet* ReadBook::sheet(const QString& name) const {
    for (const ReadSheet& s : sheets) {
        if (s.name == name) {
            return &s;
        }
    }
    return nullptr;
}

ReadBook readWithXlrd(const QString& path) {
    ReadBook book;
    QByteArray output;
    book.error = run(kReadScript, path, {}, output);
    if (!book.error.isEmpty()) {
        return book;
    }
    for (const QJsonValue& sheetValue : QJsonDocument::fromJson(output).array()) {
        ReadSheet sheet;
        sheet.name = sheetValue[QStringLiteral("name")].toString();
        for (const QJsonValue& rowValue : sheetValue[QStringLiteral("rows")].toArray()) {
            QStringList row;
            for (const QJsonValue& cell : rowValue.toArray()) {
                row << cell.toString();
            }
            sheet.rows << row;
        }
        book.sheets << sheet;
    }
    return book;
}

QString writeWithXlwt(const QString& path, const QString& sheet, const QList<QStringList>& rows) {
    QJsonArray jsonRows;
    for (const QStringList& row : rows) {
        jsonRows.append(QJsonArray::fromStringList(row));
    }
    const QJsonObject request{{QStringLiteral("sheet"), sheet}, {QStringLiteral("rows"), jsonRows}};
    QByteArray output;
    return run(kWriteScript, path, QJsonDocument(request).toJson(QJsonDocument::Compact), output);
}
