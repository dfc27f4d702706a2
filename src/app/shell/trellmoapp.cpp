#include "app/shell/trellmoapp.h"

#include "app/mainwindow/trellmodlg.h"
#include "buildinfo.h"
#include "res/appicon.h"

CTrellmoApp::CTrellmoApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Trellmo"));
    setApplicationVersion(trellmoVersion());
    // Desktops match the running window to its menu entry (and icon) by this name.
    setDesktopFileName(QStringLiteral("org.trellmo.Trellmo"));
    setWindowIcon(trellmoIcon());
}

int CTrellmoApp::InitInstance() {
    DialogSettings settings;
    settings.archive = m_archive;
    CTrellmoDlg dlg(std::move(settings));
    dlg.exec();
    return 0;
}
