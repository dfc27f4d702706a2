#pragma once

#include "protocol/silencewatch.h"

#include <QLabel>

// The line below the main window's controls where the window names an instrument that does not
// answer. It never blocks: the text stands while the silence lasts and goes when answers
// resume. The line keeps its height when empty, so the window never changes size.
class LinkNotice : public QLabel {
    Q_OBJECT
public:
    explicit LinkNotice(QWidget* parent = nullptr);

    // Shows the silence for the port named portName ("COM1"); sets the text only when it
    // changes, so each silence is said once.
    void showSilence(const LinkSilence& silence, const QString& portName);

    static QString textOf(const LinkSilence& silence, const QString& portName);
    // A standing note (what the download found in the records archive), shown while the
    // instrument answers; empty: none.
    void setNote(const QString& note);

private:
    QString m_note;
    QString m_silenceText;

signals:
    // The text just shown; empty when the notice was withdrawn.
    void changed(const QString& text);
};
