#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <optional>

// The time of a record as the instrument's clock showed it: seconds since 1970-01-01 00:00:00
// of that wall clock. The instrument knows no time zone and no daylight saving, so neither does
// this number; two records an hour apart on the instrument are 3600 apart here whatever the
// computer's zone did in between.
using RecordTime = qint64;

// Reads the time cell of a record row. The program writes "2024-03-05  14:07:09" (two blanks
// between date and time); one blank or a "T" are taken as well, and so is a spreadsheet date
// number ("45356.588298611"), which is what the time becomes when someone lets a spreadsheet
// program turn the texts into dates. Fields of two or three digits are read as they come; a
// date or time that no calendar holds (month 13, minute 60) is no time: nothing is returned.
std::optional<RecordTime> parseRecordTime(QStringView text);

// "2024-03-05  14:07:09", the way the program writes record times.
QString recordTimeText(RecordTime time);

// "2024-03-05T14:07:09", ISO 8601 without a zone (the instrument's wall clock).
QString isoRecordTime(RecordTime time);
