#pragma once

#include "messagecapture.h"
#include "ptydevicefolder.h"

#include "app/mainwindow/dialogsettings.h"

#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class CTrellmoDlg;
class QComboBox;
class QLineEdit;
class QPushButton;

// A main window whose ports are pseudo-terminals in a temporary folder (the given device names,
// e.g. "ttyUSB0" for COM1) and whose messages are recorded instead of shown. Its record folder
// (not created) and parameter workbook (absent) lie in the temporary folder files, so that no
// test writes into the home or working directory. adjust may change further settings before
// the window is built.
struct WindowFixture {
    PtyDeviceFolder devices;
    MessageCapture messages;
    QTemporaryDir files;
    std::unique_ptr<CTrellmoDlg> dlg;

    explicit WindowFixture(const QStringList& deviceNames = {},
                           const std::function<void(DialogSettings&)>& adjust = {});
    ~WindowFixture();

    QPushButton* button(int id) const;
    QLineEdit* edit(int id) const;
    QComboBox* combo() const;
    QString field(int id) const;
    QStringList portEntries() const;
    void press(int id) const;
    PtyPair& instrument(const QString& deviceName = QStringLiteral("ttyUSB0")) const;
    // Runs the event loop briefly, so that queued messages arrive.
    void settle() const;
};
