#pragma once

#include <QString>

#include <functional>

class QWidget;

// How the main window tells the user about a failure. The default shows a modal QMessageBox;
// tests put a recorder in its place so that no modal box blocks them.
using MessagePresenter = std::function<void(QWidget* parent, const QString& text)>;

void showMessageBox(QWidget* parent, const QString& text);
