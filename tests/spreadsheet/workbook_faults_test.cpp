// What a failure at any point of a write-back leaves on disk.
#include "qtprinters.h"
#include "spreadsheet/safefilewrite.h"
#include "spreadsheet/workbook.h"
#include "spreadsheet/workbookstore.h"
#include "spreadsheet/xls/xlsbook.h"
#include "workbookreaders.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QStringList row(int n, int cells = 19) {
    QStringList values;
    for (int c = 0; c < cells; ++c) {
        values.append(QStringLiteral("r%1c%2 ").arg(n).arg(c));
    }
    return values;
}

QStringList header(int cells = 19) {
    QStringList names;
    for (int c = 0; c < cells; ++c) {
        names.append(QStringLiteral("Field %1").arg(c + 1));
    }
    return names;
}

void writeRows(const QString& path, int first, int count) {
    CWorkbook book(path, "Storage", false);
    book.HoldWrites();
    book.SetHeaderRow(header(), false);
    for (int n = first; n < first + count; ++n) {
        book.PutRow(row(n), 0, false);
    }
    ASSERT_TRUE(book.WriteBack()) << book.lastError().toStdString();
}

struct FileState {
    ino_t inode = 0;
    timespec modified{};
    QByteArray bytes;
    bool operator==(const FileState& o) const {
        return inode == o.inode && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec && bytes == o.bytes;
    }
};

FileState stateOf(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return {info.st_ino, info.st_mtim, fileBytes(path)};
}

size_t storageRows(const QByteArray& bytes) {
    for (const xls::Sheet& sheet : xls::parse(bytes).sheets) {
        if (sheet.name == "Storage") {
            return sheet.rows.size();
        }
    }
    return 0;
}

TEST(WorkbookFaults, RefusedWriteBacksLeaveTheFileAsItWas) {
    QTemporaryDir dir;
    const QString path = dir.filePath("day.xls");
    writeRows(path, 0, 3);
    const FileState before = stateOf(path);

    auto refusedWriteBack = [&](const std::function<void(CWorkbook&)>& change, const char* reason) {
        CWorkbook book(path, "Storage", false);
        book.HoldWrites();
        change(book);
        EXPECT_FALSE(book.WriteBack());
        EXPECT_TRUE(book.lastError().contains(reason)) << book.lastError().toStdString();
        EXPECT_TRUE(stateOf(path) == before) << reason;
    };
    refusedWriteBack(
        [](CWorkbook& book) {
            QStringList values = row(3);
            values[4] = QString(32768, u'x');
            book.PutRow(values, 0, false);
            book.PutRow(row(4), 0, false);
        },
        "32,767");
    refusedWriteBack([](CWorkbook& book) { book.PutRow(row(5), 65537, false); }, "65,536");
    refusedWriteBack([](CWorkbook& book) { book.SetHeaderRow(header(257).mid(19), false); }, "256");

    // Connections that change nothing write nothing.
    {
        CWorkbook book(path, "Storage", false);
        EXPECT_TRUE(book.DiscardChanges());
        EXPECT_FALSE(book.DropSheet("NoSuchSheet"));
    }
    EXPECT_TRUE(stateOf(path) == before);
    EXPECT_EQ(folderEntries(dir.path()), QStringList{"day.xls"});
}

TEST(WorkbookFaults, UnreadableWorkbooksAreNeverOverwritten) {
    QTemporaryDir dir;
    const QString good = dir.filePath("good.xls");
    writeRows(good, 0, 50);
    const QByteArray whole = fileBytes(good);
    for (const QByteArray& content :
         {QByteArray("not a workbook at all"), whole.left(whole.size() / 2), QByteArray()}) {
        const QString path = dir.filePath("bad.xls");
        writeFileBytes(path, content);
        try {
            CWorkbook book(path, "Storage", true);
            ADD_FAILURE() << "opened an unreadable workbook";
        } catch (const WorkbookConnectError& error) {
            EXPECT_TRUE(QString::fromUtf8(error.what()).contains(path)) << error.what();
        }
        EXPECT_EQ(fileBytes(path), content);
    }
}

