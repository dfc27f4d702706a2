#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

// A day workbook of the record folder, known by its name: "C4-25-03-07.xls" holds the records
// of four-channel instruments written on 7 March 2025, "C6-..." those of six-channel ones, and
// "C4-25-03-07 (2).xls" the records that went on after the first workbook of that day was full.
struct DayWorkbook {
    QString path;
    QString fileName;
    QDate date;
    int channels = 0;
    int part = 1;
    QDateTime modified;
    qint64 size = 0;
};

std::optional<DayWorkbook> dayWorkbookFromName(const QString& fileName);

// The day workbooks in the folder, newest first (by date, then part, then last change).
std::vector<DayWorkbook> listDayWorkbooks(const QString& folder);
