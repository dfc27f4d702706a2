#include "app/mainwindow/archivestatusline.h"

#include <QLocale>

ArchiveStatusLine::ArchiveStatusLine(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("archiveStatus"));
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setContentsMargins(6, 0, 6, 2);
}

void ArchiveStatusLine::show(const QString& where, Reach reach, qint64 waitingRecords) {
    setText(textOf(where, reach, waitingRecords));
    setToolTip(text());
}

QString ArchiveStatusLine::textOf(const QString& where, Reach reach, qint64 waitingRecords) {
    QString text = QStringLiteral("Archive: ") + where;
    switch (reach) {
    case Reach::Opening:
        text += QStringLiteral(" (connecting)");
        break;
    case Reach::Reachable:
        text += QStringLiteral(" (reachable)");
        break;
    case Reach::Unreachable:
        text += QStringLiteral(" (not reachable)");
        break;
    }
    if (waitingRecords > 0) {
        text += QStringLiteral("; %1 records wait on this PC")
                    .arg(QLocale::c().toString(waitingRecords));
    }
    return text;
}
