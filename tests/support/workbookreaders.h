#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

// Workbooks seen through other programs: Python's xlrd (what pandas reads .xls files with) and
// libfreexl read them back, xlwt writes the ones "made by hand". Every test that reads a
// workbook back reads it through here.

struct ReadSheet {
    QString name;
    // The cells as text, every row padded to the sheet's width with "": strings as they are,
    // numbers as Python's repr of a float for xlrd and "%.15g" for libfreexl.
    QList<QStringList> rows;
    // The cells as the reader typed them: a string for text, a double for numbers, an object
    // for booleans ({"bool": 0|1}) and error values ({"error": code}), null for empty. Empty
    // cells at the end of a row and empty rows at the end of the sheet are left out.
    std::vector<std::vector<QJsonValue>> cells;

    // `rows` without the empty cells at the end of each row and the empty rows at the end.
    QList<QStringList> trimmedRows() const;
};

struct ReadBook {
    bool ok = false;
    QString error; // the reader's own reason when it refused the file
    QList<ReadSheet> sheets;

    const ReadSheet* sheet(const QString& name) const;
};

ReadBook readWithXlrd(const QString& path);
ReadBook readWithFreexl(const QString& path);

// Writes one sheet of text cells (an empty text leaves the cell out). Returns an error text,
// empty on success.
QString writeWithXlwt(const QString& path, const QString& sheet, const QList<QStringList>& rows);

// Empty when the typed cells of the sheets are equal, else a description of the first
// difference.
QString firstDifference(const QList<ReadSheet>& expected, const QList<ReadSheet>& actual);

// Runs /usr/bin/python3 with the script text and arguments; false with its stderr on failure.
bool runPython(const QString& script, const QStringList& arguments, QByteArray& output);

QByteArray fileBytes(const QString& path);
void writeFileBytes(const QString& path, const QByteArray& bytes);
// The names of the files in a folder, hidden ones included.
QStringList folderEntries(const QString& folder);
// Writes bytes to a file in a fresh temporary folder that lives as long as the process.
QString writeTempFile(const QString& name, const QByteArray& bytes);
QString sourcePath(const QString& relative);
