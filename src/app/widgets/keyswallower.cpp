#include "app/widgets/keyswallower.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

KeySwallower::KeySwallower(QWidget& window) : m_window(window) {
    QCoreApplication::instance()->installEventFilter(this);
}

KeySwallower::~KeySwallower() {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
}

namespace {

bool isSwallowedKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

bool belongsTo(const QObject* object, const QWidget& window) {
    for (; object != nullptr; object = object->parent()) {
        if (object == &window) {
            return true;
        }
        // Other windows opened from here (About box, message box, menus, a combo box's list)
        // keep their keys.
        const auto* widget = qobject_cast<const QWidget*>(object);
        if (widget != nullptr && widget->isWindow()) {
            return false;
        }
    }
    return false;
}

} // namespace

bool KeySwallower::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease &&
        type != QEvent::ShortcutOverride) {
        return false;
    }
    if (!isSwallowedKey(static_cast<QKeyEvent*>(event)->key()) || !belongsTo(watched, m_window)) {
        return false;
    }
    // Accepting the override keeps the key from being matched as a shortcut as well.
    event->accept();
    return true;
}
