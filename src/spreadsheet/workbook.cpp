#include "spreadsheet/workbook.h"

#include "spreadsheet/rowline.h"
#include "spreadsheet/sqlquote.h"
#include "spreadsheet/textfilecodec.h"
#include "spreadsheet/workbookstore.h"
#include "spreadsheet/workbooktexts.h"
#include "spreadsheet/xlsworkbookstore.h"

#include <QFile>
#include <algorithm>

using namespace workbooktexts;

CWorkbook::CWorkbook(const QString& path, const QString& sheetOrSeparator, bool backup)
    : CWorkbook(path, sheetOrSeparator, backup, nullptr) {}

CWorkbook::CWorkbook(const QString& path, const QString& sheetOrSeparator, bool backup,
                     std::unique_ptr<WorkbookStore> store)
    : keepBackup(backup), filePath(path) {
    scratchText = filePath.right(4).toLower();
    if (scratchText == QLatin1String(".xls")) {
        excelMode = true;
        sheetName = sheetOrSeparator;
        separator = kExcelSeparator;
        m_lineForm = rowline::Form::Escaped;
    } else {
        separator = sheetOrSeparator;
    }

    if (!excelMode) {
        if (LoadSheet() && keepBackup && sheetExists) {
            const QString keptPath = filePath;
            filePath += QLatin1String(".bak");
            if (!WriteBack()) {
                keepBackup = false;
            }
            filePath = keptPath;
        }
        return;
    }

    database = store ? std::move(store) : std::make_unique<XlsWorkbookStore>();
    FindExcelDriver();
    connectText = QStringLiteral("DRIVER={%1};DSN='';FIRSTROWHASNAMES=1;READONLY=FALSE;"
                                 "CREATE_DB=\"%2\";DBQ=%3")
                      .arg(driverName, filePath, filePath);
    // The backup copy holds the sheet as loaded; it is written with the first write-back that
    // changes the sheet (see WriteBackExcel), so that opening a workbook never writes to it.
    if (LoadSheet() && keepBackup && sheetExists) {
        m_backupPending = true;
    }
}

CWorkbook::~CWorkbook() {
    // Nothing is written here: held changes that were not written back are dropped.
    recordset.reset();
    database.reset();
}

void CWorkbook::HoldWrites() {
    writesHeld = true;
}

qint16 CWorkbook::ColumnCount() const {
    return columnCount;
}

void CWorkbook::CopyFieldNames(QStringList& names) const {
    names = fieldNames;
}

void CWorkbook::FindExcelDriver() {
    // The driver manager hands the list over in a buffer of 2000 characters, each name ended
    // by a NUL: names that do not fit are not seen.
    constexpr qsizetype kDriverListCharacters = 2000;
    QStringList drivers;
    if (!database->installedDrivers(drivers)) {
        return;
    }
    qsizetype used = 0;
    for (const QString& driver : drivers) {
        used += driver.size() + 1;
        if (driver.isEmpty() || used >= kDriverListCharacters) {
            return;
        }
        if (driver.contains(QLatin1String("Excel"), Qt::CaseSensitive)) {
            driverName = driver;
            return;
        }
    }
}

bool CWorkbook::LoadSheet() {
    return excelMode ? loadExcelSheet() : loadTextFile();
}

