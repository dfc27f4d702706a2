// Workbooks written by other programs: xlwt files, and hand-made records of the kinds Excel,
// LibreOffice and others write (numbers, formulas with cached results, inline and rich
// strings, mini streams), plus the files that must be refused with a reason.
#include "biffcraft.h"
#include "booksheets.h"
#include "spreadsheet/xls/numbertext.h"
#include "spreadsheet/xls/xlsbook.h"

#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

using namespace craft;

QString text(const xls::Book& book, size_t sheet, size_t row, size_t column) {
    if (sheet >= book.sheets.size() || row >= book.sheets[sheet].rows.size() ||
        column >= book.sheets[sheet].rows[row].size()) {
        return QStringLiteral("(missing)");
    }
    return book.sheets[sheet].rows[row][column];
}

std::string reasonOf(const QByteArray& file) {
    try {
        xls::parse(file);
    } catch (const xls::FormatError& e) {
        return e.what();
    }
    return "(parsed)";
}

QByteArray formula(uint16_t row, uint16_t column, const QByteArray& result) {
    const QByteArray tokens = u8(0x1E) + u16(1); // the constant 1: any formula will do
    return record(0x0006, cell(row, column) + result + u16(0) + u32(0) +
                              u16(static_cast<uint16_t>(tokens.size())) + tokens);
}

QByteArray specialResult(uint8_t kind, uint8_t value) {
    return u8(kind) + u8(0) + u8(value) + u8(0) + u16(0) + u16(0xFFFF);
}

uint32_t rkInteger(int32_t value, bool times100) {
    return (static_cast<uint32_t>(value) << 2) | 0x02 | (times100 ? 0x01 : 0);
}

uint32_t rkFloat(double value, bool times100) {
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    return static_cast<uint32_t>(bits >> 32) | (times100 ? 0x01 : 0);
}

TEST(XlsForeignFiles, EveryCellRecordKindReadsAsText) {
    QByteArray s;
    s += record(0x0200, u32(0) + u32(1) + u16(0) + u16(1) + u16(0)); // deliberately too small
    s += record(0x0208, u16(0) + u16(0) + u16(1) + u16(0xFF) + u32(0) + u16(0x100) + u16(15));
    s += record(0x0204, cell(0, 0) + unicodeString(QStringLiteral("label 8-bit"), false));
    s += record(0x0204, cell(0, 1) + unicodeString(QString::fromUtf8("标签 ü"), true));
    s +=
        record(0x00D6, cell(0, 2) + unicodeString(QStringLiteral("rich"), false) + u16(1) + u32(0));
    s += record(0x0203, cell(1, 0) + f64(1.5));
    s += record(0x0203, cell(1, 1) + f64(1e20));
    s += record(0x0203, cell(1, 2) + f64(-0.1));
    s += record(0x0203, cell(1, 3) + f64(123456789012345.0));
    s += record(0x0203, cell(1, 4) + f64(1e15));
    s += record(0x0203, cell(1, 5) + f64(0.00012));
    s += record(0x027E, cell(2, 0) + u32(rkInteger(42, false)));
    s += record(0x027E, cell(2, 1) + u32(rkInteger(1234, true)));
    s += record(0x027E, cell(2, 2) + u32(rkFloat(1.5, false)));
    s += record(0x027E, cell(2, 3) + u32(rkFloat(314.0, true)));
    s += record(0x027E, cell(2, 4) + u32(rkInteger(-7, false)));
    s += record(0x0201, cell(3, 0));
    s +=
        record(0x00BD, u16(3) + u16(2) + u16(15) + u32(rkInteger(1, false)) + u16(15) +
                           u32(rkFloat(2.5, false)) + u16(15) + u32(rkInteger(-3, false)) + u16(4));
    s += record(0x00BE, u16(3) + u16(5) + u16(15) + u16(15) + u16(15) + u16(7));
    s += record(0x0205, cell(4, 0) + u8(1) + u8(0));
    s += record(0x0205, cell(4, 1) + u8(0) + u8(0));
    s += record(0x0205, cell(4, 2) + u8(0x07) + u8(1));
    s += record(0x0205, cell(4, 3) + u8(0x2A) + u8(1));
    s += formula(5, 0, f64(2.25));
    s += formula(5, 1, specialResult(0, 0));
    s += record(0x0221, QByteArray(14, '\0')); // an ARRAY record may sit before the STRING
    // The formula's text goes on in a CONTINUE record that switches to UTF-16.
    s += record(0x0207, u16(10) + u8(0) + chars(QStringLiteral("formula "), false));
    s += record(0x003C, u8(1) + chars(QString::fromUtf8("文字"), true));
    s += formula(5, 2, specialResult(1, 1));
    s += formula(5, 3, specialResult(2, 0x17));
    s += formula(5, 4, specialResult(3, 0));
    // An embedded chart brings its own substream; its records are not cells of the sheet.
    s += bof(0x0020) + record(0x0204, cell(9, 9) + unicodeString(QStringLiteral("chart"), false)) +
         eof();
    s += record(0x0204, cell(7, 0) + unicodeString(QStringLiteral("after the chart"), false));

    const QByteArray file =
        compoundFile(workbookStream({}, {{QStringLiteral("Cells"), 0, 0x10, s}}));
    const xls::Book book = xls::parse(file);
    ASSERT_EQ(book.sheets.size(), 1u);
    const std::vector<std::vector<QString>> expected = {
        {"label 8-bit", QString::fromUtf8("标签 ü"), "rich"},
        {"1.5", "1e+20", "-0.1", "123456789012345", "1e+15", "0.00012"},
        {"42", "12.34", "1.5", "3.14", "-7"},
        {"", "", "1", "2.5", "-3"},
        {"TRUE", "FALSE", "#DIV/0!", "#N/A"},
        {"2.25", QString::fromUtf8("formula 文字"), "TRUE", "#REF!"},
        {},
        {"after the chart"},
    };
    EXPECT_EQ(book.sheets[0].rows, expected);
}

