// Crafted input that once cost far more than its size, or made the reader touch memory outside
// its buffers. The cost of a read is counted in the slots the reader charges to its budget
// (see ReadBudget): a read that succeeds with a budget of n slots allocated at most n.
#include "biffcraft.h"
#include "spreadsheet/xls/bookreader.h"
#include "spreadsheet/xls/bookwriter.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/cfbwriter.h"
#include "spreadsheet/xls/keptbook.h"
#include "spreadsheet/xls/xlsbook.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace craft;

constexpr uint16_t kSst = 0x00FC;
constexpr uint16_t kContinue = 0x003C;
constexpr uint16_t kLabel = 0x0204;
constexpr uint16_t kLabelSst = 0x00FD;
constexpr uint16_t kRow = 0x0208;
constexpr uint16_t kWorksheet = 0x0010;

// "(read)" or the FormatError's reason; any other exception fails the calling test.
std::string outcome(const QByteArray& stream, qsizetype maxSlots = xls::kDefaultMaxSlots) {
    try {
        xls::readWorkbook(stream, maxSlots);
    } catch (const xls::FormatError& e) {
        return e.what();
    }
    return "(read)";
}

QByteArray rowRecord(uint16_t row, uint16_t firstColumn, uint16_t endColumn) {
    return record(kRow, u16(row) + u16(firstColumn) + u16(endColumn) + u16(0xFF) + u32(0) +
                            u32(0x0F0100));
}

QByteArray sharedTextCell(uint16_t row, uint16_t column, uint32_t index) {
    return record(kLabelSst, cell(row, column) + u32(index));
}

// Splits `data` into a record of `type` and CONTINUE records at the given lengths; what is
// left after the last length goes into one more CONTINUE.
QByteArray splitRecord(uint16_t type, const QByteArray& data, const std::vector<int>& lengths) {
    QByteArray out;
    qsizetype at = 0;
    for (size_t i = 0; i <= lengths.size(); ++i) {
        const qsizetype n = i < lengths.size() ? lengths[i] : data.size() - at;
        out += record(i == 0 ? type : kContinue, data.mid(at, n));
        at += n;
    }
    return out;
}

// A sheet whose cell A1 shows shared string 0.
QByteArray bookWithSharedStrings(const QByteArray& sstRecords) {
    return workbookStream(sstRecords,
                          {{QStringLiteral("S"), 0, kWorksheet, sharedTextCell(0, 0, 0)}});
}

QString cellA1(const QByteArray& stream) {
    const xls::Book book = xls::readWorkbook(stream);
    return book.sheets.at(0).rows.at(0).at(0);
}

// The characters of a string continued over several records, each continuation starting with
// the flags byte, with CONTINUE records of every length from zero up in between.
TEST(XlsHostileInput, StringsAcrossEmptyAndShortContinueRecordsReadWhole) {
    const QString text = QString::fromUtf8("Kohlenmonoxid ü 中文 end");
    std::mt19937 random(9);
    for (int variant = 0; variant < 400; ++variant) {
        const bool highByte = variant % 2;
        const QString shown = highByte ? text : QStringLiteral("Kohlenmonoxid low end");
        const int charSize = highByte ? 2 : 1;
        // The SST's own record holds the counts and the string header.
        QByteArray records =
            record(kSst, u32(1) + u32(1) + u16(static_cast<uint16_t>(shown.size())) +
                             u8(highByte ? 1 : 0));
        const QByteArray characters = chars(shown, highByte);
        qsizetype at = 0;
        while (at < characters.size()) {
            // Empty CONTINUE records carry nothing, not even the flags byte.
            for (int empty = static_cast<int>(random() % 3); empty > 0; --empty) {
                records += record(kContinue, {});
            }
            const qsizetype n =
                std::min<qsizetype>(characters.size() - at, charSize * (1 + random() % 5));
            records += record(kContinue, u8(highByte ? 1 : 0) + characters.mid(at, n));
            at += n;
        }
        if (variant % 3 == 0) {
            records += record(kContinue, {});
        }
        ASSERT_EQ(cellA1(bookWithSharedStrings(records)), shown) << "variant " << variant;
    }
}