TEST(WorkbookFaults, UnwritableFolderAndFullDiskAreReported) {
    QTemporaryDir dir;
    writeFileBytes(dir.filePath("plain"), "x");
    const std::pair<QString, QString> cases[] = {
        {dir.filePath("missing/day.xls"), "does not exist"},
        {dir.filePath("plain/day.xls"), "is not a folder"}};
    for (const auto& [path, reason] : cases) {
        CWorkbook book(path, "Storage", true);
        book.HoldWrites();
        book.SetHeaderRow({"A"}, false);
        book.PutRow({"1"}, 0, false);
        EXPECT_FALSE(book.WriteBack());
        EXPECT_TRUE(book.lastError().contains(reason)) << book.lastError().toStdString();
        EXPECT_TRUE(book.lastError().contains(path)) << book.lastError().toStdString();
    }

    const QString path = dir.filePath("full.xls");
    const QString text = dir.filePath("full.csv");
    writeFileBytes(text, QByteArray("\"\0a\0\"\0\r\0\n\0", 10));
    const QByteArray textBefore = fileBytes(text);
    for (const qint64 fullAt : {qint64(0), qint64(1 << 18)}) {
        QFile::remove(path);
        writeRows(path, 0, 1500); // large enough to be written in several pieces
        const FileState before = stateOf(path);
        safefilewrite::setWriteFaultForTesting(
            [fullAt](qint64 written) { return written >= fullAt ? ENOSPC : 0; });
        CWorkbook book(path, "Storage", false);
        book.HoldWrites();
        book.PutRow(row(1), 0, false);
        EXPECT_FALSE(book.WriteBack());
        EXPECT_TRUE(book.lastError().contains(QString::fromLocal8Bit(strerror(ENOSPC))))
            << book.lastError().toStdString();
        if (fullAt == 0) {
            CWorkbook textBook(text, ",", false);
            textBook.PutRow({"b"}, 0, false);
            EXPECT_EQ(textBook.lastError(), "Error writing file\n");
        }
        safefilewrite::setWriteFaultForTesting(nullptr);
        EXPECT_TRUE(stateOf(path) == before);
        EXPECT_EQ(fileBytes(text), textBefore);
        EXPECT_EQ(folderEntries(dir.path()), QStringList({"full.csv", "full.xls", "plain"}));
        // The failed write is not remembered: the same object writes once there is room.
        EXPECT_TRUE(book.WriteBack()) << book.lastError().toStdString();
        EXPECT_EQ(storageRows(fileBytes(path)), 1502u);
    }
}

TEST(WorkbookFaults, KilledWriteBackLeavesOldOrNewFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("day.xls");
    writeRows(path, 0, 300);
    constexpr int kAdded = 20;

    auto writeBackInChild = [&]() {
        const pid_t child = ::fork();
        if (child == 0) {
            CWorkbook book(path, "Storage", true);
            book.HoldWrites();
            for (int n = 0; n < kAdded; ++n) {
                book.PutRow(row(n), 0, false);
            }
            ::_exit(book.WriteBack() ? 0 : 1);
        }
        return child;
    };
    QElapsedTimer timer;
    timer.start();
    {
        const pid_t child = writeBackInChild();
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const qint64 cycleUs = std::max<qint64>(timer.nsecsElapsed() / 1000, 1000);

    std::mt19937 random(20250307);
    std::uniform_int_distribution<qint64> delay(0, cycleUs * 6 / 5);
    size_t rows = storageRows(fileBytes(path));
    int completed = 0;
    int interrupted = 0;
    for (int attempt = 0; attempt < 30; ++attempt) {
        const pid_t child = writeBackInChild();
        ::usleep(useconds_t(delay(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        (WIFSIGNALED(status) ? interrupted : completed) += 1;
        const size_t now = storageRows(fileBytes(path));
        ASSERT_TRUE(now == rows || now == rows + kAdded) << "rows " << now << " after " << rows;
        rows = now;
    }
    EXPECT_GT(interrupted, 0);
    ASSERT_TRUE(readWithXlrd(path).ok);
    ASSERT_TRUE(readWithFreexl(path).ok);

    // Leftovers of killed writers are recognisable and go with the next successful write.
    for (const QString& entry : folderEntries(dir.path())) {
        EXPECT_TRUE(entry == "day.xls" || safefilewrite::isTemporaryFileName(entry))
            << entry.toStdString();
    }
    writeRows(path, 0, 1);
    EXPECT_EQ(folderEntries(dir.path()), QStringList{"day.xls"});
}

} // namespace
