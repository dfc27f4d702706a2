#pragma once

#include "serial/portmap.h"

#include <QList>
#include <QString>

#include <functional>

struct ProbedPort {
    int number = 0;
    QString name;       // "COM%d"
    QString devicePath; // shown as the entry's tooltip
};

// What trying to open a candidate device found.
enum class PortAccess {
    Openable, // opened exclusively and closed again
    Refused,  // this user may not open it (no read and write permission)
    Busy,     // another program holds it (exclusive open or lock file)
    Failed,   // gone meanwhile, or refused for another reason
};

// Tries to open the device for reading and writing, exclusively, and closes it again.
PortAccess checkPortAccess(const QString& devicePath);

// How the probe tries a device; tests put a function here that answers "refused" or "busy",
// which a test running as root could not provoke otherwise.
using PortAccessCheck = std::function<PortAccess(const QString& devicePath)>;

// The candidates of one probe: the ports that can be opened, in increasing order, and beside
// them the devices that exist but could not be opened, so the window can say why.
struct PortProbe {
    QList<ProbedPort> openable;
    QList<ProbedPort> refused;
    QList<ProbedPort> busy;
};

// The ports COM1..COM256 that exist and can be opened exclusively, in increasing order. Each
// candidate is opened and closed again at once; numbers that map to no device or whose device
// file doesn't exist are skipped without trying. heldPort (0 for none) is the port this program
// holds open: it is listed without being tried, since it can't be opened a second time.
PortProbe probePortAccess(const PortMap& ports, int heldPort,
                          const PortAccessCheck& check = checkPortAccess);
QList<ProbedPort> probePorts(const PortMap& ports, int heldPort);

// Opens the device for reading and writing, exclusively, and closes it again.
bool canOpenExclusively(const QString& devicePath);
