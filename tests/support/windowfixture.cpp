#include "windowfixture.h"

#include "controls.h"
#include "eventwait.h"

#include "app/mainwindow/trellmodlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
template <typename T> T* mustFind(QObject& root, int id) {
    T* found = controlOf<T>(root, id);
    if (found == nullptr) {
        qFatal("control %d not found", id);
    }
    return found;
}
} // namespace

WindowFixture::WindowFixture(const QStringList& deviceNames,
                             const std::function<void(DialogSettings&)>& adjust) {
    for (const QString& name : deviceNames) {
        if (devices.add(name) == nullptr) {
            qFatal("no pseudo-terminal for %s", qPrintable(name));
        }
    }
    DialogSettings settings{devices.path(), messages.presenter()};
    settings.recordFolder = files.filePath(QStringLiteral("TRELLMO_RECORD_DATA"));
    settings.parameterWorkbook = files.filePath(QStringLiteral("parameter1.xls"));
    if (adjust) {
        adjust(settings);
    }
    dlg = std::make_unique<CTrellmoDlg>(settings);
}

WindowFixture::~WindowFixture() = default;

QPushButton* WindowFixture::button(int id) const {
    return mustFind<QPushButton>(*dlg, id);
}
QLineEdit* WindowFixture::edit(int id) const {
    return mustFind<QLineEdit>(*dlg, id);
}
QComboBox* WindowFixture::combo() const {
    return mustFind<QComboBox>(*dlg, ControlId::PortCombo);
}
QString WindowFixture::field(int id) const {
    return edit(id)->text();
}

QStringList WindowFixture::portEntries() const {
    QStringList names;
    for (int i = 0; i < combo()->count(); ++i) {
        names << combo()->itemText(i);
    }
    return names;
}

void WindowFixture::press(int id) const {
    QTest::mouseClick(button(id), Qt::LeftButton);
}

PtyPair& WindowFixture::instrument(const QString& deviceName) const {
    PtyPair* pair = devices.pair(deviceName);
    if (pair == nullptr) {
        qFatal("no device %s", qPrintable(deviceName));
    }
    return *pair;
}

void WindowFixture::settle() const {
    // The window redraws its fields at most every 50 ms.
    waitUntil([] { return false; }, 80);
}
