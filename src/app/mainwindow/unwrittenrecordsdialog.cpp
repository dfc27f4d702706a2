#include "app/mainwindow/unwrittenrecordsdialog.h"

#include "export/recordexporter.h"
#include "export/recordworkbook.h"
#include "protocol/instrumentlink.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

enum class Choice { TryAgain, SaveElsewhere, Discard };

Choice ask(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Trellmo"), text, QMessageBox::NoButton,
                    parent);
    box.setObjectName(QStringLiteral("unwrittenRecordsBox"));
    QPushButton* tryAgain = box.addButton(QStringLiteral("Try Again"), QMessageBox::AcceptRole);
    QPushButton* saveElsewhere =
        box.addButton(QStringLiteral("Save Elsewhere..."), QMessageBox::ActionRole);
    QPushButton* discard = box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
    tryAgain->setObjectName(QStringLiteral("tryAgainButton"));
    saveElsewhere->setObjectName(QStringLiteral("saveElsewhereButton"));
    discard->setObjectName(QStringLiteral("discardButton"));
    box.setDefaultButton(tryAgain);
    // Escape and the close box answer nothing: the box stays until one of the three is chosen.
    for (;;) {
        box.exec();
        if (box.clickedButton() == saveElsewhere) {
            return Choice::SaveElsewhere;
        }
        if (box.clickedButton() == discard) {
            return Choice::Discard;
        }
        if (box.clickedButton() == tryAgain) {
            return Choice::TryAgain;
        }
    }
}

// Empty when the user cancelled the file dialog.
QString askPath(QWidget* parent, const QString& suggested) {
    QFileDialog dialog(parent, QStringLiteral("Save Downloaded Records"), suggested,
                       QStringLiteral("Excel 97-2003 workbook (*.xls)"));
    dialog.setObjectName(QStringLiteral("saveElsewhereDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("xls"));
    // An existing record workbook gets the records appended, so there is no "replace" to
    // confirm; a workbook of other captions is refused with a reason.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().first();
}

} // namespace

void settleUnwrittenRecords(QWidget* parent, const UnwrittenRecordsActions& actions) {
    QString saveFailure;
    for (;;) {
        QString text = actions.describe();
        if (!saveFailure.isEmpty()) {
            text += QStringLiteral("\n\nSaving them elsewhere failed too:\n%1").arg(saveFailure);
        }
        text +=
            QStringLiteral("\n\nTry again, save them in a workbook elsewhere, or discard them?");
        switch (ask(parent, text)) {
        case Choice::TryAgain:
            saveFailure.clear();
            if (actions.tryAgain()) {
                return;
            }
            break;
        case Choice::SaveElsewhere: {
            const QString path = askPath(parent, actions.suggestedPath());
            if (path.isEmpty()) {
                break;
            }
            saveFailure = actions.saveTo(path);
            if (saveFailure.isEmpty()) {
                return;
            }
            break;
        }
        case Choice::Discard:
            actions.discard();
            return;
        }
    }
}

void settleUnwrittenRecords(QWidget* parent, InstrumentLink& link, RecordExporter& exporter) {
    const auto layout = [&link] {
        return link.unwrittenLayout();
    };
    const auto dropHeldRows = [&link, &exporter] {
        link.discardUnwritten();
        exporter.forgetHeldRows();
    };
    UnwrittenRecordsActions actions;
    actions.describe = [&link, &exporter] {
        return exporter.unwrittenRecordsMessage(link.unwrittenCount());
    };
    actions.tryAgain = [&link] {
        return link.flushUnwritten();
    };
    actions.suggestedPath = [layout] {
        return QDir::homePath() + QLatin1Char('/') +
               recordWorkbookName(layout(), QDate::currentDate());
    };
    actions.saveTo = [&link, &exporter, layout, dropHeldRows](const QString& path) {
        const QString failure =
            exporter.saveElsewhere(path, layout(), link.records(), link.unwrittenCount());
        if (failure.isEmpty()) {
            dropHeldRows();
        }
        return failure;
    };
    actions.discard = dropHeldRows;
    settleUnwrittenRecords(parent, actions);
}
