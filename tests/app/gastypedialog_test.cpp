#include "app/gastypedialog/gastypeedit.h"
#include "gastype/gasliststate.h"
#include "gastype/gasnametable.h"
#include "model/codetables.h"
#include "spreadsheet/safefilewrite.h"
#include "xlsreadback.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

// The dialog as a user meets it: real widgets, clicks and keys, the workbook read back.
class GasTypeDialogTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_path;
    UserGases m_gases;

    static QTableWidget* list(CGastypeEdit& d) { return d.findChild<QTableWidget*>("ctl1006"); }
    static QLineEdit* box(CGastypeEdit& d) { return d.findChild<QLineEdit*>("ctl1008"); }
    static QPushButton* ok(CGastypeEdit& d) { return d.findChild<QPushButton*>("ctl1013"); }
    static QPushButton* back(CGastypeEdit& d) { return d.findChild<QPushButton*>("ctl1002"); }

    static void clickRow(CGastypeEdit& d, int row) {
        QTableWidget* l = list(d);
        l->scrollToItem(l->item(row, 1));
        const QRect cell = l->visualItemRect(l->item(row, 1));
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, cell.center());
    }
    static void typeName(CGastypeEdit& d, const QString& name) {
        box(d)->selectAll();
        QTest::keyClicks(box(d), name);
    }
    static QString nameAt(CGastypeEdit& d, int row) { return list(d)->item(row, 1)->text(); }

    void saveBaseline() {
        QStringList names(kGasListRows);
        names[0] = QStringLiteral("Freon R22");
        names[2] = QStringLiteral("H2 mix");
        m_gases.list.edited = true;
        QVERIFY(SaveGasList(names, m_path, m_gases));
        m_gases.list.edited = false;
    }
    QByteArray fileBytes() const {
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Where the file stands and what it holds: a write that does not happen leaves all three.
    struct FileState {
        QByteArray bytes;
        ino_t inode = 0;
        qint64 modifiedNs = 0;
        bool operator==(const FileState&) const = default;
    };
    FileState fileState() const {
        FileState state{fileBytes(), 0, 0};
        struct stat info {};
        if (::stat(QFile::encodeName(m_path).constData(), &info) == 0) {
            state.inode = info.st_ino;
            state.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        }
        return state;
    }

private slots:
    void init() {
        m_path = m_tmp.path() + QStringLiteral("/parameter1.xls");
        QFile::remove(m_path);
        m_gases = UserGases{}; // as at the start of a run
    }

    void opensWithTwentyRowsAndTheBoxDisabled() {
        CGastypeEdit d(m_gases, nullptr, m_path);
        QCOMPARE(d.windowTitle(), QStringLiteral("Gas Type"));
        QVERIFY(list(d) && box(d) && ok(d) && back(d));
        QCOMPARE(list(d)->rowCount(), 20);
        QCOMPARE(list(d)->item(0, 0)->text(), QStringLiteral("No.81"));
        QCOMPARE(list(d)->item(19, 0)->text(), QStringLiteral("No.100"));
        QCOMPARE(nameAt(d, 0), QString());
        QCOMPARE(list(d)->horizontalHeaderItem(0)->text(), QStringLiteral("Number"));
        QCOMPARE(list(d)->horizontalHeaderItem(1)->text(), QStringLiteral("Gas Type"));
        QCOMPARE(list(d)->columnWidth(0), 60);
        QCOMPARE(list(d)->columnWidth(1), 150);
        QCOMPARE(ok(d)->text(), QStringLiteral("OK"));
        QCOMPARE(back(d)->text(), QStringLiteral("Back"));
        QVERIFY(!box(d)->isEnabled());
        QVERIFY(!ok(d)->isEnabled());
        QVERIFY(back(d)->isEnabled());
        QCOMPARE(d.minimumSize(), d.maximumSize());
        QVERIFY(back(d)->geometry().top() > ok(d)->geometry().bottom());
        QVERIFY(list(d)->geometry().bottom() < box(d)->geometry().top());
        QCOMPARE(m_gases.list.edited, false);
    }

    void editsOnTwoRowsAreWrittenByBack() {
        saveBaseline();
        CGastypeEdit d(m_gases, nullptr, m_path);
        d.show();
        QCOMPARE(nameAt(d, 2), QStringLiteral("H2 mix"));

        clickRow(d, 2); // No.83
        QCOMPARE(box(d)->text(), QStringLiteral("H2 mix"));
        QVERIFY(box(d)->isEnabled());
        QVERIFY(ok(d)->isEnabled()); // the box was empty, so its text changed
        QCOMPARE(m_gases.list.edited, true);
        QCOMPARE(m_gases.list.selectedRow, 2);
        typeName(d, QStringLiteral("Ozone"));
        QTest::mouseClick(ok(d), Qt::LeftButton);
        QCOMPARE(nameAt(d, 2), QStringLiteral("Ozone"));
        QCOMPARE(m_gases.names[2], QStringLiteral("H2 mix")); // OK changes the list alone

        clickRow(d, 7);
        QCOMPARE(box(d)->text(), QString());
        typeName(d, QStringLiteral("Argon's mix"));
        QTest::mouseClick(ok(d), Qt::LeftButton);
        QCOMPARE(nameAt(d, 7), QStringLiteral("Argon's mix"));
        QCOMPARE(nameAt(d, 2), QStringLiteral("Ozone"));

        QTest::mouseClick(back(d), Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(!d.isVisible());
        QCOMPARE(GasNameOf(83, m_gases.names), QStringLiteral("Ozone"));
        QCOMPARE(GasNameOf(88, m_gases.names), QStringLiteral("Argon's mix"));
        const ReadBook book = readWithXlrd(m_path);
        QCOMPARE(book.error, QString());
        const ReadSheet* sheet = book.sheet(QStringLiteral("GasType"));
        QVERIFY(sheet);
        QCOMPARE(sheet->rows.value(1).value(1), QStringLiteral("Freon R22"));
        QCOMPARE(sheet->rows.value(3).value(1), QStringLiteral("Ozone"));
        QCOMPARE(sheet->rows.value(8).value(1), QStringLiteral("Argon's mix"));
    }

    void escapeEnterAndCloseBoxLeaveEverythingAsItWas() {
        saveBaseline();
        // Opening rewrites the workbook (and adds its backup sheet once); the names must stay.
        const auto names = [this] {
            const ReadBook book = readWithXlrd(m_path);
            const ReadSheet* sheet = book.sheet(QStringLiteral("GasType"));
            return sheet ? sheet->rows : QList<QStringList>();
        };
        const QList<QStringList> before = names();
        QCOMPARE(before.value(1).value(1), QStringLiteral("Freon R22"));
        enum class Ending { Escape, EnterInList, EnterInBox, CloseBox };
        for (Ending ending :
             {Ending::Escape, Ending::EnterInList, Ending::EnterInBox, Ending::CloseBox}) {
            CGastypeEdit d(m_gases, nullptr, m_path);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            clickRow(d, 0);
            typeName(d, QStringLiteral("Lost"));
            QTest::mouseClick(ok(d), Qt::LeftButton);
            QCOMPARE(nameAt(d, 0), QStringLiteral("Lost"));
            switch (ending) {
            case Ending::Escape:
                QTest::keyClick(list(d), Qt::Key_Escape);
                break;
            case Ending::EnterInList:
                list(d)->setFocus();
                QTest::keyClick(list(d), Qt::Key_Return);
                break;
            case Ending::EnterInBox:
                box(d)->setFocus();
                QTest::keyClick(box(d), Qt::Key_Enter);
                break;
            case Ending::CloseBox:
                d.close();
                break;
            }
            QVERIFY2(!d.isVisible(),
                     qPrintable(QStringLiteral("ending %1 closes").arg(int(ending))));
            QCOMPARE(names(), before);
            QCOMPARE(m_gases.names[0], QStringLiteral("Freon R22"));
        }
    }

    void clickBelowTheLastRowEmptiesTheBoxAndOkChangesNothing() {
        saveBaseline();
        CGastypeEdit d(m_gases, nullptr, m_path);
        d.show();
        clickRow(d, 0);
        QCOMPARE(box(d)->text(), QStringLiteral("Freon R22"));

        QTableWidget* l = list(d);
        l->scrollToBottom();
        const int below = l->visualItemRect(l->item(19, 0)).bottom() + 2;
        QVERIFY2(below < l->viewport()->height(), "room below the last row");
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, QPoint(20, below));
        QCOMPARE(m_gases.list.selectedRow, -1);
        QCOMPARE(box(d)->text(), QString());
        QVERIFY(box(d)->isEnabled());

        typeName(d, QStringLiteral("Nowhere"));
        QTest::mouseClick(ok(d), Qt::LeftButton);
        for (int r = 0; r < kGasListRows; ++r) {
            QVERIFY(nameAt(d, r) != QStringLiteral("Nowhere"));
        }
        QCOMPARE(nameAt(d, 0), QStringLiteral("Freon R22"));
    }

    void unreadableWorkbookIsReportedAndNeverOverwritten() {
        const QByteArray garbage("this is no workbook");
        {
            QFile f(m_path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(garbage);
        }
        m_gases.names[0] = QStringLiteral("in use");
        QStringList messages;
        CGastypeEdit d(m_gases, nullptr, m_path);
        d.setMessagePresenter([&](QWidget*, const QString& text) { messages << text; });
        d.show();
        QTRY_COMPARE(messages.size(), 1);
        QVERIFY(messages[0].contains(QStringLiteral("parameter1.xls")));
        QCOMPARE(list(d)->rowCount(), 20);
        QCOMPARE(nameAt(d, 0), QStringLiteral("in use"));

        QTest::mouseClick(back(d), Qt::LeftButton);
        QTRY_COMPARE(messages.size(), 2);
        QVERIFY(d.isVisible()); // the user's list is not thrown away
        QCOMPARE(fileBytes(), garbage);
    }

    void openingAndBackWithoutEditsNeverWriteAWorkbookOfAnotherProgram() {
        QVERIFY(QFile::copy(
            QStringLiteral(TRELLMO_SOURCE_DIR "/tests/xls/fixtures/libreoffice_parameter.xls"),
            m_path));
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
        const FileState before = fileState();
        CGastypeEdit d(m_gases, nullptr, m_path);
        d.show();
        QCOMPARE(nameAt(d, 1), QStringLiteral("Ammonia"));
        clickRow(d, 1); // looking at a name is no edit
        QTest::mouseClick(back(d), Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(fileState() == before);
    }

    void savesThatFailKeepTheDialogOpenWithTheEdits() {
        saveBaseline();
        auto editAndGoBack = [&](CGastypeEdit& d, QStringList& messages) {
            d.setMessagePresenter([&](QWidget*, const QString& text) { messages << text; });
            d.show();
            clickRow(d, 1);
            typeName(d, QStringLiteral("Argon"));
            QTest::mouseClick(ok(d), Qt::LeftButton);
            QTest::mouseClick(back(d), Qt::LeftButton);
        };
        const QString shownPath = QDir::toNativeSeparators(m_path);

        // The disk is full.
        {
            const FileState before = fileState();
            safefilewrite::setWriteFaultForTesting([](qint64) { return ENOSPC; });
            QStringList messages;
            CGastypeEdit d(m_gases, nullptr, m_path);
            editAndGoBack(d, messages);
            safefilewrite::setWriteFaultForTesting(nullptr);
            QTRY_COMPARE(messages.size(), 1);
            QVERIFY2(messages[0].contains(shownPath), qPrintable(messages[0]));
            QVERIFY(d.isVisible());
            QCOMPARE(nameAt(d, 1), QStringLiteral("Argon"));
            QVERIFY(fileState() == before);
            // The names in memory follow the list, as for any save; the disk keeps the old.
            QCOMPARE(m_gases.names[1], QStringLiteral("Argon"));
        }
        // The file is read-only.
        {
            QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ReadGroup);
            const FileState before = fileState();
            QStringList messages;
            CGastypeEdit d(m_gases, nullptr, m_path);
            editAndGoBack(d, messages);
            QTRY_COMPARE(messages.size(), 1);
            QVERIFY2(messages[0].contains(shownPath) && messages[0].contains("read-only"),
                     qPrintable(messages[0]));
            QVERIFY(d.isVisible());
            QVERIFY(fileState() == before);
            QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
        }
        // The folder is read-only (an administrator may write anyway).
        if (::getuid() != 0) {
            QFile::setPermissions(m_tmp.path(), QFile::ReadOwner | QFile::ExeOwner);
            const FileState before = fileState();
            QStringList messages;
            CGastypeEdit d(m_gases, nullptr, m_path);
            editAndGoBack(d, messages);
            QTRY_COMPARE(messages.size(), 1);
            QVERIFY(d.isVisible());
            QVERIFY(fileState() == before);
            QFile::setPermissions(m_tmp.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        // The path is a folder: reported on opening and again by Back, which keeps the list.
        {
            QFile::remove(m_path);
            QVERIFY(QDir().mkdir(m_path));
            QStringList messages;
            CGastypeEdit d(m_gases, nullptr, m_path);
            editAndGoBack(d, messages);
            QTRY_COMPARE(messages.size(), 2);
            QVERIFY2(messages[1].contains(shownPath), qPrintable(messages[1]));
            QVERIFY(d.isVisible());
            QCOMPARE(nameAt(d, 1), QStringLiteral("Argon"));
            QVERIFY(QDir().rmdir(m_path));
        }
    }
};

QTEST_MAIN(GasTypeDialogTest)
#include "gastypedialog_test.moc"
