// Files this module writes, read back by other programs' readers: xlrd and libfreexl.
#include "booksheets.h"
#include "spreadsheet/xls/xlsbook.h"

#include <gtest/gtest.h>

namespace {

const QString kEmoji = QString::fromUtf8("\xF0\x9F\x98\x80");           // U+1F600, a surrogate pair
const QString kExtB = QString::fromUtf8("\xF0\xA0\x80\x80");            // U+20000, a CJK character
const QString kChinese = QString::fromUtf8("\xE4\xB8\xAD\xE6\x96\x87"); // 中文

// Checks the file in both readers, or in xlrd alone.
void expectReaders(const xls::Book& book, const QString& fileName, bool alsoFreexl) {
    const QString path = writeTempFile(fileName, xls::serialize(book));
    ASSERT_FALSE(path.isEmpty());
    const auto expected = asReadSheets(book);

    const ReadBook xlrd = readWithXlrd(path);
    ASSERT_TRUE(xlrd.ok) << xlrd.error.toStdString();
    EXPECT_EQ(firstDifference(expected, xlrd.sheets).toStdString(), "")
        << "xlrd, " << fileName.toStdString();

    if (alsoFreexl) {
        const ReadBook freexl = readWithFreexl(path);
        ASSERT_TRUE(freexl.ok) << freexl.error.toStdString();
        EXPECT_EQ(firstDifference(expected, freexl.sheets).toStdString(), "")
            << "freexl, " << fileName.toStdString();
    }
}

std::vector<QString> recordRow(int index) {
    std::vector<QString> row{QStringLiteral("2025-03-07  %1").arg(index, 8, 10, QLatin1Char('0'))};
    for (int ch = 1; ch <= 6; ++ch) {
        row.push_back(QStringLiteral("CO      "));
        row.push_back(QStringLiteral("%1").arg((index * ch) % 1000 / 10.0, 6, 'f', 1));
        row.push_back(QStringLiteral("PPM"));
    }
    return row;
}

TEST(XlsWrittenFiles, UnicodeSpacesAndSeveralSheetsReadBackInBothReaders) {
    xls::Book book;
    xls::Sheet storage{QStringLiteral("Storage"), {}};
    std::vector<QString> header{QStringLiteral("Time")};
    for (int ch = 1; ch <= 6; ++ch) {
        header.push_back(QStringLiteral("CH%1 Gas").arg(ch));
        header.push_back(QStringLiteral("CH%1 Conc").arg(ch));
        header.push_back(QStringLiteral("CH%1 Unit").arg(ch));
    }
    storage.rows.push_back(header);
    for (int r = 0; r < 40; ++r) {
        storage.rows.push_back(recordRow(r));
    }
    book.sheets.push_back(storage);

    xls::Sheet unicode{kChinese + QStringLiteral(" Gase ") + kEmoji, {}};
    unicode.rows.push_back({QStringLiteral("  leading"), QStringLiteral("trailing  "),
                            QStringLiteral(" "), QStringLiteral("\tTab and\nnew line")});
    // An empty text in the middle of a row is an empty cell, not an empty string.
    unicode.rows.push_back({kChinese, QString(), kEmoji + kExtB + QStringLiteral("x") + kEmoji});
    unicode.rows.push_back({});
    unicode.rows.push_back({QString::fromUtf8("Grüße ÄÖÜ ß é ñ"), QString::fromUtf8("Ωμέγα Ж щ"),
                            QString::fromUtf8("日本語 한국어 עברית العربية")});
    book.sheets.push_back(unicode);
    book.sheets.push_back(
        {QStringLiteral("GasType"), {{QStringLiteral("Number"), QStringLiteral("Gas Type")}}});
    book.sheets.push_back({QStringLiteral("Empty"), {}});

    expectReaders(book, QStringLiteral("unicode.xls"), true);
}

// A string whose characters span several CONTINUE records, each repeating the flags byte; and
// surrogate pairs placed across every possible record boundary.
TEST(XlsWrittenFiles, StringsAcrossContinueRecordsReadBack) {
    xls::Book longStrings{{{QStringLiteral("Long"), {}}}};
    auto& rows = longStrings.sheets[0].rows;
    QString utf16Max;
    for (int i = 0; utf16Max.size() < xls::kMaxCellChars; ++i) {
        utf16Max.append(i % 7 == 0 ? QChar(u' ') : QChar(0x4E00 + i % 500));
    }
    utf16Max.truncate(xls::kMaxCellChars);
    QString latinMax(xls::kMaxCellChars, QChar(u'x'));
    for (int i = 0; i < latinMax.size(); i += 97) {
        latinMax[i] = QChar(0xE9); // é still fits in 8 bits
    }
    rows.push_back({utf16Max});
    rows.push_back({latinMax});
    rows.push_back({QString(9000, QChar(u'a')) + kChinese});
    expectReaders(longStrings, QStringLiteral("long.xls"), false);

    // Shift the pairs through the boundary with strings of growing length before them.
    xls::Book pairs{{{QStringLiteral("Pairs"), {}}}};
    QString emojiRun;
    for (int i = 0; i < 4200; ++i) {
        emojiRun += (i % 2 ? kEmoji : kExtB);
    }
    for (int shift = 0; shift < 6; ++shift) {
        pairs.sheets[0].rows.push_back({QString(shift + 1, QChar(u'-')), emojiRun});
    }
    expectReaders(pairs, QStringLiteral("pairs.xls"), false);

    // libfreexl reads strings that continue into one further record.
    xls::Book modest{{{QStringLiteral("Modest"), {}}}};
    modest.sheets[0].rows.push_back({QString(5000, QChar(u'b'))});
    modest.sheets[0].rows.push_back({QString(3000, QChar(0x4E2D))});
    modest.sheets[0].rows.push_back({QString(6000, QChar(u'c'))});
    expectReaders(modest, QStringLiteral("modest.xls"), true);
}

TEST(XlsWrittenFiles, FullHeightSheetAndDifatSizedFileReadBack) {
    // 65,536 rows, the last row of the format, and enough unique texts to pass ~7 MB so that
    // the FAT needs DIFAT sectors.
    xls::Book book{{{QStringLiteral("Storage"), {}}}};
    auto& rows = book.sheets[0].rows;
    rows.reserve(xls::kMaxRows);
    for (int r = 0; r < xls::kMaxRows; ++r) {
        std::vector<QString> row;
        for (int c = 0; c < 3; ++c) {
            row.push_back(QStringLiteral("row %1 column %2 reading %3").arg(r).arg(c).arg(r % 97));
        }
        rows.push_back(std::move(row));
    }
    rows.back().resize(xls::kMaxColumns);
    rows.back().back() = QStringLiteral("IV65536");
    book.sheets.push_back({QStringLiteral("Second"), {{QStringLiteral("after the big one")}}});

    const QByteArray file = xls::serialize(book);
    ASSERT_GT(file.size(), 7 * 1024 * 1024);
    expectReaders(book, QStringLiteral("big.xls"), true);
}

} // namespace