TEST(XlsForeignFiles, SharedStringsWithRunsPhoneticDataAndContinueSplits) {
    const auto str = [](const QString& t, uint8_t flags) {
        return u16(static_cast<uint16_t>(t.size())) + u8(flags);
    };
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    QByteArray p0 = u32(10) + u32(10);
    p0 += str("plain", 0) + "plain";
    p0 += str("Rich", 0x08) + u16(2) + "Rich" + QByteArray(8, '\x01');
    p0 += str(QString::fromUtf8("日本"), 0x05) + u32(10) + chars(QString::fromUtf8("日本"), true) +
          QByteArray(10, '\x02');
    p0 += str("ab", 0x0C) + u16(1) + u32(6) + "ab" + QByteArray(4, '\x03') + QByteArray(6, '\x04');
    p0 += u16(12) + u8(0) + "Hello"; // goes on as UTF-16 in the next record
    QByteArray p1 = u8(1) + chars(QString::fromUtf8("中文World"), true);
    p1 += str("Runs", 0x08) + u16(2) + "Runs" + QByteArray(3, '\x05'); // runs split 3 | 5
    QByteArray p2 = QByteArray(5, '\x05');
    QByteArray p3 = str("fresh", 0) + "fresh";
    p3 += str("Ext", 0x04) + u32(8) + "Ext" + QByteArray(3, '\x06'); // phonetic split 3 | 5
    QByteArray p4 = QByteArray(5, '\x06');
    p4 += u16(5) + u8(1) + chars(QString::fromUtf8("ÄÖ"), true); // goes on 8-bit
    QByteArray p5 = u8(0) + "xyz";
    p5 += u16(3) + u8(1) + chars(QStringLiteral("a") + emoji.at(0), true); // pair split
    QByteArray p6 = u8(1) + chars(emoji.mid(1), true);
    const QByteArray sst = record(0x00FC, p0) + record(0x003C, p1) + record(0x003C, p2) +
                           record(0x003C, p3) + record(0x003C, p4) + record(0x003C, p5) +
                           record(0x003C, p6);
    QByteArray cells;
    for (uint16_t i = 0; i < 10; ++i) {
        cells += record(0x00FD, cell(i, 0) + u32(i));
    }

    const xls::Book book =
        xls::parse(compoundFile(workbookStream(sst, {{QStringLiteral("S"), 0, 0x10, cells}})));
    const QStringList expected = {"plain",
                                  "Rich",
                                  QString::fromUtf8("日本"),
                                  "ab",
                                  QString::fromUtf8("Hello中文World"),
                                  "Runs",
                                  "fresh",
                                  "Ext",
                                  QString::fromUtf8("ÄÖxyz"),
                                  QStringLiteral("a") + emoji};
    ASSERT_EQ(book.sheets.size(), 1u);
    for (int i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(text(book, 0, i, 0), expected[i]) << "string " << i;
    }

    // A cell that refers past the table is damage, not an empty cell.
    const QByteArray bad = record(0x00FD, cell(0, 0) + u32(10));
    EXPECT_NE(reasonOf(compoundFile(workbookStream(sst, {{QStringLiteral("S"), 0, 0x10, bad}})))
                  .find("damaged"),
              std::string::npos);
}

