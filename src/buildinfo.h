#pragma once

#include <QString>

// The program's version, as the build system knows it.
QString trellmoVersion();
