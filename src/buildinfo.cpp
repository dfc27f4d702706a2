#include "buildinfo.h"

QString trellmoVersion() {
    return QStringLiteral(TRELLMO_VERSION);
}
