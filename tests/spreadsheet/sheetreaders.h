#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// What other programs read from an .xls file: every sheet's name and cells as text (numbers
// as Python's repr of a float for xlrd, "%.15g" for libfreexl); trailing empty cells dropped.
struct ReadSheet {
    QString name;
    std::vector<QStringList> rows;
    bool operator==(const ReadSheet&) const = default;
};

struct ReadBook {
    bool ok = false;
    QString error;
    std::vector<ReadSheet> sheets;
    const ReadSheet* sheet(const QString& name) const;
};

ReadBook readWithXlrd(const QString& path);
ReadBook readWithFreexl(const QString& path);

// Runs /usr/bin/python3 with the script text and arguments; false with its stderr on failure.
bool runPython(const QString& script, const QStringList& arguments, QByteArray& output);

QByteArray fileBytes(const QString& path);
void writeFileBytes(const QString& path, const QByteArray& bytes);
// The names of the files in a folder, hidden ones included.
QStringList folderEntries(const QString& folder);
