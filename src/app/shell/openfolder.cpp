#include "app/shell/openfolder.h"

#include <QDesktopServices>
#include <QUrl>

void openRecordFolder(const QString& folder) {
    // A file: URL of a folder goes to the freedesktop default handler of inode/directory,
    // which is the file manager.
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}
