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
    const QString shown = m_silenceText.isEmpty() ? m_note : m_silenceText;
    if (text() != shown) {
        setText(shown);
        emit changed(shown);
    }
}

void LinkNotice::showSilence(const LinkSilence& silence, const QString& portName) {
    m_silenceText = textOf(silence, portName);
    const QString shown = m_silenceText.isEmpty() ? m_note : m_silenceText;
    if (text() != shown) {
        setText(shown);
        emit changed(shown);
    }
}

QString LinkNotice::textOf(const LinkSilence& silence, const QString& portName) {
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
    return QString();
}
