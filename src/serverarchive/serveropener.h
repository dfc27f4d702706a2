#pragma once

#include "archive/archivestore.h"
#include "serverarchive/archivelocation.h"

// Opens the archive on the server that location names, for store, on the calling thread (the
// archive's own): connects, creates or upgrades the schema where the role may, and checks that
// the role may read and add what a download stores. Every failure is one message that names the
// archive without its password.
[[nodiscard]] ArchiveStore::Status openServerArchive(ArchiveStore& store,
                                                     const ArchiveLocation& location);

// --archive-init: creates or upgrades the schema of the archive at location (a server or a
// file) and says what it did, or why not.
[[nodiscard]] ArchiveStore::Status initArchive(const ArchiveLocation& location);
