#include "records/recordtime.h"

#include <cmath>

namespace {

constexpr qint64 kSecondsPerDay = 86400;
// Spreadsheet day numbers count from 1899-12-30 (day 0): 25569 is 1970-01-01.
constexpr double kSpreadsheetEpochDay = 25569.0;
// 9999-12-31, the last day a spreadsheet program shows.
constexpr double kLastSpreadsheetDay = 2958465.0;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
qint64 daysFromCivil(qint64 year, unsigned month, unsigned day) {
    year -= month <= 2;
    const qint64 era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<qint64>(dayOfEra) - 719468;
}

struct Civil {
    qint64 year;
    unsigned month;
    unsigned day;
};

Civil civilFromDays(qint64 days) {
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<qint64>(yearOfEra) + era * 400 + (month <= 2), month, day};
}

bool isLeap(qint64 year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned daysInMonth(qint64 year, unsigned month) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : kDays[month - 1];
}

// Reads 1 to maxDigits decimal digits at `at`; false when there is none.
bool readNumber(QStringView text, qsizetype& at, int maxDigits, unsigned& value) {
    value = 0;
    int digits = 0;
    while (at < text.size() && digits < maxDigits && text[at] >= u'0' && text[at] <= u'9') {
        value = value * 10 + (text[at].unicode() - u'0');
        ++at;
        ++digits;
    }
    return digits > 0;
}

bool expect(QStringView text, qsizetype& at, char16_t c) {
    if (at < text.size() && text[at] == c) {
        ++at;
        return true;
    }
    return false;
}

std::optional<RecordTime> parseClockText(QStringView text) {
    qsizetype at = 0;
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!readNumber(text, at, 4, year) || at != 4 || !expect(text, at, u'-') ||
        !readNumber(text, at, 3, month) || !expect(text, at, u'-') ||
        !readNumber(text, at, 3, day)) {
        return std::nullopt;
    }
    // Two blanks from the program, one or a "T" from elsewhere.
    if (expect(text, at, u'T')) {
    } else if (expect(text, at, u' ')) {
        expect(text, at, u' ');
    } else {
        return std::nullopt;
    }
    if (!readNumber(text, at, 3, hour) || !expect(text, at, u':') ||
        !readNumber(text, at, 3, minute) || !expect(text, at, u':') ||
        !readNumber(text, at, 3, second) || at != text.size()) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59) {
        return std::nullopt;
    }
    return daysFromCivil(year, month, day) * kSecondsPerDay + qint64(hour) * 3600 +
           qint64(minute) * 60 + second;
}

std::optional<RecordTime> parseDayNumber(QStringView text) {
    bool ok = false;
    const double days = text.toDouble(&ok);
    if (!ok || !std::isfinite(days) || days < 1.0 || days >= kLastSpreadsheetDay + 1.0) {
        return std::nullopt;
    }
    return static_cast<RecordTime>(
        std::llround((days - kSpreadsheetEpochDay) * static_cast<double>(kSecondsPerDay)));
}

} // namespace

std::optional<RecordTime> parseRecordTime(QStringView text) {
    text = text.trimmed();
    if (text.isEmpty()) {
        return std::nullopt;
    }
    if (text.size() >= 14 && text[4] == u'-') {
        return parseClockText(text);
    }
    return parseDayNumber(text);
}

namespace {

QString formatTime(RecordTime time, QLatin1StringView separator) {
    qint64 days = time / kSecondsPerDay;
    qint64 seconds = time % kSecondsPerDay;
    if (seconds < 0) {
        seconds += kSecondsPerDay;
        --days;
    }
    const Civil date = civilFromDays(days);
    return QString::asprintf("%04lld-%02u-%02u", static_cast<long long>(date.year), date.month,
                             date.day) +
           separator +
           QString::asprintf("%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                             static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

} // namespace

QString recordTimeText(RecordTime time) {
    return formatTime(time, QLatin1StringView("  "));
}

QString isoRecordTime(RecordTime time) {
    return formatTime(time, QLatin1StringView("T"));
}
