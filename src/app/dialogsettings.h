#pragma once

#include "app/messagepresenter.h"

#include <QString>

// What the main window takes from its surroundings. The program uses the defaults; tests point
// them elsewhere (pseudo-terminals linked into a temporary folder, a message recorder).
struct DialogSettings {
    // The folder holding the serial devices that the port numbers map to.
    QString deviceFolder = QStringLiteral("/dev");
    // Empty: messages are shown in a modal message box.
    MessagePresenter presentMessage;
};
