#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>

class QWidget;

// Answers the modal dialogs a test runs into, one step per dialog in the order they appear:
// each step names the dialog it expects (object name) and what to do with it (click a button,
// pick a file). The texts of the message boxes met are kept for the test to look at.
class ModalScript : public QObject {
public:
    using Action = std::function<void(QWidget* dialog)>;

    ModalScript();
    void then(const QString& dialogName, Action action);
    bool finished() const { return m_steps.isEmpty() && m_acted.isNull(); }
    // Names of dialogs that showed up when a different one was expected.
    const QStringList& surprises() const { return m_surprises; }
    const QStringList& boxTexts() const { return m_boxTexts; }

    // Actions
    static Action click(const QString& buttonName);
    static Action chooseFile(const QString& path);
    static Action cancel();

private:
    void poll();

    struct Step {
        QString dialogName;
        Action action;
    };
    QList<Step> m_steps;
    QPointer<QWidget> m_acted;
    QStringList m_surprises;
    QStringList m_boxTexts;
    QTimer m_timer;
};
