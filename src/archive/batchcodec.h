#pragma once

#include "archive/archivetypes.h"

#include <QByteArray>
#include <optional>

// A batch as bytes, for the outbox that keeps it on disk until the archive server takes it.
// The bytes start with a format number; a later program reads what an earlier one wrote.
QByteArray encodeBatch(const ArchiveBatch& batch);
// The batch back; nothing when the bytes are no batch of a known format.
std::optional<ArchiveBatch> decodeBatch(const QByteArray& bytes);