TEST(XlsForeignFiles, SheetKindsContainersAndMisplacedOffsets) {
    const auto label = [](uint16_t row, const char* t) {
        return record(0x0204, cell(row, 0) + unicodeString(QString::fromUtf8(t), false));
    };
    std::vector<SheetPart> parts = {
        {QStringLiteral("Visible"), 0, 0x10, label(0, "v")},
        {QStringLiteral("Chart1"), 2, 0x20, {}},
        {QString::fromUtf8("Verborgen ü"), 0, 0x10, label(1, "h"), true},
        {QStringLiteral("Macro1"), 1, 0x40, label(0, "m")},
    };
    const auto check = [](const xls::Book& book, const std::string& what) {
        ASSERT_EQ(book.sheets.size(), 2u) << what;
        EXPECT_EQ(book.sheets[0].name, QStringLiteral("Visible")) << what;
        EXPECT_EQ(text(book, 0, 0, 0), QStringLiteral("v")) << what;
        EXPECT_EQ(book.sheets[1].name, QString::fromUtf8("Verborgen ü")) << what;
        EXPECT_EQ(text(book, 1, 1, 0), QStringLiteral("h")) << what;
    };
    const QByteArray stream = workbookStream({}, parts);
    ASSERT_LT(stream.size(), 4096); // so that it lands in the mini stream
    check(xls::parse(compoundFile(stream)), "mini stream, 512-byte sectors");
    check(xls::parse(compoundFile(stream, QStringLiteral("Workbook"), 12)), "4096-byte sectors");
    QByteArray padded = stream + QByteArray(6000, '\0');
    check(xls::parse(compoundFile(padded, QStringLiteral("WORKBOOK"), 12)), "regular, version 4");
    // Offsets that miss the sheets' BOF records: the sheets are found in their order instead.
    check(xls::parse(compoundFile(workbookStream({}, parts, 7))), "shifted offsets");
}

TEST(XlsForeignFiles, OlderEncryptedAndOtherOfficeFilesAreRefusedWithReasons) {
    const QByteArray sheet = record(0x0204, cell(0, 0) + unicodeString(QStringLiteral("x"), false));
    const QByteArray biff8 = workbookStream({}, {{QStringLiteral("S"), 0, 0x10, sheet}});
    QByteArray biff5 = biff8;
    biff5[4] = 0x00; // BOF version 0x0500
    biff5[5] = 0x05;
    EXPECT_NE(reasonOf(compoundFile(biff5, QStringLiteral("Book"))).find("Excel 5.0/95"),
              std::string::npos);
    EXPECT_NE(reasonOf(compoundFile(biff5)).find("Excel 5.0/95"), std::string::npos);
    const QByteArray filePass = record(0x002F, u16(1) + QByteArray(52, '\x11'));
    EXPECT_NE(
        reasonOf(compoundFile(workbookStream(filePass, {{QStringLiteral("S"), 0, 0x10, sheet}})))
            .find("password"),
        std::string::npos);
    EXPECT_NE(reasonOf(compoundFile(biff8, QStringLiteral("EncryptedPackage"))).find("password"),
              std::string::npos);
    EXPECT_NE(reasonOf(compoundFile(biff8, QStringLiteral("WordDocument"))).find("Word"),
              std::string::npos);
    EXPECT_NE(reasonOf(compoundFile(bof(0x0010) + sheet + eof())).find("no Excel workbook"),
              std::string::npos);
}

