#include "modalscript.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

ModalScript::ModalScript() {
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalScript::poll);
    m_timer.start();
}

void ModalScript::then(const QString& dialogName, Action action) {
    m_steps.append({dialogName, std::move(action)});
}

void ModalScript::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    // One action per dialog: wait until the dialog acted on is gone, as a new one may reuse
    // its address.
    if (!m_acted.isNull() || modal == nullptr || !modal->isVisible()) {
        return;
    }
    if (m_steps.isEmpty() || modal->objectName() != m_steps.first().dialogName) {
        m_surprises << modal->objectName();
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            m_acted = modal;
            dialog->reject();
        }
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        m_boxTexts << box->text();
    }
    const Step step = m_steps.takeFirst();
    m_acted = modal;
    step.action(modal);
}

ModalScript::Action ModalScript::click(const QString& buttonName) {
    return [buttonName](QWidget* dialog) {
        if (auto* button = dialog->findChild<QPushButton*>(buttonName)) {
            button->click();
        }
    };
}

ModalScript::Action ModalScript::chooseFile(const QString& path) {
    return [path](QWidget* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        if (files == nullptr) {
            return;
        }
        // The dialog fills its name field from the folder it lists, which it reads in the
        // background; typing the whole path, as a user can, leaves nothing for that to change.
        files->selectFile(path);
        if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            name->setText(path);
        }
        static_cast<QDialog*>(files)->accept(); // QFileDialog makes it protected
    };
}

ModalScript::Action ModalScript::cancel() {
    return [](QWidget* dialog) {
        if (auto* modal = qobject_cast<QDialog*>(dialog)) {
            modal->reject();
        }
    };
}
