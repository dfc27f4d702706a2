#include "app/mainwindow/linknotice.h"

LinkNotice::LinkNotice(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("linkNotice"));
    setAccessibleName(QStringLiteral("Instrument status"));
    setTextFormat(Qt::PlainText);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setMargin(2);
    // One line, reserved whether or not there is something to say, as wide as the window: a
    // long text must not widen the fixed-size window.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setFixedHeight(fontMetrics().height() + 2 * (margin() + frameWidth()));
}

void LinkNotice::setNote(const QString& note) {
    m_note = note;
    refresh();
}

void LinkNotice::showSilence(const LinkSilence& silence, const QString& portName,
                             quint32 tickPaceSince) {
    m_silenceText = textOf(silence, portName, tickPaceSince);
    refresh();
}

// A silence outranks the standing note; the text is set only when it changes.
void LinkNotice::refresh() {
    const QString shown = m_silenceText.isEmpty() ? m_note : m_silenceText;
    if (text() != shown) {
        setText(shown);
        emit changed(shown);
    }
}

QString LinkNotice::textOf(const LinkSilence& silence, const QString& portName,
                           quint32 tickPaceSince) {
    switch (silence.kind) {
    case LinkSilence::Kind::Download:
        return QStringLiteral(
                   "No answer from the instrument on %1 since record %2 of %3; still trying. "
                   "Close Port stops.")
            .arg(portName)
            .arg(silence.record)
            .arg(silence.total);
    case LinkSilence::Kind::ParameterRead:
        return QStringLiteral("No answer from the instrument on %1").arg(portName);
    case LinkSilence::Kind::None:
        break;
    }
    if (tickPaceSince != 0) {
        return QStringLiteral("The instrument on %1 did not keep up from record %2 on; the "
                              "download goes on at one request every 50 ms.")
            .arg(portName)
            .arg(tickPaceSince);
    }
    return QString();
}
