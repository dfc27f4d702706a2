#pragma once

#include "serial/portmap.h"

#include <QList>
#include <QString>

struct ProbedPort {
    int number = 0;
    QString name;       // "COM%d"
    QString devicePath; // shown as the entry's tooltip
};

// The ports COM1..COM256 that exist and can be opened exclusively, in increasing order. Each
// candidate is opened and closed again at once; numbers that map to no device or whose device
// file doesn't exist are skipped without trying. heldPort (0 for none) is the port this program
// holds open: it is listed without being tried, since it can't be opened a second time.
QList<ProbedPort> probePorts(const PortMap& ports, int heldPort);

// Opens the device for reading and writing, exclusively, and closes it again.
bool canOpenExclusively(const QString& devicePath);
