#pragma once

#include "app/widgets/messagepresenter.h"

#include <QStringList>

#include <memory>

// Records the texts the main window would show in message boxes, so that tests read them
// instead of blocking on a modal box.
class MessageCapture {
public:
    MessageCapture();

    MessagePresenter presenter() const;
    QStringList texts() const { return *m_texts; }
    qsizetype count() const { return m_texts->size(); }
    void clear() { m_texts->clear(); }

private:
    std::shared_ptr<QStringList> m_texts;
};
