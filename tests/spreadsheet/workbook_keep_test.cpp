// Workbooks written by other programs keep what those programs put in them through the
// program's write-backs: checked record for record, and with xlrd's formatting information.
#include "gastype/gasliststate.h"
#include "gastype/gasnametable.h"
#include "model/codetables.h"
#include "qtprinters.h"
#include "spreadsheet/workbook.h"
#include "workbookreaders.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const QString kFixtures = QStringLiteral(TRELLMO_SOURCE_DIR "/tests/xls/fixtures");
const QString kDumpScript = QStringLiteral(TRELLMO_SOURCE_DIR "/tests/spreadsheet/keepdump.py");

// What keepdump.py prints: the records of every sheet and of the globals, and what xlrd
// sees with formatting information. Every file dumped, as others wrote it and as written back,
// must have a string table index that points at its strings.
QJsonObject dump(const QString& path) {
    QFile script(kDumpScript);
    EXPECT_TRUE(script.open(QIODevice::ReadOnly));
    QByteArray output;
    EXPECT_TRUE(runPython(QString::fromUtf8(script.readAll()), {path}, output))
        << output.toStdString();
    const QJsonObject d = QJsonDocument::fromJson(output).object();
    EXPECT_EQ(d["string_index_problem"].toString().toStdString(), "") << path.toStdString();
    return d;
}

struct FileState {
    QByteArray bytes;
    ino_t inode = 0;
    qint64 modifiedNs = 0;
    bool operator==(const FileState&) const = default;
};

FileState stateOf(const QString& path) {
    FileState state;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        state.inode = info.st_ino;
        state.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    }
    state.bytes = fileBytes(path);
    return state;
}

QJsonObject sheetSeen(const QJsonObject& d, const QString& name) {
    for (const QJsonValue& sheet : d["sheets"].toArray()) {
        if (sheet["name"].toString() == name) {
            return sheet.toObject();
        }
    }
    return {};
}

QStringList sheetOrder(const QJsonObject& d) {
    QStringList names;
    for (const QJsonValue& sheet : d["sheets"].toArray()) {
        names << sheet["name"].toString();
    }
    return names;
}

// A cell as keepdump.py shows it: [row, column, type, value, format, bold, italic, colour].
QJsonArray cellSeen(const QJsonObject& sheet, int row, int column) {
    for (const QJsonValue& cell : sheet["cells"].toArray()) {
        if (cell[0].toInt() == row && cell[1].toInt() == column) {
            return cell.toArray();
        }
    }
    return {};
}

constexpr int kText = 1;
constexpr int kNumber = 2;

// Every sheet but the bound one and the backup comes back record for record; the globals
// too, but for the string table, which may only have grown at its end.
void expectOthersKept(const QJsonObject& before, const QJsonObject& after, const QString& bound) {
    const QJsonObject recordsBefore = before["records"].toObject();
    const QJsonObject recordsAfter = after["records"].toObject();
    for (const QString& name : recordsBefore.keys()) {
        if (name == bound || name == "(globals)") {
            continue;
        }
        EXPECT_EQ(recordsAfter[name].toArray(), recordsBefore[name].toArray())
            << name.toStdString();
        EXPECT_EQ(sheetSeen(after, name), sheetSeen(before, name)) << name.toStdString();
    }
    QJsonArray globalsBefore = recordsBefore["(globals)"].toArray();
    QJsonArray globalsAfter = recordsAfter["(globals)"].toArray();
    QJsonArray stringsBefore, stringsAfter;
    auto takeStrings = [](QJsonArray& records, QJsonArray& strings) {
        for (qsizetype i = 0; i < records.size(); ++i) {
            const QString record = records[i].toString();
            if (record.startsWith("SST:")) {
                strings = QJsonDocument::fromJson(record.mid(4).toUtf8()).array();
                records.removeAt(i);
                return;
            }
        }
    };
    takeStrings(globalsBefore, stringsBefore);
    takeStrings(globalsAfter, stringsAfter);
    // A new sheet adds its BOUNDSHEET after the others; nothing else is added or changed.
    QJsonArray withoutNewSheets;
    for (qsizetype i = 0; i < globalsAfter.size(); ++i) {
        if (i >= globalsBefore.size() || globalsAfter[i] == globalsBefore[i] ||
            !globalsAfter[i].toString().startsWith("0085:") ||
            globalsBefore[i].toString().startsWith("0085:")) {
            withoutNewSheets.append(globalsAfter[i]);
        }
    }
    EXPECT_EQ(withoutNewSheets, globalsBefore);
    ASSERT_GE(stringsAfter.size(), stringsBefore.size());
    for (qsizetype i = 0; i < stringsBefore.size(); ++i) {
        EXPECT_EQ(stringsAfter[i], stringsBefore[i]) << i;
    }
    EXPECT_EQ(after["streams"], before["streams"]);
}

class KeepFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("parameter1.xls");
    }
    void copyFixture(const QString& name) {
        ASSERT_TRUE(QFile::copy(kFixtures + "/" + name, path)) << name.toStdString();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    }
    QStringList listOf(const StoredGasNames& names) {
        QStringList list;
        for (int i = 0; i < kGasListRows; ++i) {
            list << names[i];
        }
        return list;
    }

    QTemporaryDir dir;
    QString path;
    UserGases gases; // as at the start of a run
};

TEST_F(KeepFixture, XlwtWorkbookIsNotWrittenWhenNothingChanges) {
    copyFixture("xlwt_parameter.xls");
    const FileState before = stateOf(path);
    const StoredGasNames names = LoadUserGasNames(path, gases.names);
    EXPECT_EQ(names[0], "Freon");
    EXPECT_EQ(gases.names[2], "Ethanol");
    EXPECT_EQ(stateOf(path), before);
    // Back without edits: the same names go back, which changes nothing.
    ASSERT_TRUE(SaveGasList(listOf(LoadUserGasNames(path, gases.names)), path, gases));
    EXPECT_EQ(stateOf(path), before);
    EXPECT_EQ(folderEntries(dir.path()), QStringList{"parameter1.xls"});
}

TEST_F(KeepFixture, XlwtWorkbookKeepsEverythingThroughAGasNameSave) {
    copyFixture("xlwt_parameter.xls");
    const QJsonObject before = dump(path);
    QStringList list = listOf(LoadUserGasNames(path, gases.names));
    list[1] = "Ammonia NH3";
    list[4] = "Methane";
    gases.list.edited = true;
    QString failure;
    ASSERT_TRUE(SaveGasList(list, path, gases, &failure)) << failure.toStdString();
    const QJsonObject after = dump(path);

    expectOthersKept(before, after, "GasType");
    // The bound sheet keeps its place; the backup of the names as they were comes last.
    EXPECT_EQ(sheetOrder(after), QStringList({"Notes", "GasType", "Hidden", "CWorkbookBackup"}));
    const QJsonObject gas = sheetSeen(after, "GasType");
    const QJsonObject gasBefore = sheetSeen(before, "GasType");
    EXPECT_EQ(gas["widths"], gasBefore["widths"]);
    EXPECT_EQ(cellSeen(gas, 0, 1), cellSeen(gasBefore, 0, 1)); // still bold
    EXPECT_EQ(cellSeen(gas, 1, 0), cellSeen(gasBefore, 1, 0)); // still the number 1
    EXPECT_EQ(cellSeen(gas, 1, 0)[2].toInt(), kNumber);
    EXPECT_EQ(cellSeen(gas, 2, 1)[3].toString(), "'Ammonia NH3'");
    EXPECT_EQ(cellSeen(gas, 2, 1)[2].toInt(), kText);
    EXPECT_EQ(cellSeen(gas, 5, 1)[3].toString(), "'Methane'");
    EXPECT_EQ(cellSeen(gas, 5, 0)[3].toString(), "'5'"); // rows the save adds hold text
    const QJsonObject backup = sheetSeen(after, "CWorkbookBackup");
    EXPECT_EQ(cellSeen(backup, 2, 1)[3].toString(), "'Ammonia'");

    // Read back by the program, and by libfreexl.
    EXPECT_EQ(LoadUserGasNames(path, gases.names)[1], "Ammonia NH3");
    const ReadBook freexl = readWithFreexl(path);
    ASSERT_TRUE(freexl.ok) << freexl.error.toStdString();
    EXPECT_EQ(freexl.sheets.size(), 4);
}

