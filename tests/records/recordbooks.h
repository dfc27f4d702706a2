#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// Day workbooks for tests, written by the program's own .xls writer.

// "Time", then "CHn Gas", "CHn Conc", "CHn Unit" for channels 1 to `channels`.
QStringList recordCaptions(int channels);

// A record row: the time text, then gas, reading and unit of each channel as given.
struct ChannelTexts {
    QString gas;
    QString reading;
    QString unit;
};
QStringList recordRow(const QString& time, const QList<ChannelTexts>& channels);

// Writes a workbook whose sheet `sheet` holds the rows (the first row the captions). Returns
// an error text, empty on success.
QString writeWorkbook(const QString& path, const QList<QStringList>& rows,
                      const QString& sheet = QStringLiteral("Storage"));

// A six-channel day of `records` records three seconds apart from 00:00:00, readings varying.
QList<QStringList> sixChannelDay(int records);

QByteArray bytesOf(const QString& path);

// Content, change time and inode of a file: what reading it must leave as it was.
struct FileState {
    QByteArray bytes;
    qint64 modifiedNs = 0;
    ino_t inode = 0;
    bool operator==(const FileState&) const = default;
};
FileState stateOf(const QString& path);
