#pragma once

#include <QDialog>

// The About box: program name, version and what the program is for.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
