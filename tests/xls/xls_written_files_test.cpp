#include "independentreaders.h"
#include "spreadsheet/xls/xlsbook.h"

#include <gtest/gtest.h>

namespace {

TEST(XlsWrittenFiles, SmallBookReadsBackInXlrdAndFreexl) {
    xls::Book book;
    book.sheets.push_back({QStringLiteral("Storage"),
                           {{QStringLiteral("Time"), QStringLiteral("CH1 Gas")},
                            {QStringLiteral("2025-03-07  14:07:09"), QStringLiteral("CO      ")}}});
    book.sheets.push_back({QStringLiteral("Other"), {{}, {QString(), QStringLiteral("x")}}});
    const QString path = writeTempFile(QStringLiteral("small.xls"), xls::serialize(book));

    const ForeignRead xlrd = readWithXlrd(path);
    ASSERT_TRUE(xlrd.ok) << xlrd.error.toStdString();
    EXPECT_EQ(firstDifference(asForeignSheets(book), xlrd.sheets).toStdString(), "");

    const ForeignRead freexl = readWithFreexl(path);
    ASSERT_TRUE(freexl.ok) << freexl.error.toStdString();
    EXPECT_EQ(firstDifference(asForeignSheets(book), freexl.sheets).toStdString(), "");

    const xls::Book back = xls::parse(xls::serialize(book));
    ASSERT_EQ(back.sheets.size(), 2u);
    EXPECT_EQ(back.sheets[0].rows, book.sheets[0].rows);
    EXPECT_EQ(back.sheets[1].rows, book.sheets[1].rows);
}

} // namespace
