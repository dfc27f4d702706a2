#include "app/shell/openfolder.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

// Stands in for the desktop: receives what would go to the file manager.
class OpenFolderTest : public QObject {
    Q_OBJECT
public slots:
    void openUrl(const QUrl& url) { m_opened << url; }

private slots:
    void opensTheFolderWithoutCreatingIt() {
        QTemporaryDir tmp;
        const QString folder = tmp.path() + QStringLiteral("/TRELLMO_RECORD_DATA");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
        openRecordFolder(folder);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(folder)});
        QVERIFY(!QFileInfo::exists(folder));
    }

private:
    QList<QUrl> m_opened;
};

QTEST_MAIN(OpenFolderTest)
#include "openfolder_test.moc"
