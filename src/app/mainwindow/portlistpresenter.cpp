#include "app/mainwindow/portlistpresenter.h"

#include "app/mainwindow/porthintlabel.h"
#include "serial/adapteridentity.h"
#include "serial/mscomm1.h"
#include "serial/portaccesshint.h"
#include "serial/portwatcher.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPushButton>

namespace {

// How often a dropped-down list is looked at again; short, so the update still comes soon.
constexpr int kDroppedDownRetryMs = 300;

struct PortEntry {
    QString name;
    QString toolTip;
    bool operator==(const PortEntry&) const = default;
};

QList<PortEntry> entriesOf(const QList<ProbedPort>& ports) {
    QList<PortEntry> entries;
    for (const ProbedPort& port : ports) {
        entries.append(
            {port.name, portToolTip(port.devicePath, adapterIdentityOf(port.devicePath))});
    }
    return entries;
}

QList<PortEntry> entriesShown(const QComboBox& combo) {
    QList<PortEntry> entries;
    for (int i = 0; i < combo.count(); ++i) {
        entries.append({combo.itemText(i), combo.itemData(i, Qt::ToolTipRole).toString()});
    }
    return entries;
}

void fill(QComboBox& combo, const QList<PortEntry>& entries) {
    combo.clear();
    combo.setEditText(QString());
    for (const PortEntry& entry : entries) {
        combo.addItem(entry.name);
        combo.setItemData(combo.count() - 1, entry.toolTip, Qt::ToolTipRole);
    }
}

} // namespace

PortListPresenter::PortListPresenter(CMscomm1& comm, QComboBox& combo, QPushButton& openPort,
                                     PortHintLabel& hint, PortAccessCheck check, QObject* parent)
    : QObject(parent), m_comm(comm), m_combo(combo), m_openPort(openPort), m_hint(hint),
      m_check(std::move(check)), m_watcher(new PortWatcher(comm.ports(), this)) {
    connect(m_watcher, &PortWatcher::portsChanged, this, &PortListPresenter::followDevices);
    m_retry.setSingleShot(true);
    m_retry.setInterval(kDroppedDownRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &PortListPresenter::followDevices);
    // Only the user's own choice, never a refill, makes the list forget a lost port.
    connect(&m_combo, &QComboBox::activated, this, [this] { m_lostPort.clear(); });
}

PortProbe PortListPresenter::probeNow() const {
    // The port this program holds open can't be opened a second time, yet it must stay listed
    // and selected, or it could no longer be closed.
    const int heldPort = m_comm.GetPortOpen() ? m_comm.commPort() : 0;
    return probePortAccess(m_comm.ports(), heldPort, m_check);
}

void PortListPresenter::probe() {
    const PortProbe found = probeNow();
    const int heldPort = m_comm.GetPortOpen() ? m_comm.commPort() : 0;
    fill(m_combo, entriesOf(found.openable));
    int selected = 0;
    for (int i = 0; i < found.openable.size(); ++i) {
        if (found.openable[i].number == heldPort) {
            selected = i;
        }
    }
    if (!found.openable.isEmpty()) {
        m_combo.setCurrentIndex(selected);
    }
    finish(found);
}

void PortListPresenter::followDevices() {
    if (m_combo.view()->isVisible()) {
        // Refilling would close the list under the user's pointer.
        m_retry.start();
        return;
    }
    const PortProbe found = probeNow();
    const QList<PortEntry> entries = entriesOf(found.openable);
    if (entries != entriesShown(m_combo)) {
        const QString text = m_combo.currentText();
        const int index = m_combo.currentIndex();
        const bool typed = !text.isEmpty() && (index < 0 || m_combo.itemText(index) != text);
        fill(m_combo, entries);
        const int kept = m_combo.findText(text, Qt::MatchExactly);
        if (kept >= 0) {
            m_combo.setCurrentIndex(kept);
        } else if (typed) {
            m_combo.setEditText(text);
        } else if (!entries.isEmpty()) {
            m_combo.setCurrentIndex(0);
        }
        if (const int back = m_combo.findText(m_lostPort, Qt::MatchExactly);
            !m_lostPort.isEmpty() && back >= 0) {
            m_combo.setCurrentIndex(back);
            m_lostPort.clear();
        }
    }
    finish(found);
}

void PortListPresenter::finish(const PortProbe& probe) {
    m_openPort.setEnabled(!probe.openable.isEmpty());
    m_hint.setHint(portAccessHint(probe));
}
