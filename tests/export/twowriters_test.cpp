// Two program copies exporting into one day workbook at the same moment (forked processes,
// released together): they take turns on the workbook's lock, so every record of both is in the
// workbook exactly once. A writer killed while holding the lock blocks nobody, and its stray
// temporary file goes once nobody holds that workbook.
#include "workbookreaders.h"

#include "export/recordexporter.h"
#include "export/recordworkbook.h"
#include "model/recordstore.h"
#include "spreadsheet/safefilewrite.h"
#include "spreadsheet/workbook.h"
#include "spreadsheet/workbooklock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr quint32 kBatch = 1000;
const QDate kDay(2026, 12, 7);

// Record `n` of writer `who`: its time cell names both, so the sheet tells who wrote what.
QString recordId(char who, int n) {
    return QStringLiteral("%1-%2").arg(QLatin1Char(who)).arg(n);
}

void fillBatch(RecordStore& store, char who, int first, quint32 count) {
    for (quint32 r = 0; r < count; ++r) {
        store.setCell(0, r, recordId(who, first + static_cast<int>(r)));
        for (int c = 1; c < RecordStore::kColumns; ++c) {
            store.setCell(c, r, QStringLiteral("v"));
        }
    }
}

class TwoWritersTest : public ::testing::Test {
protected:
    QString folder() const { return m_tmp.path() + QStringLiteral("/TRELLMO_RECORD_DATA"); }
    QString dayBook() const {
        return folder() + QLatin1Char('/') + recordWorkbookName(ChannelLayout::Four, kDay);
    }
    RecordExporter exporter() const {
        return RecordExporter(folder(), [] { return kDay; });
    }

    // Column A of the sheet as this program reads it (fast enough for every trial).
    QStringList timeColumn() const {
        CWorkbook book(dayBook(), recordSheetName(), false);
        QStringList cells;
        book.GetColumnAt(cells, 1);
        return cells;
    }

    // Forks a writer that waits for the start signal on `start` and exports one batch of `who`.
    // A batch that fails (the other writer held the lock past the wait, on a very busy
    // machine) is kept and offered again, as the program does. Exits with the number of failed
    // tries, or kGaveUp.
    static constexpr int kGaveUp = 100;
    pid_t forkWriter(int start, char who, int first) const {
        const pid_t child = ::fork();
        if (child == 0) {
            char go = 0;
            if (::read(start, &go, 1) != 1) {
                ::_exit(kGaveUp);
            }
            RecordStore store;
            fillBatch(store, who, first, kBatch);
            RecordExporter writer = exporter();
            for (int failed = 0; failed < 10; ++failed) {
                if (writer.exportBatch(ChannelLayout::Four, store, kBatch)) {
                    ::_exit(failed);
                }
                QFile log(m_tmp.filePath(QStringLiteral("failures.txt")));
                if (log.open(QIODevice::Append)) {
                    log.write(writer.lastFailure().reason.toUtf8() + '\n');
                }
            }
            ::_exit(kGaveUp);
        }
        return child;
    }

    // Runs `trials` rounds of two writers released together; checks each round's records.
    void race(int trials, QStringList& expected) {
        for (int trial = 0; trial < trials; ++trial) {
            int pipeEnds[2];
            ASSERT_EQ(::pipe(pipeEnds), 0);
            const int first = trial * static_cast<int>(kBatch);
            const pid_t a = forkWriter(pipeEnds[0], 'A', first);
            const pid_t b = forkWriter(pipeEnds[0], 'B', first);
            ASSERT_GT(a, 0);
            ASSERT_GT(b, 0);
            ASSERT_EQ(::write(pipeEnds[1], "go", 2), 2); // both start at the same moment
            for (const pid_t child : {a, b}) {
                int status = 0;
                ASSERT_EQ(::waitpid(child, &status, 0), child);
                ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != kGaveUp)
                    << "trial " << trial << ": a writer gave up";
                m_retries += WEXITSTATUS(status);
            }
            ::close(pipeEnds[0]);
            ::close(pipeEnds[1]);

            for (const char who : {'A', 'B'}) {
                for (quint32 r = 0; r < kBatch; ++r) {
                    expected << recordId(who, first + static_cast<int>(r));
                }
            }
            const QStringList column = timeColumn();
            QHash<QString, int> seen;
            for (const QString& id : column) {
                ++seen[id];
            }
            for (const QString& id : expected) {
                ASSERT_EQ(seen.value(id), 1)
                    << "trial " << trial << ", record " << id.toStdString();
            }
            ASSERT_EQ(column.size(), expected.size() + 1) << "trial " << trial;
            ++m_trials;
        }
    }

    // Each writer's records in the sheet are in its own order.
    void expectEachWriterInOrder(const QList<QStringList>& rows) const {
        QHash<QChar, int> last;
        for (qsizetype r = 1; r < rows.size(); ++r) {
            const QString& id = rows[r][0];
            if (id.size() < 3 || id[1] != QLatin1Char('-')) {
                continue;
            }
            const int n = id.mid(2).toInt();
            ASSERT_GT(n + 1, last.value(id[0], 0)) << id.toStdString();
            last[id[0]] = n + 1;
        }
    }

    QTemporaryDir m_tmp;
    int m_trials = 0;
    int m_retries = 0;
};

