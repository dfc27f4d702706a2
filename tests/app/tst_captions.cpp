// Every caption of the main window and the Gas Type dialog is shown whole: for each button,
// label, group box title and column header, the text's width from the font metrics plus the
// margins the style puts around it fits the widget (or the column). The test is registered
// once per scale factor the windows must work at (QT_SCALE_FACTOR 1, 1.25 and 1.5).
#include "windowfixture.h"

#include "app/gastypedialog/gastypeedit.h"
#include "app/mainwindow/controlids.h"
#include "app/mainwindow/trellmodlg.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

namespace {

struct Misfit {
    QString what;
    QSize needed;
    QSize available;
};

QString describe(const QList<Misfit>& misfits) {
    QStringList lines;
    for (const Misfit& m : misfits) {
        lines << QStringLiteral("%1 needs %2x%3, has %4x%5")
                     .arg(m.what)
                     .arg(m.needed.width())
                     .arg(m.needed.height())
                     .arg(m.available.width())
                     .arg(m.available.height());
    }
    return lines.join(QLatin1Char('\n'));
}

void check(QList<Misfit>& misfits, const QString& what, QSize needed, QSize available) {
    if (needed.width() > available.width() || needed.height() > available.height()) {
        misfits.append({what, needed, available});
    }
}

// A push button draws its caption inside its frame; the style's size for a caption adds the
// button margin and the frame on top of the text.
QSize buttonNeeds(const QPushButton& button) {
    const QStyle* style = button.style();
    const QFontMetrics metrics = button.fontMetrics();
    const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button) +
                       2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &button);
    const QSize text = metrics.size(Qt::TextShowMnemonic, button.text());
    return text + QSize(margin, margin);
}

QSize labelNeeds(const QLabel& label) {
    const QMargins margins = label.contentsMargins();
    const int extra = 2 * (label.margin() + label.frameWidth());
    return label.fontMetrics().size(Qt::TextShowMnemonic, label.text()) +
           QSize(margins.left() + margins.right() + extra,
                 margins.top() + margins.bottom() + extra);
}

QSize groupTitleNeeds(const QGroupBox& box) {
    // The title is drawn on the frame's top edge, indented by the style.
    QStyleOptionGroupBox option;
    option.initFrom(&box);
    option.text = box.title();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    option.lineWidth = 1;
    const QRect label =
        box.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, &box);
    const int textWidth = box.fontMetrics().horizontalAdvance(box.title());
    return QSize(label.left() + textWidth, box.fontMetrics().height());
}

void checkHeader(QList<Misfit>& misfits, const QString& window, const QTableWidget& table) {
    const QHeaderView* header = table.horizontalHeader();
    for (int section = 0; section < header->count(); ++section) {
        const QString text = table.horizontalHeaderItem(section)->text();
        QStyleOptionHeader option;
        option.initFrom(header);
        option.section = section;
        option.text = text;
        option.textAlignment = Qt::AlignCenter;
        option.orientation = Qt::Horizontal;
        option.fontMetrics = header->fontMetrics();
        const QSize needed =
            header->style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), header);
        check(misfits, QStringLiteral("%1 column \"%2\"").arg(window, text),
              QSize(needed.width(), header->fontMetrics().height()),
              QSize(header->sectionSize(section), header->height()));
    }
}

void checkWindow(QList<Misfit>& misfits, const QString& window, QWidget& root) {
    for (const QPushButton* button : root.findChildren<QPushButton*>()) {
        check(misfits, QStringLiteral("%1 button \"%2\"").arg(window, button->text()),
              buttonNeeds(*button), button->size());
    }
    for (const QLabel* label : root.findChildren<QLabel*>()) {
        if (label->wordWrap() || label->text().isEmpty()) {
            continue; // lines that wrap grow to their text
        }
        check(misfits, QStringLiteral("%1 label \"%2\"").arg(window, label->text()),
              labelNeeds(*label), label->size());
    }
    for (const QGroupBox* box : root.findChildren<QGroupBox*>()) {
        check(misfits, QStringLiteral("%1 group \"%2\"").arg(window, box->title()),
              groupTitleNeeds(*box), box->size());
    }
    for (const QTableWidget* table : root.findChildren<QTableWidget*>()) {
        checkHeader(misfits, window, *table);
    }
}

} // namespace

class CaptionsTest : public QObject {
    Q_OBJECT
private slots:
    void everyCaptionOfBothWindowsFits();
};

void CaptionsTest::everyCaptionOfBothWindowsFits() {
    qInfo("scale factor %s",
          qgetenv("QT_SCALE_FACTOR").isEmpty() ? "1" : qgetenv("QT_SCALE_FACTOR").constData());
    WindowFixture w;
    w.dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.dlg.get()));
    QList<Misfit> misfits;
    checkWindow(misfits, QStringLiteral("main window"), *w.dlg);
    qInfo("main window captions at %.2f pt",
          w.button(ControlId::ReadParameter)->font().pointSizeF());

    // The Gas Type dialog as the menu opens it; it is looked at while it runs, then closed.
    QAction* gasTypeCommand =
        w.dlg->findChild<QAction*>(controlObjectName(ControlId::GasTypeCommand));
    QVERIFY(gasTypeCommand != nullptr);
    bool seen = false;
    QTimer::singleShot(0, w.dlg.get(), [&] {
        auto* gasType = qobject_cast<CGastypeEdit*>(QApplication::activeModalWidget());
        if (gasType == nullptr) {
            return;
        }
        if (!QTest::qWaitForWindowExposed(gasType)) {
            return;
        }
        checkWindow(misfits, QStringLiteral("Gas Type"), *gasType);
        qInfo("Gas Type captions at %.2f pt", gasType->font().pointSizeF());
        if (qEnvironmentVariableIsSet("TRELLMO_SHOT")) {
            gasType->grab().save(qEnvironmentVariable("TRELLMO_SHOT") + "-gastype.png");
        }
        seen = true;
        gasType->reject();
    });
    gasTypeCommand->trigger();
    QVERIFY(seen);
    if (qEnvironmentVariableIsSet("TRELLMO_SHOT")) {
        w.dlg->grab().save(qEnvironmentVariable("TRELLMO_SHOT") + "-main.png");
    }
    QVERIFY2(misfits.isEmpty(), qPrintable(QLatin1Char('\n') + describe(misfits)));
}

QTEST_MAIN(CaptionsTest)
#include "tst_captions.moc"
