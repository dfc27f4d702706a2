#include "app/widgets/messagepresenter.h"

#include <QMessageBox>

void showMessageBox(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Trellmo"), text, QMessageBox::Ok, parent);
    box.exec();
}
