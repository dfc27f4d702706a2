#pragma once

#include <QByteArrayView>
#include <QString>
#include <functional>

// Replaces a file's whole content so that a failed write, a full disk or a crash at any moment
// leaves either the old file or the new one, never a mix: the content goes to a temporary file
// in the same folder, is flushed to the disk, renamed over the old file, and the folder is
// flushed. A temporary file is never left behind by a failure that the process survives.
namespace safefilewrite {

// True when the replacement is on disk. Otherwise `failure` says why in words a user can act on
// (without a trailing line end) and the old file is untouched.
[[nodiscard]] bool replaceFile(const QString& path, QByteArrayView content, QString& failure);

// The same with content that is produced piece by piece, so that a large file needs no buffer
// of its size: `produce` hands every piece, in order, to the function it is given, which
// returns false once writing failed; `produce` then stops and returns false. An exception from
// `produce` leaves the old file and no temporary file, and goes on to the caller.
using PieceWriter = std::function<bool(QByteArrayView piece)>;
using ContentProducer = std::function<bool(const PieceWriter& write)>;
[[nodiscard]] bool replaceFile(const QString& path, const ContentProducer& produce,
                               QString& failure);

// Temporary files are named ".<file name>.trellmo-partial-<pid>-<n>" so that one left by a
// killed process is recognisable; a later successful replacement of a file in the same folder
// removes those whose process is gone and whose workbook nobody holds locked (workbooklock.h).
bool isTemporaryFileName(const QString& fileName);

// Test seam for the full-disk case: called before each write of content to the temporary
// file with the bytes written so far; a non-zero errno value fails that write with it.
using WriteFault = std::function<int(qint64 writtenSoFar)>;
void setWriteFaultForTesting(WriteFault fault);

} // namespace safefilewrite
