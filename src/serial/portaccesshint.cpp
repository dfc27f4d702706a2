#include "serial/portaccesshint.h"

#include "serial/serialerror.h"

#include <QMap>
#include <QStringList>

namespace {

QString portList(const QList<ProbedPort>& ports) {
    QStringList names;
    for (const ProbedPort& port : ports) {
        names << QStringLiteral("%1 (%2)").arg(port.name, port.devicePath);
    }
    return names.join(QStringLiteral(", "));
}

} // namespace

QString portAccessHint(const PortProbe& probe) {
    QStringList sentences;
    // Devices of one group share one command; usually all of them belong to dialout.
    QMap<QString, QList<ProbedPort>> refusedByGroup;
    for (const ProbedPort& port : probe.refused) {
        refusedByGroup[SerialRefusal::owningGroup(port.devicePath)].append(port);
    }
    for (auto group = refusedByGroup.cbegin(); group != refusedByGroup.cend(); ++group) {
        sentences << QStringLiteral("%1: access refused. To use it, run sudo adduser \"$USER\" "
                                    "%2, then log out and in again.")
                         .arg(portList(group.value()), group.key());
    }
    if (!probe.busy.isEmpty()) {
        sentences
            << QStringLiteral("%1: busy, in use by another program.").arg(portList(probe.busy));
    }
    return sentences.join(QLatin1Char(' '));
}
