#pragma once

class DialogUnits;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QWidget;

// The controls of the main window, created at the positions of its template. Their object names
// follow controlObjectName (controlids.h).
struct MainWindowControls {
    QPushButton* openPort = nullptr;
    QComboBox* portCombo = nullptr;
    QPushButton* checkPort = nullptr;
    QPushButton* about = nullptr;
    QPushButton* exit = nullptr;
    QTableWidget* channelList = nullptr;
    QPushButton* readParameter = nullptr;
    QLineEdit* channelCount = nullptr;
    QLineEdit* recordTotal = nullptr;
    QGroupBox* downloadGroup = nullptr;
    QPushButton* downloadData = nullptr;
    QProgressBar* progress = nullptr;
    QLineEdit* percentText = nullptr;
    QPushButton* openFolder = nullptr;
    QLineEdit* sendText = nullptr;
    QLineEdit* receiveText = nullptr;
};

// Creates the controls on client (sized 419 x 198 dialog units) in template order, which is
// also their tab order.
MainWindowControls createMainWindowControls(QWidget& client, const DialogUnits& units);