TEST_F(KeepFixture, LibreOfficeWorkbookKeepsItsChartAndDocumentProperties) {
    copyFixture("libreoffice_parameter.xls");
    const FileState unchanged = stateOf(path);
    const QJsonObject before = dump(path);
    ASSERT_EQ(before["streams"].toArray().size(), 2); // summary and document summary
    QStringList list = listOf(LoadUserGasNames(path, gases.names));
    EXPECT_EQ(stateOf(path), unchanged);
    ASSERT_TRUE(SaveGasList(list, path, gases)); // Back without edits
    EXPECT_EQ(stateOf(path), unchanged);

    list[0] = "Freon R22";
    list[3] = "Hydrogen";
    gases.list.edited = true;
    QString failure;
    ASSERT_TRUE(SaveGasList(list, path, gases, &failure)) << failure.toStdString();
    const QJsonObject after = dump(path);
    // "Readings" with its embedded chart, its formulas over GasType, its merged range, date,
    // boolean and number format are the very records they were; so are the document
    // properties.
    expectOthersKept(before, after, "GasType");
    EXPECT_EQ(sheetOrder(after), QStringList({"GasType", "Readings", "CWorkbookBackup"}));
    const QJsonObject gas = sheetSeen(after, "GasType");
    const QJsonObject gasBefore = sheetSeen(before, "GasType");
    EXPECT_EQ(gas["widths"], gasBefore["widths"]);
    EXPECT_EQ(cellSeen(gas, 0, 1), cellSeen(gasBefore, 0, 1));
    EXPECT_EQ(cellSeen(gas, 2, 0), cellSeen(gasBefore, 2, 0)); // the number 2 stays a number
    EXPECT_EQ(cellSeen(gas, 1, 1)[3].toString(), "'Freon R22'");
    EXPECT_EQ(cellSeen(gas, 4, 1)[3].toString(), "'Hydrogen'");
    EXPECT_EQ(LoadUserGasNames(path, gases.names)[0], "Freon R22");
    const ReadBook freexl = readWithFreexl(path);
    ASSERT_TRUE(freexl.ok) << freexl.error.toStdString();
}

TEST_F(KeepFixture, FormulasOfOtherSheetsStillPointAtTheRebuiltSheet) {
    copyFixture("xlwt_parameter.xls");
    const QJsonObject before = dump(path);
    {
        // The write-back sends DROP TABLE, CREATE TABLE and an INSERT per row.
        CWorkbook book(path, "GasType", true);
        book.HoldWrites();
        EXPECT_FALSE(book.SetHeaderRow({"Number", "Gas Type"}, false));
        ASSERT_TRUE(book.PutRow({"9", "Argon"}, 3, true));
        ASSERT_TRUE(book.PutRow({"10", "Xenon"}, 0, false));
        ASSERT_TRUE(book.WriteBack()) << book.lastError().toStdString();
    }
    const QJsonObject after = dump(path);
    // The formulas of "Notes" (SUM(GasType!A2:A4), GasType!B2) are the same records, and
    // the sheet they name is still the second.
    expectOthersKept(before, after, "GasType");
    EXPECT_EQ(sheetOrder(after), QStringList({"Notes", "GasType", "Hidden", "CWorkbookBackup"}));
    const QJsonObject gas = sheetSeen(after, "GasType");
    const QJsonObject gasBefore = sheetSeen(before, "GasType");
    for (const auto& [row, column] : {std::pair{0, 0}, {0, 1}, {1, 0}, {1, 1}, {3, 0}, {3, 1}}) {
        EXPECT_EQ(cellSeen(gas, row, column), cellSeen(gasBefore, row, column)) << row << column;
    }
    EXPECT_EQ(cellSeen(gas, 1, 0)[2].toInt(), kNumber);
    EXPECT_EQ(cellSeen(gas, 2, 0)[3].toString(), "'9'");
    EXPECT_EQ(cellSeen(gas, 2, 0)[2].toInt(), kText);
    EXPECT_EQ(cellSeen(gas, 4, 1)[3].toString(), "'Xenon'");
    EXPECT_EQ(cellSeen(gas, 4, 1)[2].toInt(), kText);
    EXPECT_EQ(gas["widths"], gasBefore["widths"]);
}

TEST_F(KeepFixture, CostFollowsTheCellsThatExist) {
    // One cell far down and right: the used range is the whole sheet, its cells are three.
    QByteArray output;
    ASSERT_TRUE(runPython(R"(
import sys, xlwt
book = xlwt.Workbook()
sheet = book.add_sheet('GasType')
sheet.write(0, 0, 'Number')
sheet.write(0, 1, 'Gas Type')
sheet.write(1, 1, 'Freon')
sheet.write(65294, 255, 'far')
book.save(sys.argv[1])
)",
                          {path}, output))
        << output.toStdString();
    const FileState before = stateOf(path);
    EXPECT_EQ(LoadUserGasNames(path, gases.names)[0], "Freon");
    EXPECT_EQ(stateOf(path), before); // no generated captions ("F3", ...) written
    QStringList list{"Argon"};
    gases.list.edited = true;
    QString failure;
    ASSERT_TRUE(SaveGasList(list, path, gases, &failure)) << failure.toStdString();
    const QJsonObject after = dump(path);
    const QJsonObject gas = sheetSeen(after, "GasType");
    EXPECT_EQ(cellSeen(gas, 1, 1)[3].toString(), "'Argon'");
    EXPECT_EQ(cellSeen(gas, 65294, 255)[3].toString(), "'far'");
    EXPECT_TRUE(cellSeen(gas, 0, 2).isEmpty()); // no caption made up for column C
}

