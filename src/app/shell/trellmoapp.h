#pragma once

#include "app/mainwindow/dialogsettings.h"

#include <QApplication>

// The application object: runs the main window modally; when it closes, the program ends.
class CTrellmoApp : public QApplication {
    Q_OBJECT
public:
    CTrellmoApp(int& argc, char** argv);

    // Shows the main window and returns once it has been closed. The window's result is not used.
    int InitInstance(DialogSettings settings = {});
};
