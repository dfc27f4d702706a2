#include "app/trellmoapp.h"

#include "app/trellmodlg.h"
#include "buildinfo.h"
#include "res/appicon.h"

CTrellmoApp::CTrellmoApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Trellmo"));
    setApplicationVersion(trellmoVersion());
    setWindowIcon(trellmoIcon());
}

int CTrellmoApp::InitInstance() {
    CTrellmoDlg dlg;
    dlg.exec();
    return 0;
}
