#pragma once

#include "app/mainwindow/controlids.h"

#include <QObject>

// The control with the given number inside root, found by its object name.
template <typename T> T* controlOf(QObject& root, int id) {
    return root.findChild<T*>(controlObjectName(id));
}
