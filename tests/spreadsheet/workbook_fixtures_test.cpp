// Workbooks written by Apache POI (tests/xls/fixtures/make-poi-fixtures.sh), each at a corner
// of the format that a write-back must meet: no text at all, a string table that fills its
// record exactly, a last string ending at a record boundary, a FORMULA record of Excel 3 and 4,
// a BIFF8 stream named "Book". Text rows written through the workbook class must open in xlrd,
// and every sheet that was there keeps its records.
#include "qtprinters.h"
#include "spreadsheet/workbook.h"
#include "spreadsheet/xls/keptbook.h"
#include "workbookreaders.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Records = std::vector<std::pair<uint16_t, QByteArray>>;

constexpr uint16_t kIndexRecord = 0x020B; // holds stream positions, which move with the globals

// The records of each sheet as stored: type and data (INDEX by type alone).
std::map<QString, Records> sheetRecords(const QString& path) {
    const xls::KeptBook kept = xls::parseKeeping(fileBytes(path));
    const QByteArray& stream = kept.layout->compound.workbook;
    std::map<QString, Records> sheets;
    for (const xls::SheetLayout& sheet : kept.layout->sheets) {
        Records& records = sheets[sheet.name];
        for (qsizetype at = sheet.begin; at < sheet.end;) {
            const auto* bytes = reinterpret_cast<const uchar*>(stream.constData() + at);
            const uint16_t type = uint16_t(bytes[0] | bytes[1] << 8);
            const qsizetype length = bytes[2] | bytes[3] << 8;
            records.emplace_back(type,
                                 type == kIndexRecord ? QByteArray() : stream.mid(at + 4, length));
            at += 4 + length;
        }
    }
    return sheets;
}

TEST(WorkbookFixtures, TextWrittenIntoWorkbooksOfApachePoiOpensInXlrdAndKeepsTheirSheets) {
    const QStringList rows[] = {{"Time", "Gas"}, {"t1", "a\",;.?\"b"}, {"t2", "Ωmega  "}};
    for (const char* name : {"poi_empty_sst.xls", "poi_sst_full.xls", "poi_sst_boundary.xls",
                             "poi_formula.xls", "poi_book_stream.xls"}) {
        SCOPED_TRACE(name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(QFile::copy(sourcePath("tests/xls/fixtures/") + name, path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        const std::map<QString, Records> before = sheetRecords(path);
        const ReadBook readBefore = readWithXlrd(path);
        ASSERT_TRUE(readBefore.ok) << readBefore.error.toStdString();
        {
            CWorkbook book(path, "Storage", false);
            book.HoldWrites();
            ASSERT_TRUE(book.SetHeaderRow(rows[0], false));
            ASSERT_TRUE(book.PutRow(rows[1], 0, false));
            ASSERT_TRUE(book.PutRow(rows[2], 0, false));
            ASSERT_TRUE(book.WriteBack()) << book.lastError().toStdString();
        }
        const ReadBook after = readWithXlrd(path);
        ASSERT_TRUE(after.ok) << after.error.toStdString();
        ASSERT_NE(after.sheet("Storage"), nullptr);
        EXPECT_EQ(after.sheet("Storage")->trimmedRows(),
                  QList<QStringList>(std::begin(rows), std::end(rows)));
        for (const ReadSheet& sheet : readBefore.sheets) {
            ASSERT_NE(after.sheet(sheet.name), nullptr) << sheet.name.toStdString();
            EXPECT_EQ(firstDifference({sheet}, {*after.sheet(sheet.name)}).toStdString(), "");
        }
        const std::map<QString, Records> now = sheetRecords(path);
        for (const auto& [sheet, records] : before) {
            ASSERT_EQ(now.count(sheet), 1u) << sheet.toStdString();
            EXPECT_TRUE(now.at(sheet) == records) << sheet.toStdString();
        }
        const QByteArray file = fileBytes(path);
        const bool bookStream = QByteArray(name) == "poi_book_stream.xls";
        EXPECT_EQ(file.contains(QByteArray("B\0o\0o\0k\0\0\0", 10)), bookStream);
    }
}

} // namespace