// Every split of a shared string table and a text cell, zero-length pieces included, either
// reads the right text or is refused; truncated after any byte, it is refused or read short.
TEST(XlsHostileInput, EveryRecordLengthIsBoundsChecked) {
    const QByteArray sst = u32(2) + u32(2) + unicodeString(QStringLiteral("first"), false) +
                           u16(6) + u8(0x09) + u16(1) + chars(QStringLiteral("second"), true) +
                           u32(0x00010000);
    for (int first = 0; first <= sst.size(); ++first) {
        for (int second = 0; first + second <= sst.size(); ++second) {
            const QByteArray records = splitRecord(kSst, sst, {first, second, 0});
            const std::string result = outcome(bookWithSharedStrings(records));
            EXPECT_TRUE(result == "(read)" || result.find("damaged") != std::string::npos)
                << result;
            for (qsizetype cut = 0; cut < records.size(); cut += 3) {
                outcome(bookWithSharedStrings(records.left(cut)));
            }
        }
    }
    const QByteArray label = cell(0, 0) + unicodeString(QStringLiteral("label text"), true);
    for (int first = 0; first <= label.size(); ++first) {
        const QByteArray cells = splitRecord(kLabel, label, {first, 0});
        const QByteArray stream = workbookStream({}, {{QStringLiteral("S"), 0, kWorksheet, cells}});
        const std::string result = outcome(stream);
        EXPECT_TRUE(result == "(read)" || result.find("damaged") != std::string::npos) << result;
    }
}

// A thousand empty sheets, each with one ROW record at the last row (a row with a height or a
// format but no cell), cost nothing: ROW records make no row until a cell arrives.
TEST(XlsHostileInput, RowRecordsAloneCostNothing) {
    std::vector<SheetPart> sheets;
    for (int i = 0; i < 1000; ++i) {
        sheets.push_back({QStringLiteral("S%1").arg(i), 0, kWorksheet, rowRecord(65535, 0, 256)});
    }
    const QByteArray stream = workbookStream({}, sheets);
    ASSERT_LT(stream.size(), 70 * 1024);
    const xls::Book book = xls::readWorkbook(stream, 0);
    ASSERT_EQ(book.sheets.size(), 1000u);
    for (const xls::Sheet& sheet : book.sheets) {
        EXPECT_TRUE(sheet.rows.empty());
    }
    EXPECT_EQ(xls::parse(xls::writeCompoundFile(stream)).sheets.size(), 1000u);
}

// A cell in the last row costs the rows above it, charged like cells; the width a ROW record
// announces is made with the row's first cell and charged too.
TEST(XlsHostileInput, RowsAreChargedLikeCells) {
    const QByteArray sst =
        record(kSst, u32(1) + u32(1) + unicodeString(QStringLiteral("x"), false));
    const QByteArray lastRow =
        workbookStream(sst, {{QStringLiteral("S"), 0, kWorksheet, sharedTextCell(65535, 0, 0)}});
    EXPECT_EQ(outcome(lastRow, 65536 + 1), "(read)");
    EXPECT_NE(outcome(lastRow, 65536).find("too large"), std::string::npos);

    const QByteArray announced = workbookStream(
        sst,
        {{QStringLiteral("S"), 0, kWorksheet, rowRecord(0, 0, 200) + sharedTextCell(0, 0, 0)}});
    EXPECT_EQ(outcome(announced, 1 + 200), "(read)");
    EXPECT_NE(outcome(announced, 200), "(read)");
    // The announced width is not kept once the empty cells are trimmed.
    const xls::Book book = xls::readWorkbook(announced);
    EXPECT_EQ(book.sheets.at(0).rows.at(0).size(), 1u);
    EXPECT_EQ(book.sheets.at(0).rows.at(0).capacity(), 1u);
    // A row announced as wide as the sheet, as Gnumeric writes every row, costs its cells.
    QByteArray wholeWidth;
    for (uint16_t r = 0; r < 1000; ++r) {
        wholeWidth += rowRecord(r, 0, 256) + sharedTextCell(r, 0, 0);
    }
    EXPECT_EQ(outcome(workbookStream(sst, {{QStringLiteral("S"), 0, kWorksheet, wholeWidth}}),
                      2 * 1024 + 1000),
              "(read)");

    // A thousand sheets of one cell in the last row would take 1.5 GB in rows: a file of 70 KB
    // is refused long before, with the default budget.
    std::vector<SheetPart> sheets;
    for (int i = 0; i < 1000; ++i) {
        sheets.push_back(
            {QStringLiteral("S%1").arg(i), 0, kWorksheet, sharedTextCell(65535, 0, 0)});
    }
    const QByteArray many = workbookStream(sst, sheets);
    ASSERT_LT(many.size(), 70 * 1024);
    EXPECT_NE(outcome(many).find("too large"), std::string::npos);
}

