#pragma once

#include "app/widgets/messagepresenter.h"

#include <QPointer>
#include <QSet>
#include <QString>
#include <QWidget>

#include <exception>

// The boundary every handler of a window runs behind. A failure the handler throws ends it at
// the failing step, and every text told meanwhile is shown once the handler has unwound, never
// from inside it: a modal box would run the event loop in the middle of the handler's work. A
// text already waiting to be shown is not queued twice.
class HandlerBoundary {
public:
    // Messages are shown over window unless told with another parent.
    explicit HandlerBoundary(QWidget& window) : m_window(&window) {}

    // Empty: a modal message box (showMessageBox).
    void setPresenter(MessagePresenter presenter) { m_presenter = std::move(presenter); }
    const MessagePresenter& presenter() const { return m_presenter; }

    template <typename Handler> void run(Handler&& handler) noexcept {
        try {
            handler();
        } catch (const std::exception& error) {
            tell(QString::fromUtf8(error.what()));
        } catch (...) {
            tell(QStringLiteral("The operation failed for an unknown reason."));
        }
    }

    void tell(const QString& text) { tell(m_window, text); }
    void tell(QWidget* parent, const QString& text);
    // Shows text now; for what runs outside any handler.
    void present(QWidget* parent, const QString& text) const;

private:
    QPointer<QWidget> m_window;
    MessagePresenter m_presenter;
    QSet<QString> m_queued;
};
