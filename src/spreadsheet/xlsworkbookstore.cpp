#include "spreadsheet/xlsworkbookstore.h"

#include "spreadsheet/connectionstring.h"
#include "spreadsheet/sqlquote.h"
#include "spreadsheet/xlssheetresult.h"
#include "spreadsheet/xlsstoredetail.h"

using namespace xlsstore;

const QString XlsWorkbookStore::kDriverName = QStringLiteral("Excel Workbook Driver (*.xls)");

XlsWorkbookStore::XlsWorkbookStore() = default;
XlsWorkbookStore::~XlsWorkbookStore() = default;

bool XlsWorkbookStore::installedDrivers(QStringList& names) const {
    names = QStringList{kDriverName};
    return true;
}

void XlsWorkbookStore::connect(const QString& connectText) {
    if (m_connected) {
        // Left open by an exception part way through an operation: its changes are not kept.
        abandonConnection();
    }
    WorkbookConnection connection;
    if (!parseWorkbookConnection(connectText, connection)) {
        throw WorkbookConnectError(toMessage(
            QStringLiteral("The connection string names no workbook file: %1").arg(connectText)));
    }
    loadBook(connection.workbookPath, connection.createIfMissing);
    m_connected = true;
    m_changed = false;
    m_refused = false;
    m_original.clear();
    m_sheetsAtConnect = m_book.sheets.size();
    m_insertTargetValid = false;
}

void XlsWorkbookStore::requireConnection() const {
    if (!m_connected) {
        throw WorkbookStatementError(toMessage(kDriverPrefix + "Not connected to a workbook\n"));
    }
}

void XlsWorkbookStore::refuse(const QString& reason) {
    m_refused = true;
    throw WorkbookStatementError(toMessage(kDriverPrefix + reason + QLatin1Char('\n')));
}

xls::Sheet* XlsWorkbookStore::findSheet(const QString& name, size_t* index) {
    for (size_t i = 0; i < m_book.sheets.size(); ++i) {
        if (m_book.sheets[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            if (index) {
                *index = i;
            }
            return &m_book.sheets[i];
        }
    }
    return nullptr;
}

void XlsWorkbookStore::forgetBook() {
    m_bookValid = false;
    m_book = {};
    m_layout.reset();
}

void XlsWorkbookStore::endConnection() {
    m_connected = false;
    m_changed = false;
    m_refused = false;
    m_original.clear();
    m_insertTargetValid = false;
}

void XlsWorkbookStore::abandonConnection() {
    // The file still holds the book as it was at connect, so the next connection reads it
    // again; a connection that changed nothing leaves the book as read.
    if (m_changed) {
        forgetBook();
    }
    endConnection();
}

bool XlsWorkbookStore::disconnect(QString& failure) {
    if (!m_connected) {
        return true;
    }
    if (m_refused || !m_changed) {
        abandonConnection();
        return true;
    }
    QString why;
    if (!writeBook(why)) {
        failure = why + QLatin1Char('\n');
        forgetBook();
        endConnection();
        return false;
    }
    // The file now holds other records at other places than those read: the next connection
    // reads it again.
    forgetBook();
    endConnection();
    return true;
}

void XlsWorkbookStore::checkText(QStringView text) {
    if (text.size() > xls::kMaxCellChars) {
        refuse(QStringLiteral("A text of %1 characters is longer than a cell holds (32,767)")
                   .arg(text.size()));
    }
}

int XlsWorkbookStore::resolveColumn(const xls::Sheet& sheet, const QString& name) const {
    static const std::vector<QString> none;
    const auto& header = sheet.rows.empty() ? none : sheet.rows.front();
    for (size_t c = 0; c < header.size() && c < size_t(xls::kMaxColumns); ++c) {
        if (!header[c].isEmpty() && header[c] == name) {
            return static_cast<int>(c);
        }
    }
    // A column without a name is known by F and its number.
    if (name.size() >= 2 && name.startsWith(u'F')) {
        bool ok = false;
        const int number = QStringView(name).sliced(1).toInt(&ok);
        const size_t at = static_cast<size_t>(number - 1);
        if (ok && number >= 1 && number <= xls::kMaxColumns &&
            QString::number(number) == QStringView(name).sliced(1) &&
            (at >= header.size() || header[at].isEmpty())) {
            return number - 1;
        }
    }
    return -1;
}

void XlsWorkbookStore::execute(const QString& text) {
    requireConnection();
    QString error;
    if (!parseStoreStatement(text, m_statement, error,
                             m_insertTargetValid ? QStringView(m_insertTarget.columnList)
                                                 : QStringView())) {
        refuse(error);
    }
    switch (m_statement.kind) {
    case StatementKind::Select:
        refuse(QStringLiteral("A SELECT gives rows: open it as a result"));
    case StatementKind::DropTable:
        dropTable(m_statement);
        break;
    case StatementKind::CreateTable:
        createTable(m_statement);
        break;
    case StatementKind::InsertInto:
        insertInto(m_statement);
        break;
    case StatementKind::Update:
        update(m_statement);
        break;
    }
}

std::unique_ptr<WorkbookResult> XlsWorkbookStore::openForwardOnly(const QString& select) {
    requireConnection();
    QString error;
    if (!parseStoreStatement(select, m_statement, error)) {
        refuse(error);
    }
    if (m_statement.kind != StatementKind::Select) {
        refuse(QStringLiteral("Only a SELECT gives rows"));
    }
    const TableName table = splitTableName(sqlquote::unquoteName(m_statement.table));
    if (!isWholeSheet(table)) {
        refuse(QStringLiteral("SELECT reads whole sheets only: [%1$A1:IV65536]").arg(table.sheet));
    }
    const xls::Sheet* sheet = findSheet(table.sheet);
    // A SELECT changes nothing: asking for a sheet that is not there leaves the connection's
    // changes standing.
    if (!sheet) {
        throw WorkbookStatementError(toMessage(
            kDriverPrefix +
            QStringLiteral("The workbook %1 has no sheet '%2'\n").arg(shown(m_path), table.sheet)));
    }
    return std::make_unique<SheetResult>(*sheet);
}