// Thousands of BOUNDSHEET records pointing at one BOF followed by many empty CONTINUE records:
// each would read the same records again.
TEST(XlsHostileInput, SheetsListedOverOneAnotherAreReadOnce) {
    QByteArray continues;
    for (int i = 0; i < 5000; ++i) {
        continues += record(kContinue, {});
    }
    const int copies = 2000;
    QByteArray bounds;
    const qsizetype globalsSize = bof(0x0005).size() + copies * 13 + eof().size();
    for (int i = 0; i < copies; ++i) {
        bounds += record(0x0085, u32(static_cast<uint32_t>(globalsSize)) + u8(0) + u8(0) + u8(1) +
                                     u8(0) + "S");
    }
    const QByteArray stream = bof(0x0005) + bounds + eof() + bof(kWorksheet) + continues + eof();
    EXPECT_NE(outcome(stream).find("overlap"), std::string::npos);
}

TEST(XlsHostileInput, TheNumberOfSheetsIsBounded) {
    QByteArray bounds;
    for (int i = 0; i <= xls::kMaxSheets; ++i) {
        bounds += record(0x0085, u32(0) + u8(0) + u8(2) + u8(1) + u8(0) + "C");
    }
    const QByteArray stream = bof(0x0005) + bounds + eof();
    EXPECT_NE(outcome(stream).find("more than 10000 sheets"), std::string::npos);
}

// Directory entries that all point at the sectors of one stream: each would be read again.
TEST(XlsHostileInput, CompoundFileStreamsSharingSectorsAreRefused) {
    QByteArray cells;
    for (uint16_t r = 0; r < 400; ++r) {
        cells += record(kLabel, cell(r, 0) + unicodeString(QStringLiteral("row text"), false));
    }
    const QByteArray stream = workbookStream({}, {{QStringLiteral("S"), 0, kWorksheet, cells}});
    ASSERT_GE(stream.size(), 4096); // in regular sectors
    QByteArray file = compoundFile(stream);
    ASSERT_NO_THROW(xls::parseKeeping(file));
    // Entries 2 and 3 of the directory (sector 1) become streams over the Workbook's sectors,
    // hung below the Workbook entry in the tree.
    const qsizetype directory = 512 + 512;
    auto put16 = [&](qsizetype at, uint16_t v) {
        file.replace(at, 2, u16(v));
    };
    auto put32 = [&](qsizetype at, uint32_t v) {
        file.replace(at, 4, u32(v));
    };
    for (int entry : {2, 3}) {
        const qsizetype e = directory + 128 * entry;
        put16(e, entry == 2 ? u'A' : u'B');
        put16(e + 64, 4);
        file[e + 66] = 2;
        put32(e + 116, xls::bytes::u32(file.constData() + directory + 128 + 116));
        put32(e + 120, static_cast<uint32_t>(stream.size()));
    }
    put32(directory + 128 + 68, 2);
    put32(directory + 128 + 72, 3);
    EXPECT_EQ(xls::parse(file).sheets.size(), 1u); // the Workbook stream alone reads
    try {
        xls::parseKeeping(file);
        ADD_FAILURE() << "read";
    } catch (const xls::FormatError& e) {
        EXPECT_NE(std::string(e.what()).find("share sectors"), std::string::npos) << e.what();
    }
}

// The program's own day workbook at 60,000 rows reads, and costs its cells and rows.
TEST(XlsHostileInput, AGenuineSixtyThousandRowSheetReads) {
    constexpr int kRows = 60000;
    constexpr int kColumns = 7;
    xls::Book book{{{QStringLiteral("Storage"), {}}}};
    auto& rows = book.sheets[0].rows;
    rows.reserve(kRows + 1);
    for (int r = 0; r <= kRows; ++r) {
        std::vector<QString> row;
        row.reserve(kColumns);
        row.push_back(QStringLiteral("2025-03-07  %1").arg(r));
        for (int c = 1; c < kColumns; ++c) {
            row.push_back(c % 3 == 2 ? QStringLiteral("%1.%2").arg(r % 97).arg(c)
                                     : QStringLiteral("CO      "));
        }
        rows.push_back(std::move(row));
    }
    const QByteArray stream = xls::writeWorkbookStream(book);
    const qsizetype cells = qsizetype{kRows + 1} * kColumns;
    const xls::Book read = xls::readWorkbook(stream, cells + xls::kMaxRows);
    ASSERT_EQ(read.sheets.at(0).rows.size(), size_t{kRows + 1});
    EXPECT_EQ(read.sheets[0].rows[kRows], rows[kRows]);
    EXPECT_EQ(xls::parse(xls::writeCompoundFile(stream)).sheets.at(0).rows.size(),
              size_t{kRows + 1});
}

} // namespace
