#pragma once

#include <QObject>

class QWidget;

// Keeps Enter and Escape away from one window and everything in it: neither key may close the
// window or press a button, not even from inside an edit field. Installed on the application so
// that it also covers children created later (a combo box's inner edit).
class KeySwallower : public QObject {
    Q_OBJECT
public:
    explicit KeySwallower(QWidget& window);
    ~KeySwallower() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_window;
};
