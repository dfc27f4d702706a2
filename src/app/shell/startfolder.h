#pragma once

#include <QString>

// The folder the program works in: the parameter workbook parameter1.xls is read and written
// there. A menu entry cannot name the user's home folder (its Exec line expands nothing), so a
// folder text that is "~" or starts with "~/" stands for the home folder, as in a shell.
QString expandStartFolder(const QString& folder, const QString& homeFolder);
