#include "app/mainwindow/aboutdlg.h"

#include "buildinfo.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Trellmo"));
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QStringLiteral("Trellmo %1").arg(trellmoVersion()), this);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    layout->addWidget(name);
    layout->addWidget(new QLabel(
        tr("Reads the channel configuration and the stored records of a portable gas detector."),
        this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
