#include "workbookreaders.h"

#include "gastype/gasliststate.h"
#include "gastype/gasnametable.h"
#include "model/codetables.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class GasNameTableTest : public ::testing::Test {
protected:
    UserGases m_gases; // as at the start of a run
    QTemporaryDir m_tmp;
    QString m_path = m_tmp.path() + QStringLiteral("/parameter1.xls");
};

TEST_F(GasNameTableTest, MissingWorkbookGivesEmptyNamesAndCreatesNothing) {
    m_gases.names.fill(QStringLiteral("stale"));
    const StoredGasNames names = LoadUserGasNames(m_path, m_gases.names);
    for (int i = 0; i < kStoredGasNames; ++i) {
        EXPECT_EQ(names[i], QString()) << i;
        EXPECT_EQ(m_gases.names[i], QString()) << i;
    }
    EXPECT_EQ(m_gases.names[21], QStringLiteral("stale")) << "code 102 is never loaded";
    EXPECT_EQ(GasNameOf(81, m_gases.names), QString());
    EXPECT_FALSE(QFileInfo::exists(m_path));
}

TEST_F(GasNameTableTest, SavedNamesAreWrittenAsCellsAndLoadAfterRestart) {
    QStringList list(kGasListRows);
    list[0] = QStringLiteral("Methyl's gas");
    list[5] = QStringLiteral("二氧化碳 [mix]");
    list[19] = QStringLiteral("  padded  ");

    // Without an edit in this run the table is left alone.
    m_gases.names[0] = QStringLiteral("as loaded");
    EXPECT_TRUE(SaveGasList(list, m_path, m_gases));
    EXPECT_EQ(m_gases.names[0], QStringLiteral("as loaded"));

    // After an edit the table takes the list, and codes 101 and 102 become empty.
    m_gases.list.edited = true;
    m_gases.names[20] = m_gases.names[21] = QStringLiteral("x");
    EXPECT_TRUE(SaveGasList(list, m_path, m_gases));
    EXPECT_EQ(m_gases.names[0], list[0]);
    EXPECT_EQ(m_gases.names[20], QString());
    EXPECT_EQ(m_gases.names[21], QString());

    const ReadBook book = readWithXlrd(m_path);
    ASSERT_EQ(book.error, QString());
    const ReadSheet* sheet = book.sheet(QStringLiteral("GasType"));
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->rows.size(), 22);
    EXPECT_EQ(sheet->rows[0], (QStringList{QStringLiteral("Number"), QStringLiteral("Gas Type")}));
    EXPECT_EQ(sheet->rows[1], (QStringList{QStringLiteral("1"), list[0]}));
    EXPECT_EQ(sheet->rows[6], (QStringList{QStringLiteral("6"), list[5]}));
    EXPECT_EQ(sheet->rows[20], (QStringList{QStringLiteral("20"), list[19]}));
    EXPECT_EQ(sheet->rows[21], (QStringList{QStringLiteral("21"), QString()}));

    // A restart: the table starts empty and is filled from the workbook.
    m_gases.names.fill(QString());
    LoadUserGasNames(m_path, m_gases.names);
    EXPECT_EQ(GasNameOf(81, m_gases.names), list[0]);
    EXPECT_EQ(GasNameOf(86, m_gases.names), list[5]);
    EXPECT_EQ(GasNameOf(100, m_gases.names), list[19]);
    EXPECT_EQ(GasNameOf(82, m_gases.names), QString());
}

TEST_F(GasNameTableTest, HandMadeWorkbookLoadsDownToItsLastRowAndB22) {
    QList<QStringList> rows{{QStringLiteral("Number"), QStringLiteral("Gas Type")}};
    for (int n = 1; n <= 9; ++n) { // names only down to row 10
        rows << QStringList{QString::number(n), QStringLiteral("Gas %1").arg(n)};
    }
    while (rows.size() < 21) {
        rows << QStringList{};
    }
    rows << QStringList{QString(), QStringLiteral("Typed into B22")};
    ASSERT_EQ(writeWithXlwt(m_path, QStringLiteral("GasType"), rows), QString());

    const StoredGasNames names = LoadUserGasNames(m_path, m_gases.names);
    EXPECT_EQ(names[0], QStringLiteral("Gas 1"));
    EXPECT_EQ(names[8], QStringLiteral("Gas 9"));
    EXPECT_EQ(names[9], QString());
    EXPECT_EQ(names[19], QString());
    EXPECT_EQ(names[20], QStringLiteral("Typed into B22"));
    EXPECT_EQ(GasNameOf(101, m_gases.names), QStringLiteral("Typed into B22"));

    // The dialog never shows code 101, so the next save empties its cell.
    m_gases.list.edited = true;
    EXPECT_TRUE(
        SaveGasList(QStringList(names.begin(), names.begin() + kGasListRows), m_path, m_gases));
    const ReadBook book = readWithXlrd(m_path);
    const ReadSheet* sheet = book.sheet(QStringLiteral("GasType"));
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->rows.size(), 22);
    EXPECT_EQ(sheet->rows[9], (QStringList{QStringLiteral("9"), QStringLiteral("Gas 9")}));
    EXPECT_EQ(sheet->rows[21], (QStringList{QStringLiteral("21"), QString()}));
    EXPECT_EQ(GasNameOf(101, m_gases.names), QString());
}

} // namespace
