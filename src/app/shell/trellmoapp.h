#pragma once

#include "serverarchive/archivelocation.h"

#include <QApplication>

// The application object: runs the main window modally; when it closes, the program ends.
class CTrellmoApp : public QApplication {
    Q_OBJECT
public:
    CTrellmoApp(int& argc, char** argv);

    // The records archive the window keeps (the command line's or the settings file's).
    void setArchive(const ArchiveLocation& archive) { m_archive = archive; }

    // Shows the main window and returns once it has been closed. The window's result is not used.
    int InitInstance();

private:
    ArchiveLocation m_archive;
};
