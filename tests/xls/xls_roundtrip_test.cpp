// What serialize writes, parse reads back unchanged; what the format cannot hold is refused.
#include "spreadsheet/xls/numbertext.h"
#include "spreadsheet/xls/xlsbook.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace {

QString randomText(std::mt19937& random) {
    static const char32_t alphabet[] = {
        U'a',  U'Z',  U'0', U' ',      U'.',          U'-',          U'\t',
        U'\n', U'"',  U',', U'é',      U'ß',          U'Ж',          U'中',
        U'文', U'한', U'€', U'\u00A0', U'\U0001F600', U'\U00020000', U'\U0001D11E'};
    std::uniform_int_distribution<int> kind(0, 999);
    const int k = kind(random);
    int length;
    if (k < 250) {
        return {}; // an empty cell
    }
    if (k < 995) {
        length = std::uniform_int_distribution<int>(1, 24)(random);
    } else {
        length = std::uniform_int_distribution<int>(3000, 12000)(random); // across CONTINUEs
    }
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(alphabet)) - 1);
    QString text;
    while (text.size() < length) {
        const char32_t c = alphabet[pick(random)];
        text += QString::fromUcs4(&c, 1);
    }
    return text;
}

// A book as parse returns it: no empty cells at the end of a row, no empty rows at the end.
xls::Book randomBook(uint32_t seed) {
    std::mt19937 random(seed);
    xls::Book book;
    const int sheets = std::uniform_int_distribution<int>(1, 4)(random);
    for (int s = 0; s < sheets; ++s) {
        xls::Sheet sheet;
        sheet.name = QStringLiteral("S%1 ").arg(s) +
                     randomText(random).left(20).remove(QRegularExpression("[:\\\\/?*\\[\\]]"));
        const int rows = std::uniform_int_distribution<int>(0, 120)(random);
        const int columns = std::uniform_int_distribution<int>(1, 40)(random);
        // Repeated texts share one entry of the string table.
        std::vector<QString> pool;
        for (int i = 0; i < 8; ++i) {
            pool.push_back(randomText(random));
        }
        for (int r = 0; r < rows; ++r) {
            std::vector<QString> row;
            const int width = std::uniform_int_distribution<int>(0, columns)(random);
            for (int c = 0; c < width; ++c) {
                row.push_back(random() % 3 ? randomText(random) : pool[random() % pool.size()]);
            }
            while (!row.empty() && row.back().isEmpty()) {
                row.pop_back();
            }
            sheet.rows.push_back(std::move(row));
        }
        while (!sheet.rows.empty() && sheet.rows.back().empty()) {
            sheet.rows.pop_back();
        }
        book.sheets.push_back(std::move(sheet));
    }
    return book;
}

std::string reasonOf(const xls::Book& book) {
    try {
        xls::serialize(book);
    } catch (const xls::FormatError& e) {
        return e.what();
    }
    return "(written)";
}

TEST(XlsRoundTrip, RandomBooksReadBackUnchanged) {
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        const xls::Book book = randomBook(seed);
        const xls::Book back = xls::parse(xls::serialize(book));
        ASSERT_EQ(back.sheets.size(), book.sheets.size()) << "seed " << seed;
        for (size_t s = 0; s < book.sheets.size(); ++s) {
            EXPECT_EQ(back.sheets[s].name, book.sheets[s].name) << "seed " << seed;
            EXPECT_TRUE(back.sheets[s].rows == book.sheets[s].rows)
                << "seed " << seed << " sheet " << s;
        }
    }
}

