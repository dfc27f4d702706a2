#include "spreadsheet/xlsworkbookstore.h"

#include "spreadsheet/connectionstring.h"
#include "spreadsheet/safefilewrite.h"
#include "spreadsheet/sqlquote.h"
#include "spreadsheet/textscan.h"
#include "spreadsheet/xls/cfbrewriter.h"
#include "spreadsheet/xls/sheetname.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

const QString XlsWorkbookStore::kDriverName = QStringLiteral("Excel Workbook Driver (*.xls)");

namespace {

// Refusals read like a driver's diagnostics: who is speaking, then what went wrong.
const QString kDriverPrefix = QStringLiteral("[Trellmo][Excel Workbook Driver] ");
constexpr int kWholeSheetLastRow = xls::kMaxRows;
constexpr int kWholeSheetLastColumn = xls::kMaxColumns;

std::string toMessage(const QString& text) {
    return text.toUtf8().toStdString();
}

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

bool isWholeSheet(const TableName& table) {
    return table.hasRange && table.firstColumn == 1 && table.firstRow == 1 &&
           table.lastColumn == kWholeSheetLastColumn && table.lastRow == kWholeSheetLastRow;
}

// Every cell of a write-back is compared with the cell it replaces.
bool sameText(QStringView a, QStringView b) {
    return a.size() == b.size() && textscan::equal(a.utf16(), b.utf16(), a.size());
}

bool holdsAnyCell(const xls::Sheet& sheet) {
    for (const auto& row : sheet.rows) {
        for (const QString& cell : row) {
            if (!cell.isEmpty()) {
                return true;
            }
        }
    }
    return false;
}

class SheetResult : public WorkbookResult {
public:
    explicit SheetResult(const xls::Sheet& sheet) : m_sheet(sheet) {
        int width = 0;
        size_t usedRows = 0;
        for (size_t r = 0; r < sheet.rows.size(); ++r) {
            const auto& row = sheet.rows[r];
            for (int c = static_cast<int>(row.size()) - 1; c >= 0; --c) {
                if (!row[static_cast<size_t>(c)].isEmpty()) {
                    width = std::max(width, c + 1);
                    usedRows = r + 1;
                    break;
                }
            }
        }
        m_usedRows = usedRows;
        const std::vector<QString> none;
        const auto& header = sheet.rows.empty() ? none : sheet.rows.front();
        for (int c = 0; c < width; ++c) {
            const size_t at = static_cast<size_t>(c);
            m_names.append(at < header.size() && !header[at].isEmpty()
                               ? header[at]
                               : QStringLiteral("F%1").arg(c + 1));
        }
    }

    int columnCount() const override { return static_cast<int>(m_names.size()); }
    qsizetype rowCountHint() const override {
        return m_usedRows > 1 ? static_cast<qsizetype>(m_usedRows - 1) : 0;
    }
    QString columnName(int column) const override { return m_names.value(column); }
    bool atEnd() const override { return m_row >= m_usedRows; }
    QString value(int column) const override {
        const QString* cell = cellAt(column);
        return cell ? *cell : QString();
    }
    size_t viewRow(std::vector<QStringView>& cells, std::vector<QString>&) const override {
        if (atEnd()) {
            throw WorkbookStatementError(toMessage(kDriverPrefix + "No current row\n"));
        }
        const auto& row = m_sheet.rows[m_row];
        const size_t held = std::min(row.size(), cells.size());
        for (size_t column = 0; column < held; ++column) {
            cells[column] = row[column];
        }
        // Past this row's end only what the row before lent needs clearing.
        const size_t lent = std::min(m_lentColumns, cells.size());
        if (lent > held) {
            std::fill(cells.begin() + qsizetype(held), cells.begin() + qsizetype(lent),
                      QStringView());
        }
        m_lentColumns = held;
        return held;
    }
    void moveNext() override {
        if (!atEnd()) {
            ++m_row;
        }
    }

private:
    // Null for a cell beyond the end of its row.
    const QString* cellAt(int column) const {
        if (atEnd() || column < 0) {
            throw WorkbookStatementError(toMessage(kDriverPrefix + "No current row\n"));
        }
        const auto& row = m_sheet.rows[m_row];
        const size_t at = static_cast<size_t>(column);
        return at < row.size() ? &row[at] : nullptr;
    }