bool CWorkbook::loadExcelSheet() {
    database->connect(connectText);
    selectText = QStringLiteral("SELECT * FROM ");
    appendSheetRange(selectText, sheetName);
    try {
        recordset = database->openForwardOnly(selectText);
    } catch (const WorkbookStatementError&) {
        recordset.reset();
        dropConnection();
        return false;
    }

    columnCount = static_cast<qint16>(std::min(recordset->columnCount(), 32767));
    if (columnCount > 0) {
        rowLines.clear();
        fieldNames.clear();
        rowLines.reserve(recordset->rowCountHint() + 1);
        m_loadedEmptyRowLine.clear();
        sheetExists = true;
        for (int column = 0; column < columnCount; ++column) {
            fieldNames.append(recordset->columnName(column));
        }
        rowLines.append(rowline::build(fieldNames, separator, m_lineForm));
        rowCount = 1;
        try {
            // The store lends its cells where it can: a day's sheet has a million of them.
            std::vector<QString> storage(static_cast<size_t>(columnCount));
            std::vector<QStringView> cells(static_cast<size_t>(columnCount));
            while (!recordset->atEnd()) {
                const size_t held = recordset->viewRow(cells, storage);
                // Rows without any text share one line, so that a sheet with one cell far down
                // costs what its cells cost, not what its used range would.
                if (std::all_of(cells.begin(), cells.begin() + qsizetype(held),
                                [](QStringView cell) { return cell.isEmpty(); })) {
                    if (m_loadedEmptyRowLine.isNull()) {
                        m_loadedEmptyRowLine =
                            rowline::build(cells.data(), columnCount, separator, m_lineForm);
                    }
                    rowLines.append(m_loadedEmptyRowLine);
                } else {
                    rowLines.append(
                        rowline::build(cells.data(), columnCount, separator, m_lineForm));
                }
                ++rowCount;
                recordset->moveNext();
            }
        } catch (const WorkbookStatementError&) {
            lastErrorText = kErrorReadingRow;
            recordset.reset();
            dropConnection();
            return false;
        }
    }
    recordset.reset();
    dropConnection();
    cursorRow = 1;
    m_storedRowLines = rowLines;
    m_storedFieldNames = fieldNames;
    return true;
}

bool CWorkbook::loadTextFile() {
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        lastErrorText = kErrorOpeningFile;
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        lastErrorText = kErrorOpeningFile;
        return false;
    }
    file.close();

    rowLines = textfilecodec::decodeLines(bytes);
    rowCount = static_cast<qint32>(rowLines.size());
    // Without lines this fails, leaving the text and the field names as they were.
    GetRowValues(fieldNames, 1);
    qsizetype widest = columnCount;
    for (const QString& line : rowLines) {
        widest = std::max(widest, rowline::countCells(line, separator));
    }
    columnCount = static_cast<qint16>(std::min<qsizetype>(widest, 32767));
    if (columnCount != 0) {
        sheetExists = true;
    }
    // Left where an Excel-mode load leaves it, so that row 0 reads start at the header.
    cursorRow = 1;
    return true;
}

bool CWorkbook::sendStatement() {
    try {
        database->execute(statementText);
        return true;
    } catch (const WorkbookStatementError& refusal) {
        lastErrorText = QString::fromUtf8(refusal.what());
        dropConnection();
        return false;
    }
}

void CWorkbook::dropConnection() {
    // A load changes nothing, and after a refusal the store's text is the one that counts.
    QString ignored;
    static_cast<void>(database->disconnect(ignored));
}

bool CWorkbook::disconnectStore() {
    QString failure;
    if (database->disconnect(failure)) {
        return true;
    }
    lastErrorText = failure;
    return false;
}

void CWorkbook::appendSheetRange(QString& text, const QString& sheet) const {
    text.append(QLatin1Char('['));
    sqlquote::appendNameText(text, sheet);
    text.append(QLatin1String("$A1:IV65536]"));
}

QStringView CWorkbook::blankCell() const {
    return excelMode ? QStringView(kExcelBlankCell) : QStringView();
}

QString CWorkbook::blankRowLine() const {
    return rowline::blankRow(columnCount, blankCell(), separator, m_lineForm);
}

void CWorkbook::splitLine(QStringView line, std::vector<QStringView>& cells,
                          std::vector<QString>& storage) const {
    if (m_lineForm == rowline::Form::Escaped) {
        rowline::splitEscaped(line, separator, cells, storage);
    } else {
        rowline::split(line, separator, cells);
    }
}

bool CWorkbook::refuseUnkeptValues(const QStringList& values) {
    if (excelMode) {
        return false;
    }
    const qsizetype unkept = rowline::firstCellNotReadBack(values, separator);
    if (unkept < 0) {
        return false;
    }
    lastErrorText = valueNotKept(values[unkept], separator);
    return true;
}
