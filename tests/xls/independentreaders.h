#pragma once

#include "spreadsheet/xls/xlsbook.h"

#include <QJsonValue>
#include <QString>
#include <vector>

// Other programs' readers of .xls files, to check what this module writes: xlrd (through
// /usr/bin/python3) and libfreexl.

struct ForeignSheet {
    QString name;
    // Cells as the reader reports them: a string for text, a double for numbers, an object
    // for booleans and error values, null for empty. Trailing empty cells and rows removed.
    std::vector<std::vector<QJsonValue>> rows;
};

struct ForeignRead {
    bool ok = false;
    QString error; // the reader's own reason when it refused the file
    std::vector<ForeignSheet> sheets;
};

ForeignRead readWithXlrd(const QString& path);
ForeignRead readWithFreexl(const QString& path);

// The book as a reader that finds only text cells would have to see it.
std::vector<ForeignSheet> asForeignSheets(const xls::Book& book);

// Empty when equal, else a description of the first difference.
QString firstDifference(const std::vector<ForeignSheet>& expected,
                        const std::vector<ForeignSheet>& actual);

// Writes bytes to a file in a fresh temporary folder that lives as long as the process.
QString writeTempFile(const QString& name, const QByteArray& bytes);
QString sourcePath(const QString& relative);