    const xls::Sheet& m_sheet;
    QStringList m_names;
    size_t m_usedRows = 0;
    size_t m_row = 1; // row 1 holds the names
    // Columns of the caller's vector that the last viewRow may have filled: at first, all.
    mutable size_t m_lentColumns = SIZE_MAX;
};

} // namespace

XlsWorkbookStore::XlsWorkbookStore() = default;
XlsWorkbookStore::~XlsWorkbookStore() = default;

bool XlsWorkbookStore::installedDrivers(QStringList& names) const {
    names = QStringList{kDriverName};
    return true;
}

XlsWorkbookStore::FileIdentity XlsWorkbookStore::identityOf(const QString& path) {
    FileIdentity identity;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return identity;
    }
    identity.present = true;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = info.st_size;
    identity.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return identity;
}

void XlsWorkbookStore::loadBook(const QString& path, bool createIfMissing) {
    const FileIdentity identity = identityOf(path);
    // The book of the previous connection is kept while the file is the one it was read from
    // or written to: a job connects several times, and a day's workbook is large.
    if (m_bookValid && path == m_path && identity == m_identity) {
        return;
    }

    m_bookValid = false;
    m_book = {};
    m_layout.reset();
    if (!identity.present) {
        if (!createIfMissing) {
            throw WorkbookConnectError(
                toMessage(QStringLiteral("Cannot open the workbook %1: the file does not exist")
                              .arg(shown(path))));
        }
    } else {
        QFile file(path);
        if (QFileInfo(path).isDir()) {
            throw WorkbookConnectError(toMessage(
                QStringLiteral("Cannot open the workbook %1: it is a folder").arg(shown(path))));
        }
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            throw WorkbookConnectError(toMessage(QStringLiteral("Cannot open the workbook %1: %2")
                                                     .arg(shown(path), file.errorString())));
        }
        // Read in one piece into a buffer of the file's size: a day's workbook is tens of
        // megabytes, and growing the buffer while reading costs more than the reading.
        QByteArray bytes(file.size(), Qt::Uninitialized);
        qint64 got = 0;
        while (got < bytes.size()) {
            const qint64 read = file.read(bytes.data() + got, bytes.size() - got);
            if (read < 0) {
                throw WorkbookConnectError(
                    toMessage(QStringLiteral("Cannot read the workbook %1: %2")
                                  .arg(shown(path), file.errorString())));
            }
            if (read == 0) {
                break;
            }
            got += read;
        }
        bytes.truncate(got);
        try {
            xls::KeptBook kept = xls::parseKeeping(bytes);
            m_book = std::move(kept.book);
            m_layout = std::move(kept.layout);
        } catch (const xls::FormatError& error) {
            m_book = {};
            m_layout.reset();
            throw WorkbookConnectError(
                toMessage(QStringLiteral("Cannot open the workbook %1: it cannot be read as an "
                                         "Excel 97-2003 workbook (%2)")
                              .arg(shown(path), QString::fromUtf8(error.what()))));
        }
    }
    m_path = path;
    m_identity = identity;
    m_bookValid = true;
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

void XlsWorkbookStore::takeOriginal(size_t sheet, bool emptying) {
    if (m_original.size() < m_book.sheets.size()) {
        m_original.resize(m_book.sheets.size());
    }
    OriginalSheet& original = m_original[sheet];
    auto& rows = m_book.sheets[sheet].rows;
    if (original.taken || sheet >= m_sheetsAtConnect) {
        if (emptying) {
            returnLentRows(sheet);
            rows.clear();
        }
        return;
    }
    original.taken = true;
    if (emptying) {
        // A sheet being emptied gives its rows away instead of copying them.
        const size_t held = rows.size();
        original.rows = std::move(rows);
        rows = {};
        rows.reserve(held);
    } else {
        original.rows = rows;
    }
}

void XlsWorkbookStore::keepOriginalRow(size_t sheet, size_t row) {
    if (sheet >= m_original.size()) {
        return;
    }
    OriginalSheet& original = m_original[sheet];
    if (row < original.lent.size() && original.lent[row]) {
        original.rows[row] = m_book.sheets[sheet].rows[row];
        original.lent[row] = false;
    }
}

void XlsWorkbookStore::returnLentRows(size_t sheet) {
    if (sheet >= m_original.size()) {
        return;
    }
    OriginalSheet& original = m_original[sheet];
    auto& rows = m_book.sheets[sheet].rows;
    for (size_t r = 0; r < original.lent.size(); ++r) {
        if (original.lent[r]) {
            original.rows[r] = std::move(rows[r]);
            rows[r] = {};
        }
    }
    original.lent.clear();
}

