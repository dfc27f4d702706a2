// The gas name save takes the parameter workbook's lock: while another copy of the program holds
// it, the save gives up after the bounded wait and writes nothing; once it is free, it saves.
#include "workbookreaders.h"

#include "gastype/gasliststate.h"
#include "gastype/gasnametable.h"
#include "model/codetables.h"
#include "spreadsheet/workbooklock.h"

#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(GasSaveLockTest, SaveWaitsForTheOtherCopyAndNeverWritesWithoutTheLock) {
    QTemporaryDir tmp;
    const QString path = tmp.path() + QStringLiteral("/parameter1.xls");
    UserGases gases; // as at the start of a run
    gases.list.edited = true;
    QStringList list(kGasListRows);
    list[0] = QStringLiteral("first");
    ASSERT_TRUE(SaveGasList(list, path, gases));
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray before = saved.readAll();
    saved.close();

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        WorkbookLock lock(path);
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

    list[0] = QStringLiteral("second");
    EXPECT_THROW((void)SaveGasList(list, path, gases), WorkbookLockError);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), before);
    saved.close();
    // Loading only reads meanwhile.
    EXPECT_EQ(LoadUserGasNames(path, gases.names)[0], QStringLiteral("first"));

    ::kill(holder, SIGKILL);
    ASSERT_EQ(::waitpid(holder, nullptr, 0), holder);
    EXPECT_TRUE(SaveGasList(list, path, gases));
    const ReadBook book = readWithXlrd(path);
    ASSERT_EQ(book.error, QString());
    const ReadSheet* sheet = book.sheet(QStringLiteral("GasType"));
    ASSERT_NE(sheet, nullptr);
    ASSERT_GE(sheet->rows.size(), 2);
    EXPECT_EQ(sheet->rows[1][1], QStringLiteral("second"));
    ::close(ready[0]);
    ::close(ready[1]);
}

} // namespace
