#pragma once

#include "app/widgets/messagepresenter.h"
#include "export/recordexporter.h"
#include "export/recordworkbook.h"
#include "gastype/gasnametable.h"
#include "serial/portprobe.h"
#include "serverarchive/archivelocation.h"

#include <QString>

// What the main window takes from its surroundings. The program uses the defaults; tests point
// them elsewhere (pseudo-terminals linked into a temporary folder, a message recorder,
// temporary record and parameter files, a fixed date).
struct DialogSettings {
    // The folder holding the serial devices that the port numbers map to.
    QString deviceFolder = QStringLiteral("/dev");
    // Empty: messages are shown in a modal message box.
    MessagePresenter presentMessage;
    // Where the day workbooks of downloaded records go, and what Open folder shows.
    QString recordFolder = ::recordFolder();
    // The user gas names; a bare file name lies in the current working directory.
    QString parameterWorkbook = defaultParameterWorkbook();
    // The local date a batch of records is filed under; empty: the system clock's.
    RecordExporter::DateSource recordDate{};
    // The records archive; an SQLite location without a path: the file beside the workbooks.
    ArchiveLocation archive{};
    // How the port probe tries a device; empty: by opening it.
    PortAccessCheck portAccessCheck{};
    // One request per timer tick (--pace tick) instead of each request following the answer
    // to the one before, for an instrument that cannot answer at the line's pace.
    bool tickPace = false;
};
