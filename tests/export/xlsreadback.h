#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Workbooks seen through another program: Python's xlrd reads them back, xlwt writes the ones
// "made by hand".

struct ReadSheet {
    QString name;
    QList<QStringList> rows; // every row padded to the sheet's width; numbers as Python's repr
};

struct ReadBook {
    QString error; // empty when xlrd read the file
    QList<ReadSheet> sheets;

    const ReadSheet* sheet(const QString& name) const;
};

ReadBook readWithXlrd(const QString& path);

// Writes one sheet of text cells (an empty text leaves the cell out). Returns an error text,
// empty on success.
QString writeWithXlwt(const QString& path, const QString& sheet, const QList<QStringList>& rows);
