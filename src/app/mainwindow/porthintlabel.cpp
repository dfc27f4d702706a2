#include "app/mainwindow/porthintlabel.h"

PortHintLabel::PortHintLabel(int width, QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("portHint"));
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setContentsMargins(8, 2, 8, 4);
    setFixedWidth(width);
    hide();
}

void PortHintLabel::setHint(const QString& text) {
    if (text == this->text() && isVisible() != text.isEmpty()) {
        return;
    }
    setText(text);
    if (text.isEmpty()) {
        hide();
        return;
    }
    // A word-wrapped label does not tell the fixed-size layout its height by itself.
    setFixedHeight(heightForWidth(width()));
    show();
}
