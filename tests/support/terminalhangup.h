#pragma once

#include <QString>

// Hangs up the terminal at devicePath for every process that has it open (TIOCVHANGUP), which
// is what the kernel does when a USB serial adapter is pulled out: reads return 0, writes fail.
// Needs CAP_SYS_ADMIN; returns false when the hang-up could not be made.
bool hangUpTerminal(const QString& devicePath);