TEST(XlsRoundTrip, LimitsOfTheFormatAreWrittenAndBeyondThemRefused) {
    // The last row, the last column and the longest cell are written.
    xls::Book edge{{{QStringLiteral("Edge"), {}}}};
    edge.sheets[0].rows.resize(xls::kMaxRows);
    edge.sheets[0].rows.back().resize(xls::kMaxColumns);
    edge.sheets[0].rows.back().back() = QString(xls::kMaxCellChars, QChar(0x4E2D));
    edge.sheets[0].rows.front() = {QStringLiteral("first")};
    const xls::Book back = xls::parse(xls::serialize(edge));
    ASSERT_EQ(back.sheets.size(), 1u);
    EXPECT_TRUE(back.sheets[0].rows == edge.sheets[0].rows);

    // Empty cells beyond the limits are nothing to write.
    xls::Book trailing = edge;
    trailing.sheets[0].rows.resize(xls::kMaxRows + 5);
    trailing.sheets[0].rows.front().resize(xls::kMaxColumns + 5);
    EXPECT_NO_THROW(xls::serialize(trailing));

    xls::Book tooManyRows = edge;
    tooManyRows.sheets[0].rows.push_back({QStringLiteral("x")});
    EXPECT_NE(reasonOf(tooManyRows).find("more than 65536 rows"), std::string::npos);
    xls::Book tooManyColumns = edge;
    tooManyColumns.sheets[0].rows[3].resize(xls::kMaxColumns + 1);
    tooManyColumns.sheets[0].rows[3].back() = QStringLiteral("x");
    EXPECT_NE(reasonOf(tooManyColumns).find("more than 256 columns"), std::string::npos);
    xls::Book tooLong = edge;
    tooLong.sheets[0].rows[1] = {QString(), QString(xls::kMaxCellChars + 1, QChar(u'a'))};
    EXPECT_NE(reasonOf(tooLong).find("Cell B2"), std::string::npos);

    const auto named = [](std::vector<QString> names) {
        xls::Book book;
        for (const QString& n : names) {
            book.sheets.push_back({n, {{QStringLiteral("x")}}});
        }
        return book;
    };
    EXPECT_NE(reasonOf(named({})).find("at least one sheet"), std::string::npos);
    EXPECT_NE(reasonOf(named({QString()})).find("no name"), std::string::npos);
    EXPECT_NE(reasonOf(named({QString(32, QChar(u'n'))})).find("longer than 31"),
              std::string::npos);
    EXPECT_NE(reasonOf(named({QStringLiteral("a/b")})).find("character /"), std::string::npos);
    EXPECT_NE(reasonOf(named({QStringLiteral("Data"), QStringLiteral("DATA")})).find("Two sheets"),
              std::string::npos);
    EXPECT_EQ(reasonOf(named({QString(31, QChar(0x8868)), QStringLiteral("it's (1)")})),
              "(written)");
}

TEST(XlsRoundTrip, NumbersBecomeTheShortestTextThatReadsBackTheSame) {
    const std::pair<double, const char*> cases[] = {
        {1, "1"},
        {1.5, "1.5"},
        {-3, "-3"},
        {0.1, "0.1"},
        {12.3, "12.3"},
        {-0.0, "0"},
        {1e-5, "0.00001"},
        {1.5e-7, "1.5e-07"},
        {123456789012345, "123456789012345"},
        {1e15, "1e+15"},
        {2.5e20, "2.5e+20"},
        {45723.5, "45723.5"},
        {0.30000000000000004, "0.30000000000000004"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(xls::numberText(value), QString::fromLatin1(text)) << value;
    }

    std::mt19937_64 random(5);
    for (int i = 0; i < 20000; ++i) {
        const uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value)) {
            continue;
        }
        const QString text = xls::numberText(value);
        bool ok = false;
        EXPECT_EQ(text.toDouble(&ok), value == 0 ? 0.0 : value) << text.toStdString();
        EXPECT_TRUE(ok) << text.toStdString();
    }

    // RK values: integers and truncated doubles, each possibly divided by 100.
    EXPECT_EQ(xls::rkNumber((1234u << 2) | 3), 12.34);
    EXPECT_EQ(xls::rkNumber(static_cast<uint32_t>(-536870912) << 2 | 2), -536870912.0);
    EXPECT_EQ(xls::rkNumber(0x3FF80000u), 1.5);
}

} // namespace
