#include "app/widgets/handlerboundary.h"

void HandlerBoundary::tell(QWidget* parent, const QString& text) {
    if (m_queued.contains(text)) {
        return;
    }
    m_queued.insert(text);
    // Queued on the window, so a message whose window has gone goes with it.
    QMetaObject::invokeMethod(
        m_window,
        [this, parent = QPointer<QWidget>(parent), text] {
            present(parent, text);
            m_queued.remove(text);
        },
        Qt::QueuedConnection);
}

void HandlerBoundary::present(QWidget* parent, const QString& text) const {
    if (m_presenter) {
        m_presenter(parent, text);
    } else {
        showMessageBox(parent, text);
    }
}
