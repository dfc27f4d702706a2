#include "app/shell/startfolder.h"

QString expandStartFolder(const QString& folder, const QString& homeFolder) {
    if (folder == QLatin1String("~")) {
        return homeFolder;
    }
    if (folder.startsWith(QLatin1String("~/"))) {
        return homeFolder + folder.mid(1);
    }
    return folder;
}