TEST_F(KeepFixture, WhatCannotBeWrittenIsRefusedAndTheFileKept) {
    copyFixture("xlwt_parameter.xls");
    gases.list.edited = true;
    QStringList list{"Changed"};
    // A file the user may not write is not replaced, although the folder would allow it.
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup);
    const FileState before = stateOf(path);
    QString failure;
    EXPECT_FALSE(SaveGasList(list, path, gases, &failure));
    EXPECT_TRUE(failure.contains("read-only")) << failure.toStdString();
    EXPECT_TRUE(failure.contains(QDir::toNativeSeparators(path))) << failure.toStdString();
    EXPECT_EQ(stateOf(path), before);

    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(SaveGasList(list, path, gases, &failure)) << failure.toStdString();
}

// xlwt writes DIMENSIONS ahead of the page setup; cells new to a sheet that had none go where
// readers look for the cell table, after the page setup and before WINDOW2 (Apache POI takes
// a page setup record after the cells for the end of the sheet).
TEST_F(KeepFixture, CellsNewToAnEmptySheetGoBeforeItsWindowNotAfterItsDimensions) {
    QByteArray output;
    ASSERT_TRUE(runPython(R"(
import sys, xlwt
book = xlwt.Workbook()
book.add_sheet('Notes').write(0, 0, 'kept')
book.add_sheet('Storage')
book.save(sys.argv[1])
)",
                          {path}, output))
        << output.toStdString();
    const QJsonObject before = dump(path);
    {
        CWorkbook book(path, "Storage", false);
        ASSERT_TRUE(book.SetHeaderRow({"Time", "Gas"}, false));
        ASSERT_TRUE(book.PutRow({"t", "CO"}, 0, false)) << book.lastError().toStdString();
    }
    const QJsonObject after = dump(path);
    expectOthersKept(before, after, "Storage");
    QStringList types;
    for (const QJsonValue& record : after["records"].toObject()["Storage"].toArray()) {
        types << record.toString().left(4);
    }
    const qsizetype firstRow = types.indexOf("0208");
    EXPECT_GT(firstRow, types.indexOf("00A1")) << types.join(' ').toStdString(); // SETUP
    EXPECT_LT(firstRow, types.indexOf("023E")) << types.join(' ').toStdString(); // WINDOW2
    const ReadBook read = readWithXlrd(path);
    ASSERT_TRUE(read.ok) << read.error.toStdString();
    EXPECT_EQ(read.sheet("Storage")->trimmedRows(),
              (QList<QStringList>{{"Time", "Gas"}, {"t", "CO"}}));
}

} // namespace

namespace {

TEST(KeepOwnWorkbook, BatchesAppendedToTheProgramsOwnWorkbookReadBackWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("C4-25-03-07.xls");
    std::vector<QStringList> expected{{"Time", "Gas", "Conc"}};
    auto rowOf = [](int n) {
        return QStringList{QStringLiteral("2025-03-07  00:00:%1").arg(n, 2, 10, QChar(u'0')),
                           n % 3 ? QStringLiteral("CO  ") : QStringLiteral("H2S "),
                           QString::number(n % 7)};
    };
    for (int batch = 0; batch < 3; ++batch) {
        CWorkbook book(path, "Storage", true);
        book.HoldWrites();
        book.SetHeaderRow({"Time", "Gas", "Conc"}, false);
        for (int n = batch * 40; n < batch * 40 + 40; ++n) {
            ASSERT_TRUE(book.PutRow(rowOf(n), 0, false));
            expected.push_back(rowOf(n));
        }
        ASSERT_TRUE(book.WriteBack()) << book.lastError().toStdString();
        for (const ReadBook& read : {readWithXlrd(path), readWithFreexl(path)}) {
            ASSERT_TRUE(read.ok) << read.error.toStdString();
            const ReadSheet* sheet = read.sheet("Storage");
            ASSERT_NE(sheet, nullptr);
            ASSERT_EQ(size_t(sheet->rows.size()), expected.size()) << batch;
            for (size_t r = 0; r < expected.size(); ++r) {
                ASSERT_EQ(sheet->rows[qsizetype(r)], expected[r])
                    << "batch " << batch << " row " << r;
            }
        }
    }
}

} // namespace