namespace {

// Rows equal but for empty cells at the end of a row and empty rows at the end of the sheet,
// which hold nothing. Rows that `a` lent to `b` are the same.
bool sameRows(const std::vector<std::vector<QString>>& a,
              const std::vector<std::vector<QString>>& b, const std::vector<bool>& lent) {
    auto usedWidth = [](const std::vector<QString>& row) {
        size_t width = row.size();
        while (width > 0 && row[width - 1].isEmpty()) {
            --width;
        }
        return width;
    };
    static const std::vector<QString> none;
    const size_t rows = std::max(a.size(), b.size());
    for (size_t r = 0; r < rows; ++r) {
        if (r < lent.size() && lent[r]) {
            continue;
        }
        const auto& rowA = r < a.size() ? a[r] : none;
        const auto& rowB = r < b.size() ? b[r] : none;
        const size_t width = usedWidth(rowA);
        if (width != usedWidth(rowB)) {
            return false;
        }
        for (size_t c = 0; c < width; ++c) {
            const QString& x = rowA[c];
            const QString& y = rowB[c];
            if (x.size() != y.size() || (x.constData() != y.constData() && x != y)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

bool XlsWorkbookStore::collectChanges(std::vector<xls::SheetChange>& changes) const {
    changes.assign(m_book.sheets.size(), {});
    bool any = false;
    for (size_t i = 0; i < m_book.sheets.size(); ++i) {
        if (i >= m_sheetsAtConnect) {
            changes[i].changed = true;
            any = true;
        } else if (i < m_original.size() && m_original[i].taken &&
                   !sameRows(m_original[i].rows, m_book.sheets[i].rows, m_original[i].lent)) {
            changes[i].changed = true;
            changes[i].originalRows = &m_original[i].rows;
            changes[i].lentRows = &m_original[i].lent;
            any = true;
        }
    }
    return any;
}

bool XlsWorkbookStore::writeBook(QString& why) {
    std::vector<xls::SheetChange> changes;
    if (!collectChanges(changes)) {
        return true;
    }
    if (!m_layout) {
        // A workbook this connection created: written out piece by piece, since a buffer of its
        // size would be fresh memory on every write-back.
        std::unique_ptr<xls::BookFileWriter> writer;
        try {
            writer = std::make_unique<xls::BookFileWriter>(m_book);
        } catch (const xls::FormatError& error) {
            why = QStringLiteral("Cannot write the workbook %1: %2")
                      .arg(shown(m_path), QString::fromUtf8(error.what()));
            return false;
        }
        return safefilewrite::replaceFile(
            m_path, [&writer](const auto& write) { return writer->writeTo(write); }, why);
    }
    // Like a read-only file in any editor: a workbook the user may not change is not replaced,
    // although the folder would let a new file take its name. A file without any write
    // permission counts as read-only also for the administrator.
    struct stat info {};
    const QByteArray encoded = QFile::encodeName(m_path);
    const bool noWriteBits = ::stat(encoded.constData(), &info) == 0 &&
                             (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    if (noWriteBits || ::access(encoded.constData(), W_OK) != 0) {
        why = QStringLiteral("Cannot write the workbook %1: the file is read-only for you; it was "
                             "left as it was")
                  .arg(shown(m_path));
        return false;
    }
    std::vector<QByteArray> file;
    try {
        file = xls::rewriteCompoundFile(m_layout->compound,
                                        xls::writeKeptStream(*m_layout, m_book, changes));
    } catch (const xls::FormatError& error) {
        why = QStringLiteral("Cannot write the workbook %1 without losing what it holds: %2. The "
                             "file was left as it was")
                  .arg(shown(m_path), QString::fromUtf8(error.what()));
        return false;
    } catch (const std::bad_alloc&) {
        why = QStringLiteral("Cannot write the workbook %1: not enough memory; it was left as "
                             "it was")
                  .arg(shown(m_path));
        return false;
    }
    return safefilewrite::replaceFile(
        m_path,
        [&file](const safefilewrite::PieceWriter& write) {
            for (const QByteArray& piece : file) {
                if (!write(piece)) {
                    return false;
                }
            }
            return true;
        },
        why);
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

void XlsWorkbookStore::dropTable(const StoreStatement& statement) {
    const TableName table = splitTableName(sqlquote::unquoteName(statement.table));
    if (!isWholeSheet(table)) {
        refuse(QStringLiteral("DROP TABLE empties whole sheets only: [%1$A1:IV65536]")
                   .arg(table.sheet));
    }
    size_t index = 0;
    if (!findSheet(table.sheet, &index)) {
        refuse(QStringLiteral("The workbook %1 has no sheet '%2'").arg(shown(m_path), table.sheet));
    }
    m_insertTargetValid = false;
    const bool anyCell = holdsAnyCell(m_book.sheets[index]);
    takeOriginal(index, true);
    m_changed = m_changed || anyCell;
}

void XlsWorkbookStore::createTable(const StoreStatement& statement) {
    const TableName table = splitTableName(sqlquote::unquoteName(statement.table));
    if (table.hasRange && !isWholeSheet(table)) {
        refuse(QStringLiteral("CREATE TABLE takes a sheet name or a whole sheet: [%1$A1:IV65536]")
                   .arg(table.sheet));
    }
    if (statement.columns.size() > size_t(xls::kMaxColumns)) {
        refuse(QStringLiteral("%1 columns are more than a sheet holds (256)")
                   .arg(statement.columns.size()));
    }

    std::vector<QString> header;
    header.reserve(statement.columns.size());
    QHash<QString, int> seen;
    for (size_t i = 0; i < statement.columns.size(); ++i) {
        QString name = sqlquote::unquoteName(statement.columns[i]);
        if (name.isEmpty()) {
            refuse(QStringLiteral("Column %1 has no name").arg(i + 1));
        }
        checkText(name);
        if (seen.contains(name)) {
            refuse(QStringLiteral("The column name '%1' is given twice").arg(name));
        }
        const int width = statement.widths[i];
        if (width < 1 || width > 255) {
            refuse(QStringLiteral("The column type char(%1) is not one of char(1) to char(255)")
                       .arg(width));
        }
        seen.insert(name, int(i));
        header.push_back(std::move(name));
    }

    size_t index = 0;
    xls::Sheet* sheet = findSheet(table.sheet, &index);
    if (table.hasRange) {
        if (!sheet) {
            refuse(QStringLiteral("The workbook %1 has no sheet '%2'")
                       .arg(shown(m_path), table.sheet));
        }
    } else if (!sheet) {
        if (const QString problem = xls::sheetNameProblem(table.sheet); !problem.isEmpty()) {
            refuse(problem);
        }
        m_book.sheets.push_back(xls::Sheet{table.sheet, {std::move(header)}});
        m_changed = true;
        m_insertTargetValid = false;
        return;
    }
    if (holdsAnyCell(*sheet)) {
        refuse(
            table.hasRange
                ? QStringLiteral("The sheet '%1' holds data: empty it with DROP TABLE first")
                      .arg(sheet->name)
                : QStringLiteral("The workbook already has a sheet named '%1'").arg(sheet->name));
    }
    takeOriginal(index);
    returnLentRows(index);
    // A column without a name was given to the reader as F and its number; the header it had,
    // an empty cell, is what goes back.
    if (index < m_original.size() && m_original[index].taken && !m_original[index].rows.empty()) {
        const auto& before = m_original[index].rows.front();
        for (size_t c = 0; c < header.size(); ++c) {
            if ((c >= before.size() || before[c].isEmpty()) &&
                header[c] == QStringLiteral("F%1").arg(c + 1)) {
                header[c].clear();
            }
        }
    }
    m_changed = true;
    m_book.sheets[index].rows.clear();
    m_book.sheets[index].rows.push_back(std::move(header));
    m_insertTargetValid = false;
}

bool XlsWorkbookStore::insertRowOfKnownTable(QStringView table, int& lastRow) const {
    // The INSERTs of a write-back differ only in their row number: "<sheet>$A1:IV<n>" with the
    // sheet of the INSERT before is read without taking the name apart again.
    const QStringView prefix(m_insertTarget.rangePrefix);
    if (!m_insertTargetValid || table.size() <= prefix.size() || table.size() > prefix.size() + 7 ||
        !sameText(table.first(prefix.size()), prefix)) {
        return false;
    }
    int row = 0;
    for (const QChar c : table.sliced(prefix.size())) {
        if (c.unicode() < u'0' || c.unicode() > u'9') {
            return false;
        }
        row = row * 10 + (c.unicode() - u'0');
    }
    lastRow = row;
    return row > 0;
}

void XlsWorkbookStore::resolveInsertTarget(const StoreStatement& statement,
                                           QStringView quotedSheet) {
    // A known column list (see parseStoreStatement) names the columns of the last INSERT.
    std::vector<QString> names;
    if (statement.columnsKnown) {
        names = m_insertTarget.names;
    } else {
        for (const QStringView quoted : statement.columns) {
            names.push_back(sqlquote::unquoteName(quoted));
        }
    }
    m_insertTargetValid = false;
    const QString sheetName = sqlquote::unquoteName(quotedSheet);
    size_t index = 0;
    if (!findSheet(sheetName, &index)) {
        refuse(QStringLiteral("The workbook %1 has no sheet '%2'").arg(shown(m_path), sheetName));
    }
    InsertTarget target;
    target.sheet = index;
    for (const QString& name : names) {
        const int column = resolveColumn(m_book.sheets[index], name);
        if (column < 0) {
            refuse(QStringLiteral("The sheet '%1' has no column '%2'").arg(sheetName, name));
        }
        if (std::find(target.columns.begin(), target.columns.end(), column) !=
            target.columns.end()) {
            refuse(QStringLiteral("The column '%1' is named twice").arg(name));
        }
        target.columns.push_back(column);
        target.lastColumn = std::max(target.lastColumn, column);
    }
    for (int column = 0; column < target.lastColumn; ++column) {
        if (std::find(target.columns.begin(), target.columns.end(), column) ==
            target.columns.end()) {
            target.unnamed.push_back(static_cast<size_t>(column));
        }
    }
    target.names = std::move(names);
    target.table = quotedSheet.toString();
    target.rangePrefix = target.table + QLatin1String("$A1:IV");
    target.columnList = statement.columnList.toString();
    m_insertTarget = std::move(target);
    m_insertTargetValid = true;
}

std::vector<QString>& XlsWorkbookStore::rowForInsert(size_t sheet, size_t rowIndex) {
    auto& rows = m_book.sheets[sheet].rows;
    if (rows.size() <= rowIndex) {
        rows.resize(rowIndex + 1);
    }
    auto& row = rows[rowIndex];
    // A write-back rebuilds a sheet that mostly holds what it held before: the row from the
    // same place comes back with its cells, and the texts that did not change keep their
    // storage (which the file writer then finds by address).
    if (row.empty() && sheet < m_original.size() && m_original[sheet].taken &&
        rowIndex < m_original[sheet].rows.size() && !m_original[sheet].rows[rowIndex].empty()) {
        OriginalSheet& original = m_original[sheet];
        row = std::move(original.rows[rowIndex]);
        original.rows[rowIndex] = {};
        if (original.lent.size() < original.rows.size()) {
            original.lent.resize(original.rows.size(), false);
        }
        original.lent[rowIndex] = true;
    }
    return row;
}

void XlsWorkbookStore::insertInto(const StoreStatement& statement) {
    int lastRow = 0;
    QStringView quotedSheet;
    const bool knownTable = insertRowOfKnownTable(statement.table, lastRow);
    if (knownTable) {
        quotedSheet = m_insertTarget.table;
    } else {
        // [S$A1:IVn]: the range is read from the quoted text directly, since ']' never occurs
        // in it.
        const qsizetype dollar = statement.table.lastIndexOf(u'$');
        TableName range;
        if (dollar < 0 || !parseCellRange(statement.table.sliced(dollar + 1), range) ||
            range.firstColumn != 1 || range.firstRow != 1 ||
            range.lastColumn != kWholeSheetLastColumn) {
            refuse(QStringLiteral("INSERT INTO needs a range from A1 to the row above the new "
                                  "row: [Sheet$A1:IVn]"));
        }
        lastRow = range.lastRow;
        quotedSheet = statement.table.first(dollar);
    }
    if (lastRow >= xls::kMaxRows) {
        refuse(
            QStringLiteral("Row %1 is beyond the last row of a sheet (65,536)").arg(lastRow + 1));
    }

    const bool sameTable =
        knownTable || (m_insertTargetValid && sameText(quotedSheet, m_insertTarget.table));
    if (!sameTable ||
        (!statement.columnsKnown && statement.columnList != m_insertTarget.columnList)) {
        resolveInsertTarget(statement, quotedSheet);
    }
    const InsertTarget& target = m_insertTarget;
    if (statement.values.size() != target.columns.size()) {
        refuse(QStringLiteral("%1 columns are named but %2 texts given")
                   .arg(target.columns.size())
                   .arg(statement.values.size()));
    }
    for (const QStringView value : statement.values) {
        if (value.size() > xls::kMaxCellChars) {
            checkText(sqlquote::unquoteValue(value));
        }
    }

    m_changed = true;
    takeOriginal(target.sheet);
    // INSERT INTO a range ending at row n writes row n + 1, which is index n counted from 0.
    const size_t rowIndex = static_cast<size_t>(lastRow);
    auto& row = rowForInsert(target.sheet, rowIndex);
    // A lent row gives the original its copy back before its first change.
    const size_t width = static_cast<size_t>(target.lastColumn) + 1;
    if (row.size() != width) {
        keepOriginalRow(target.sheet, rowIndex);
    }
    row.resize(width);
    for (const size_t column : target.unnamed) {
        if (!row[column].isEmpty()) {
            keepOriginalRow(target.sheet, rowIndex);
        }
        row[column].clear();
    }
    for (size_t i = 0; i < statement.values.size(); ++i) {
        const QStringView quoted = statement.values[i];
        QString& cell = row[static_cast<size_t>(target.columns[i])];
        if (statement.valuesHoldQuotes && quoted.contains(u'\'')) {
            QString value = sqlquote::unquoteValue(quoted);
            if (!sameText(cell, value)) {
                keepOriginalRow(target.sheet, rowIndex);
                cell = std::move(value);
            }
        } else if (!sameText(cell, quoted)) {
            keepOriginalRow(target.sheet, rowIndex);
            cell = quoted.toString();
        }
    }
}

void XlsWorkbookStore::update(const StoreStatement& statement) {
    const TableName table = splitTableName(sqlquote::unquoteName(statement.table));
    if (table.hasRange) {
        refuse(QStringLiteral("UPDATE takes the bare sheet name: [%1]").arg(table.sheet));
    }
    size_t index = 0;
    if (!findSheet(table.sheet, &index)) {
        refuse(QStringLiteral("The workbook %1 has no sheet '%2'").arg(shown(m_path), table.sheet));
    }

    auto resolveAll = [&](const std::vector<QStringView>& quotedNames,
                          const std::vector<QStringView>& quotedValues,
                          std::vector<std::pair<size_t, QString>>& pairs) {
        for (size_t i = 0; i < quotedNames.size(); ++i) {
            const QString name = sqlquote::unquoteName(quotedNames[i]);
            const int column = resolveColumn(m_book.sheets[index], name);
            if (column < 0) {
                refuse(QStringLiteral("The sheet '%1' has no column '%2'").arg(table.sheet, name));
            }
            QString value = sqlquote::unquoteValue(quotedValues[i]);
            checkText(value);
            pairs.emplace_back(static_cast<size_t>(column), std::move(value));
        }
    };
    std::vector<std::pair<size_t, QString>> assignments;
    std::vector<std::pair<size_t, QString>> conditions;
    resolveAll(statement.columns, statement.values, assignments);
    resolveAll(statement.whereColumns, statement.whereValues, conditions);
    for (size_t i = 0; i < assignments.size(); ++i) {
        for (size_t j = i + 1; j < assignments.size(); ++j) {
            if (assignments[i].first == assignments[j].first) {
                refuse(QStringLiteral("A column is set twice"));
            }
        }
    }

    auto cellOf = [](const std::vector<QString>& row, size_t column) {
        return column < row.size() ? QStringView(row[column]) : QStringView();
    };
    std::vector<size_t> matching;
    const auto& rows = m_book.sheets[index].rows;
    for (size_t r = 1; r < rows.size(); ++r) {
        bool matches = true;
        for (const auto& [column, value] : conditions) {
            matches = matches && cellOf(rows[r], column) == value;
        }
        if (matches) {
            matching.push_back(r);
        }
    }
    if (matching.empty()) {
        return;
    }
    takeOriginal(index);
    m_changed = true;
    m_insertTargetValid = false;
    auto& changing = m_book.sheets[index].rows;
    for (const size_t r : matching) {
        keepOriginalRow(index, r);
        auto& row = changing[r];
        for (const auto& [column, value] : assignments) {
            if (row.size() <= column) {
                row.resize(column + 1);
            }
            row[column] = value;
        }
    }
}
