#pragma once

#include "serial/portprobe.h"

#include <QString>

// The line that tells why ports a probe found are missing from the port list: devices this
// user may not open, with the command that gives access (membership of the group owning the
// device, then a new login), and devices another program holds. Empty when every device found
// could be opened.
QString portAccessHint(const PortProbe& probe);
