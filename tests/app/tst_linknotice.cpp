// The notice line under the main window's controls: where it sits, that a long notice neither
// resizes the fixed window nor gets cut, and that a notice is said once.
#include "windowfixture.h"

#include "app/mainwindow/linknotice.h"
#include "app/mainwindow/trellmodlg.h"

#include <QSignalSpy>
#include <QTest>

class LinkNoticeTest : public QObject {
    Q_OBJECT
private slots:
    void sitsBelowTheControlsAndFitsItsLongestText();
    void textsAreSaidOnceAndWithdrawn();
};

void LinkNoticeTest::sitsBelowTheControlsAndFitsItsLongestText() {
    WindowFixture w;
    w.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.dlg.get()));
    auto* notice = w.dlg->findChild<LinkNotice*>(QStringLiteral("linkNotice"));
    QVERIFY(notice != nullptr);
    QVERIFY(notice->isVisible());
    QVERIFY(notice->text().isEmpty());
    auto* client = w.dlg->findChild<QWidget*>(QStringLiteral("client"));
    QVERIFY(notice->geometry().top() >= client->geometry().bottom());
    QCOMPARE(notice->width(), client->width());

    const QSize before = w.dlg->size();
    const LinkSilence longest{LinkSilence::Kind::Download, 4294967295u, 4294967295u};
    notice->showSilence(longest, QStringLiteral("COM256"));
    QTest::qWait(50);
    QCOMPARE(w.dlg->size(), before);
    const QString text = notice->text();
    QVERIFY(text.endsWith(QLatin1String("Close Port stops.")));
    QVERIFY2(notice->fontMetrics().horizontalAdvance(text) <= notice->contentsRect().width(),
             qPrintable(QStringLiteral("%1 px of text in %2 px")
                            .arg(notice->fontMetrics().horizontalAdvance(text))
                            .arg(notice->contentsRect().width())));
}

void LinkNoticeTest::textsAreSaidOnceAndWithdrawn() {
    LinkNotice notice;
    QSignalSpy changed(&notice, &LinkNotice::changed);
    const LinkSilence download{LinkSilence::Kind::Download, 21, 100};
    notice.showSilence(download, QStringLiteral("COM1"));
    notice.showSilence(download, QStringLiteral("COM1"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(notice.text(), QStringLiteral("No answer from the instrument on COM1 since record 21 "
                                           "of 100; still trying. Close Port stops."));
    notice.showSilence({}, QStringLiteral("COM1"));
    QCOMPARE(notice.text(), QString());
    notice.showSilence({LinkSilence::Kind::ParameterRead}, QStringLiteral("COM3"));
    QCOMPARE(notice.text(), QStringLiteral("No answer from the instrument on COM3"));
    QCOMPARE(changed.count(), 3);
}

QTEST_MAIN(LinkNoticeTest)
#include "tst_linknotice.moc"
