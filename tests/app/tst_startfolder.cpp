// The folder given with --directory: "~" stands for the home folder, as the menu entry needs.
#include "app/shell/startfolder.h"

#include <QTest>

class StartFolderTest : public QObject {
    Q_OBJECT
private slots:
    void tildeStandsForTheHomeFolderOnlyAtTheStart();
};

void StartFolderTest::tildeStandsForTheHomeFolderOnlyAtTheStart() {
    const QString home = QStringLiteral("/home/tech");
    QCOMPARE(expandStartFolder(QStringLiteral("~"), home), home);
    QCOMPARE(expandStartFolder(QStringLiteral("~/records"), home),
             QStringLiteral("/home/tech/records"));
    QCOMPARE(expandStartFolder(QStringLiteral("/srv/gas"), home), QStringLiteral("/srv/gas"));
    QCOMPARE(expandStartFolder(QStringLiteral("sub/~"), home), QStringLiteral("sub/~"));
    // Another user's home is not looked up: the text stays as given.
    QCOMPARE(expandStartFolder(QStringLiteral("~other"), home), QStringLiteral("~other"));
}

QTEST_MAIN(StartFolderTest)
#include "tst_startfolder.moc"
