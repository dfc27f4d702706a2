#pragma once

#include <QLabel>

// The line below the main window's controls that says why a serial device is missing from the
// port list (access refused, busy). Hidden while there is nothing to say; the window grows by
// its height while it is shown, so the controls keep their places. Its text can be selected,
// so that the command it gives can be copied.
class PortHintLabel : public QLabel {
    Q_OBJECT
public:
    explicit PortHintLabel(int width, QWidget* parent = nullptr);

    // Shows text (or hides the line for an empty text); an unchanged text changes nothing.
    void setHint(const QString& text);
};