// What our parser must read where xlrd reads these values: numbers by the number text rule,
// booleans as TRUE and FALSE, xlrd's empty formula strings as empty cells.
QList<ReadSheet> asTexts(QList<ReadSheet> sheets) {
    for (ReadSheet& sheet : sheets) {
        for (auto& row : sheet.cells) {
            for (QJsonValue& cell : row) {
                if (cell.isDouble()) {
                    cell = xls::numberText(cell.toDouble());
                } else if (cell.isObject()) {
                    cell = cell.toObject().value(QStringLiteral("bool")).toInt() ? "TRUE" : "FALSE";
                } else if (cell == QJsonValue(QString())) {
                    cell = QJsonValue();
                }
            }
        }
    }
    return sheets;
}

TEST(XlsForeignFiles, XlwtWorkbookLoadsAndSurvivesRewriteCellForCell) {
    const QString original = writeTempFile(QStringLiteral("xlwt.xls"), {});
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {sourcePath(QStringLiteral("tests/xls/xlwt_make.py")), original});
    ASSERT_TRUE(python.waitForFinished(60000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    QFile file(original);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const xls::Book book = xls::parse(file.readAll());

    ASSERT_EQ(book.sheets.size(), 4u);
    EXPECT_EQ(book.sheets[1].name, QString::fromUtf8("Ünïcödé 表"));
    EXPECT_EQ(book.sheets[2].name, QStringLiteral("Empty"));
    EXPECT_TRUE(book.sheets[2].rows.empty());
    EXPECT_EQ(text(book, 0, 1, 1), QStringLiteral("12.3"));
    EXPECT_EQ(text(book, 0, 1, 2), QStringLiteral("TRUE"));
    EXPECT_EQ(text(book, 0, 2, 0), QStringLiteral("  leading and trailing  "));
    EXPECT_EQ(text(book, 0, 2, 1), QStringLiteral("1e+20"));
    EXPECT_EQ(text(book, 0, 3, 0), QString::fromUtf8("中文 \xF0\x9F\x98\x80"));
    EXPECT_EQ(text(book, 0, 4, 0), QStringLiteral("123456789"));
    EXPECT_EQ(text(book, 0, 4, 3), QStringLiteral("-536870912"));
    EXPECT_EQ(text(book, 0, 5, 0), QStringLiteral("45723")); // a date stays its serial number
    EXPECT_EQ(text(book, 0, 6, 2), QStringLiteral("1e-07"));
    EXPECT_EQ(text(book, 0, 10, 0), QString::fromUtf8("é中").repeated(10000));
    EXPECT_EQ(text(book, 3, 0, 255), QStringLiteral("382.5"));

    // Every cell agrees with xlrd's reading of the original.
    const ReadBook before = readWithXlrd(original);
    ASSERT_TRUE(before.ok) << before.error.toStdString();
    EXPECT_EQ(firstDifference(asTexts(before.sheets), asReadSheets(book)).toStdString(), "");

    // Written back, xlrd finds the same sheets with the same texts.
    const QString rewritten =
        writeTempFile(QStringLiteral("xlwt-rewritten.xls"), xls::serialize(book));
    const ReadBook after = readWithXlrd(rewritten);
    ASSERT_TRUE(after.ok) << after.error.toStdString();
    EXPECT_EQ(firstDifference(asReadSheets(book), after.sheets).toStdString(), "");
}

} // namespace
