// Generated string tables: every count, length and character width a workbook may hold, with
// strings ending on and around each record limit of the shared string table, and tables as
// other programs write them, with rich-text runs and phonetic data. Written into a new workbook
// or crafted, then appended to by a write-back, they must come back in order from this
// program's reader and from xlrd.
#include "biffcraft.h"
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
    for (quint32 seed = 1; seed <= 6; ++seed) {
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

using namespace craft;

// A string of another program's table: its text, and how many formatting runs and bytes of
// phonetic data follow its characters.
struct ForeignString {
    QString text;
    bool wide = false;
    int runs = 0;
    int phoneticBytes = 0;
};

// The SST record and its CONTINUE records as Excel splits them ([MS-XLS] 2.4.265 and 2.5.293):
// a string's header never split, its characters split between records with the option byte
// repeated (never inside a surrogate pair), its runs split between runs, its phonetic data
// anywhere.
QByteArray sstRecords(const std::vector<ForeignString>& strings) {
    std::vector<QByteArray> records{u32(uint32_t(strings.size())) + u32(uint32_t(strings.size()))};
    auto room = [&records] {
        return kRecordData - int(records.back().size());
    };
    for (const ForeignString& s : strings) {
        const uint8_t flags = uint8_t((s.wide ? 0x01 : 0) | (s.phoneticBytes > 0 ? 0x04 : 0) |
                                      (s.runs > 0 ? 0x08 : 0));
        QByteArray header = u16(uint16_t(s.text.size())) + u8(flags);
        header += s.runs > 0 ? u16(uint16_t(s.runs)) : QByteArray();
        header += s.phoneticBytes > 0 ? u32(uint32_t(s.phoneticBytes)) : QByteArray();
        const int unit = s.wide ? 2 : 1;
        if (room() < int(header.size()) + (s.text.isEmpty() ? 0 : unit)) {
            records.emplace_back();
        }
        records.back() += header;
        for (qsizetype at = 0; at < s.text.size();) {
            qsizetype count = std::min<qsizetype>(s.text.size() - at, room() / unit);
            if (count > 0 && at + count < s.text.size() &&
                s.text[at + count - 1].isHighSurrogate()) {
                --count;
            }
            if (count == 0) {
                records.push_back(u8(s.wide ? 1 : 0));
                continue;
            }
            records.back() += chars(s.text.mid(at, count), s.wide);
            at += count;
        }
        // A formatting run is never split; phonetic data may be split anywhere.
        for (int run = 0; run < s.runs; ++run) {
            if (room() < 4) {
                records.emplace_back();
            }
            records.back() += QByteArray(4, '\x01');
        }
        for (int left = s.phoneticBytes; left > 0;) {
            if (room() == 0) {
                records.emplace_back();
            }
            const int count = std::min(left, room());
            records.back() += QByteArray(count, '\x02');
            left -= count;
        }
    }
    QByteArray sst = record(0x00FC, records[0]);
    for (size_t i = 1; i < records.size(); ++i) {
        sst += record(0x003C, records[i]);
    }
    return sst;
}

std::vector<ForeignString> foreignStrings(quint32 seed) {
    QRandomGenerator random(seed);
    std::vector<ForeignString> strings{{QStringLiteral("A"), false, 0, 0}};
    const int count = int(random.bounded(1, 150));
    for (int i = 0; i < count; ++i) {
        ForeignString s;
        s.wide = random.bounded(3) == 0;
        const int length =
            random.bounded(10) == 0 ? int(random.bounded(1, 2000)) : int(random.bounded(1, 30));
        s.text = text(random, length, s.wide);
        s.runs = random.bounded(3) == 0 ? int(random.bounded(1, 100)) : 0;
        s.phoneticBytes = random.bounded(6) == 0 ? int(random.bounded(10, 600)) : 0;
        strings.push_back(std::move(s));
    }
    return strings;
}

TEST(StringTableProperty, TablesWithRunsAndPhoneticDataKeepTheirStringsWhenAppendedTo) {
    for (quint32 seed = 20; seed < 24; ++seed) {
        const std::vector<ForeignString> foreign = foreignStrings(seed);
        QByteArray cells;
        QByteArray formats;
        for (int i = 0; i < 16; ++i) {
            formats += record(0x00E0, QByteArray(20, '\0'));
        }
        std::vector<QString> strings;
        for (size_t i = 0; i < foreign.size(); ++i) {
            cells += record(0x00FD, cell(uint16_t(i), 0) + u32(uint32_t(i)));
            if (i > 0) {
                strings.push_back(foreign[i].text);
            }
        }
        // Small enough for the one allocation table sector of the crafted compound file.
        const QByteArray stream = workbookStream(formats + sstRecords(foreign),
                                                 {{QStringLiteral("Data"), 0, 0x10, cells}});
        ASSERT_LT(stream.size(), 120 * 512);
        const QString path =
            writeTempFile(QStringLiteral("foreign%1.xls").arg(seed), compoundFile(stream));
        ASSERT_FALSE(path.isEmpty());
        expectColumn(path, strings, seed);

        // New strings of every width appended after the last CONTINUE record.
        QRandomGenerator random(seed);
        XlsWorkbookStore store;
        store.connect(connection(path));
        for (int i = 0; i < 40; ++i) {
            strings.push_back(text(random, int(random.bounded(0, 3000)), i % 2 == 0));
            store.execute(QStringLiteral("INSERT INTO [Data$A1:IV%1] ([A]) VALUES ('%2')")
                              .arg(strings.size())
                              .arg(strings.back()));
        }
        QString failure;
        ASSERT_TRUE(store.disconnect(failure)) << "seed " << seed << ": " << failure.toStdString();
        expectColumn(path, strings, seed);
    }
}

} // namespace
