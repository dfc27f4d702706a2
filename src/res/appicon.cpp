#include "res/appicon.h"

// Outside any namespace: Q_INIT_RESOURCE declares the resource's initialiser.
static void initTrellmoResources() {
    // The resources live in a static library, whose initialiser the linker would otherwise drop.
    Q_INIT_RESOURCE(trellmo);
}

QIcon trellmoIcon() {
    static const bool initialised = (initTrellmoResources(), true);
    Q_UNUSED(initialised);
    return QIcon(QStringLiteral(":/icons/trellmo.png"));
}
