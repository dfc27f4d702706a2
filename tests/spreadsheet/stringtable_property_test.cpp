// Generated string tables: every count, length and character width a workbook may hold, with
// strings ending on and around each record limit of the shared string table. Written into a
// new workbook and then appended by a write-back, they must come back in order from this
// program's reader and from xlrd.
#include "qtprinters.h"
#include "spreadsheet/xls/xlsbook.h"
#include "spreadsheet/xlsworkbookstore.h"
#include "workbookreaders.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

// Record data holds at most 8,224 bytes; the SST record starts with 8 bytes of counts, and a
// string with a 3-byte header (length and option byte).
constexpr int kRecordData = 8224;
constexpr int kSstCounts = 8;
constexpr int kStringHeader = 3;

const QString kWide = QString::fromUtf8("中文Ωж");
const QString kPair = QString::fromUtf8("\xF0\x9F\x98\x80"); // a surrogate pair

// A text of `length` characters: 8-bit (stored compressed) or with wide characters and
// surrogate pairs (stored as UTF-16), never ending inside a pair.
QString text(QRandomGenerator& random, int length, bool wide) {
    QString s;
    s.reserve(length);
    while (s.size() < length) {
        const int pick = int(random.bounded(8));
        if (wide && pick == 0 && s.size() + 2 <= length) {
            s += kPair;
        } else if (wide && pick < 3) {
            s += kWide[int(random.bounded(quint32(kWide.size())))];
        } else {
            s += QChar(u'a' + char16_t(random.bounded(26)));
        }
    }
    return s;
}

// Strings whose ends fall on every byte around the first record limits, then strings of
// random length and width.
std::vector<QString> generated(quint32 seed) {
    QRandomGenerator random(seed);
    std::vector<QString> strings;
    const int limitOffset = int(seed % 9) - 4; // -4 ... +4 bytes from the limit
    const int first = kRecordData - kSstCounts - kStringHeader + limitOffset;
    strings.push_back(text(random, first, false));
    // A wide string right after the limit, then one that crosses the next limit.
    strings.push_back(text(random, 1 + int(random.bounded(4)), seed % 2 == 0));
    strings.push_back(text(random, kRecordData / 2 + int(seed % 5), true));
    const int count = int(random.bounded(1, 400));
    for (int i = 0; i < count; ++i) {
        const int length =
            random.bounded(10) == 0 ? int(random.bounded(1, 12000)) : int(random.bounded(0, 40));
        strings.push_back(text(random, length, random.bounded(3) == 0));
    }
    return strings;
}

// One text per row in column A, under the header "A".
xls::Book bookOf(const std::vector<QString>& strings) {
    xls::Book book;
    book.sheets.push_back({QStringLiteral("Data"), {{QStringLiteral("A")}}});
    for (const QString& s : strings) {
        book.sheets[0].rows.push_back({s});
    }
    return book;
}

QString connection(const QString& path) {
    return QStringLiteral("DRIVER={x};DSN='';DBQ=%1").arg(path);
}

// Column A of the sheet as each reader sees it, the header left out; empty cells as "".
void expectColumn(const QString& path, const std::vector<QString>& expected, quint32 seed) {
    const xls::Book ours = xls::parse(fileBytes(path));
    ASSERT_EQ(ours.sheets.size(), 1u);
    const ReadBook xlrd = readWithXlrd(path);
    ASSERT_TRUE(xlrd.ok) << "seed " << seed << ": " << xlrd.error.toStdString();
    const QList<QStringList> xlrdRows = xlrd.sheets.at(0).rows;
    for (size_t i = 0; i < expected.size(); ++i) {
        const auto& row = i + 1 < ours.sheets[0].rows.size() ? ours.sheets[0].rows[i + 1]
                                                             : std::vector<QString>();
        ASSERT_EQ(row.empty() ? QString() : row[0], expected[i]) << "seed " << seed << " #" << i;
        ASSERT_EQ(xlrdRows.value(qsizetype(i) + 1).value(0), expected[i])
            << "seed " << seed << " #" << i;
    }
}

TEST(StringTableProperty, GeneratedStringsComeBackInOrderAfterWritingAndAppending) {
    for (quint32 seed = 1; seed <= 9; ++seed) {
        std::vector<QString> strings = generated(seed);
        // Half of them in the new workbook, the rest appended by a write-back, where the string
        // table grows from wherever the first half left it.
        const size_t written = seed % 3 == 0 ? 0 : strings.size() / 2;
        const std::vector<QString> first(strings.begin(), strings.begin() + qsizetype(written));
        const QString path =
            writeTempFile(QStringLiteral("strings%1.xls").arg(seed), xls::serialize(bookOf(first)));
        ASSERT_FALSE(path.isEmpty());
        expectColumn(path, first, seed);

        XlsWorkbookStore store;
        store.connect(connection(path));
        for (size_t i = written; i < strings.size(); ++i) {
            QString value = strings[i];
            value.replace(QLatin1Char('\''), QLatin1String("''"));
            store.execute(QStringLiteral("INSERT INTO [Data$A1:IV%1] ([A]) VALUES ('%2')")
                              .arg(i + 1)
                              .arg(value));
        }
        QString failure;
        ASSERT_TRUE(store.disconnect(failure)) << "seed " << seed << ": " << failure.toStdString();
        expectColumn(path, strings, seed);
    }
}

} // namespace
