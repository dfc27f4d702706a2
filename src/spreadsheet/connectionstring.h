#pragma once

#include <QString>

// The parts of a workbook connection string that the store acts on.
struct WorkbookConnection {
    QString workbookPath;         // DBQ
    bool createIfMissing = false; // CREATE_DB naming the same workbook
};

// Reads DBQ and CREATE_DB from a string of the form
//   DRIVER={...};DSN='';FIRSTROWHASNAMES=1;READONLY=FALSE;CREATE_DB="P";DBQ=P
// P is not quoted after DBQ, so it may hold ';' or '"' itself: DBQ, the last attribute, takes
// the rest of the string, and CREATE_DB is recognised by naming the same path. False when the
// string names no workbook.
bool parseWorkbookConnection(const QString& text, WorkbookConnection& connection);
