#pragma once

#include <QString>

// Shows the folder in the desktop's file manager. Neither creates nor tests the folder, and
// whether the desktop managed to open it is not looked at.
void openRecordFolder(const QString& folder);
