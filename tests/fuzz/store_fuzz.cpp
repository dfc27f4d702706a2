// The workbook store opening a file as the program does: connect, then SELECT every sheet and
// read all its rows. Any file gives its rows or a connect or statement error.
#include "spreadsheet/sqlquote.h"
#include "spreadsheet/xlsworkbookstore.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

QString connection(const QString& path) {
    return QStringLiteral("DRIVER={%1};DSN='';FIRSTROWHASNAMES=1;READONLY=FALSE;"
                          "CREATE_DB=\"%2\";DBQ=%2")
        .arg(XlsWorkbookStore::kDriverName, path);
}

QString selectAll(const QString& sheet) {
    QString text = QStringLiteral("SELECT * FROM [");
    sqlquote::appendNameText(text, sheet);
    return text + QStringLiteral("$A1:IV65536]");
}

void readSheet(XlsWorkbookStore& store, const QString& sheet) {
    std::unique_ptr<WorkbookResult> result;
    try {
        result = store.openForwardOnly(selectAll(sheet));
    } catch (const WorkbookStatementError&) {
        return;
    }
    const auto columns = static_cast<size_t>(result->columnCount());
    for (int c = 0; c < result->columnCount(); ++c) {
        result->columnName(c);
    }
    std::vector<QStringView> cells(columns);
    std::vector<QString> storage(columns);
    for (; !result->atEnd(); result->moveNext()) {
        result->viewRow(cells, storage);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("fuzz.xls"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) !=
                static_cast<qint64>(size)) {
            std::abort();
        }
    }
    // The sheet names come from the file itself; the program asks for these.
    QStringList names{QStringLiteral("GasType"), QStringLiteral("Storage")};
    try {
        for (const xls::Sheet& sheet :
             xls::parse(QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                static_cast<qsizetype>(size)))
                 .sheets) {
            names.append(sheet.name);
        }
    } catch (const xls::FormatError&) {
    }
    XlsWorkbookStore store;
    try {
        store.connect(connection(path));
    } catch (const WorkbookConnectError&) {
        return 0;
    }
    for (const QString& name : names) {
        readSheet(store, name);
    }
    QString failure;
    if (!store.disconnect(failure)) {
        std::abort(); // a connection that only read changes nothing and so cannot fail
    }
    return 0;
}
