#pragma once

#include <QIcon>

// The application icon (a gas detector), used as the window icon.
QIcon trellmoIcon();