TEST_F(TwoWritersTest, SimultaneousExportsIntoOneWorkbookKeepEveryRecordOnce) {
    QStringList expected;
    race(15, expected); // into a new day workbook, then into its first rows
    EXPECT_EQ(m_trials, 15);

    // The same with a busy day: 25,000 records already in the workbook.
    ASSERT_TRUE(QFile::remove(dayBook()));
    expected.clear();
    RecordStore earlier;
    fillBatch(earlier, 'E', 0, 25000);
    RecordExporter writer = exporter();
    ASSERT_TRUE(writer.exportBatch(ChannelLayout::Four, earlier, 25000));
    for (int n = 0; n < 25000; ++n) {
        expected << recordId('E', n);
    }
    race(6, expected);

    const ReadBook book = readWithXlrd(dayBook());
    ASSERT_EQ(book.error, QString());
    const ReadSheet* sheet = book.sheet(QStringLiteral("Storage"));
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->rows.size(), expected.size() + 1);
    expectEachWriterInOrder(sheet->rows);
    // Nothing left beside the workbook: no lock file, no temporary file.
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files | QDir::Hidden),
              QStringList{recordWorkbookName(ChannelLayout::Four, kDay)});
    std::cout << m_trials << " rounds of two writers, " << m_retries << " batches retried\n";
    QFile failures(m_tmp.filePath(QStringLiteral("failures.txt")));
    if (failures.open(QIODevice::ReadOnly)) {
        std::cout << "why:\n" << failures.readAll().toStdString();
    }
}

TEST_F(TwoWritersTest, KilledLockHolderBlocksNobodyAndItsTemporaryFileGoes) {
    ASSERT_TRUE(QDir().mkpath(folder()));
    // A process that died long ago left a temporary file of the day workbook.
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    const QString stray = folder() + QStringLiteral("/.") +
                          recordWorkbookName(ChannelLayout::Four, kDay) +
                          QStringLiteral(".trellmo-partial-%1-0").arg(gone);
    {
        QFile file(stray);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("half a workbook");
    }
    ASSERT_TRUE(safefilewrite::isTemporaryFileName(QFileInfo(stray).fileName()));

    // Another copy takes the day workbook's lock and hangs.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        WorkbookLock lock(dayBook());
        QString failure;
        const char state = lock.acquire(0, failure) ? 'y' : 'n';
        if (::write(ready[1], &state, 1) != 1) {
            ::_exit(3);
        }
        ::pause();
        ::_exit(0);
    }
    char state = 0;
    ASSERT_EQ(::read(ready[0], &state, 1), 1);
    ASSERT_EQ(state, 'y');

    // While it holds the lock: the batch fails after the bounded wait, nothing is written, and
    // the temporary file stays although another workbook of the folder is written meanwhile.
    RecordExporter writer = exporter();
    RecordStore store;
    fillBatch(store, 'A', 0, 10);
    QElapsedTimer waited;
    waited.start();
    EXPECT_FALSE(writer.exportBatch(ChannelLayout::Four, store, 10));
    EXPECT_GE(waited.elapsed(), WorkbookLock::kDefaultWaitMs);
    EXPECT_LT(waited.elapsed(), WorkbookLock::kDefaultWaitMs + 1500);
    EXPECT_FALSE(QFileInfo::exists(dayBook()));
    EXPECT_TRUE(writer.lastFailure().reason.contains(QStringLiteral("Another program")))
        << writer.lastFailure().reason.toStdString();
    EXPECT_FALSE(writer.takeFailureMessage().isEmpty());
    ASSERT_TRUE(writer.exportBatch(ChannelLayout::Six, store, 10)); // C6 of the same day
    EXPECT_TRUE(QFileInfo::exists(stray));

    // Killed while holding it: the kernel drops the lock, the next try writes at once and
    // removes the stray temporary file.
    ::kill(holder, SIGKILL);
    ASSERT_EQ(::waitpid(holder, nullptr, 0), holder);
    waited.restart();
    EXPECT_TRUE(writer.exportBatch(ChannelLayout::Four, store, 10));
    EXPECT_LT(waited.elapsed(), WorkbookLock::kDefaultWaitMs);
    EXPECT_EQ(timeColumn().size(), 11);
    EXPECT_FALSE(QFileInfo::exists(stray));
    EXPECT_FALSE(QFileInfo::exists(WorkbookLock::lockFilePath(dayBook())));
    ::close(ready[0]);
    ::close(ready[1]);
}

} // namespace
