#include "app/mainwindow/mainwindowcontrols.h"

#include "app/mainwindow/controlids.h"
#include "app/widgets/dialogunits.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

namespace {

struct Placer {
    QWidget& client;
    const DialogUnits& units;

    template <typename Widget>
    Widget* place(Widget* widget, int id, int x, int y, int width, int height) const {
        if (id != 0) {
            widget->setObjectName(controlObjectName(id));
        }
        widget->setGeometry(units.rect(x, y, width, height));
        return widget;
    }

    QPushButton* button(int id, const char* caption, int x, int y, int width, int height) const {
        auto* button =
            place(new QPushButton(QString::fromLatin1(caption), &client), id, x, y, width, height);
        // No button is the default one: Enter never presses anything in this window.
        button->setAutoDefault(false);
        return button;
    }

    QLabel* label(const char* caption, int x, int y, int width, int height) const {
        return place(new QLabel(QString::fromLatin1(caption), &client), 0, x, y, width, height);
    }

    QLineEdit* edit(int id, Qt::Alignment alignment, const QString& accessibleName, int x, int y,
                    int width, int height) const {
        auto* edit = place(new QLineEdit(&client), id, x, y, width, height);
        edit->setAlignment(alignment | Qt::AlignVCenter);
        edit->setAccessibleName(accessibleName);
        return edit;
    }
};

} // namespace

MainWindowControls createMainWindowControls(QWidget& client, const DialogUnits& units) {
    const Placer at{client, units};
    MainWindowControls c;

    c.openPort = at.button(ControlId::OpenPort, "Open Port", 16, 9, 55, 18);

    c.portCombo = at.place(new QComboBox(&client), ControlId::PortCombo, 83, 12, 52, 59);
    c.portCombo->setEditable(true);
    c.portCombo->setInsertPolicy(QComboBox::NoInsert);
    c.portCombo->setAccessibleName(QStringLiteral("Port"));
    // The template's height includes the dropped-down list; the closed box is one line high.
    c.portCombo->resize(c.portCombo->width(), units.y(12) + 2);

    c.checkPort = at.button(ControlId::CheckPort, "Check port", 154, 9, 55, 18);
    c.about = at.button(ControlId::About, "About", 230, 9, 55, 18);
    c.exit = at.button(ControlId::Exit, "Exit", 322, 9, 55, 18);

    c.channelList = at.place(new QTableWidget(&client), ControlId::ChannelList, 114, 37, 278, 84);
    c.channelList->setAccessibleName(QStringLiteral("Channels"));
    c.channelList->setFrameShape(QFrame::StyledPanel);
    c.channelList->setFrameShadow(QFrame::Sunken);

    c.readParameter = at.button(ControlId::ReadParameter, "Read parameter", 34, 53, 54, 16);
    c.readParameter->setEnabled(false);

    QLabel* channelLabel = at.label("Channel", 18, 77, 40, 9);
    QLabel* totalLabel = at.label("Total", 70, 77, 40, 9);
    c.channelCount = at.edit(ControlId::ChannelCount, Qt::AlignHCenter, QStringLiteral("Channel"),
                             14, 90, 43, 13);
    c.recordTotal =
        at.edit(ControlId::RecordTotal, Qt::AlignHCenter, QStringLiteral("Total"), 64, 90, 43, 13);
    channelLabel->setBuddy(c.channelCount);
    totalLabel->setBuddy(c.recordTotal);

    c.downloadGroup =
        at.place(new QGroupBox(QStringLiteral("Download"), &client), 0, 7, 128, 405, 38);
    c.downloadData = at.button(ControlId::DownloadData, "Download Data", 28, 143, 57, 15);
    c.downloadData->setEnabled(false);
    c.progress = at.place(new QProgressBar(&client), ControlId::Progress, 100, 144, 156, 12);
    c.progress->setRange(0, 100);
    c.progress->setValue(0);
    c.progress->setTextVisible(false);
    c.progress->setAccessibleName(QStringLiteral("Download progress"));
    c.percentText = at.edit(ControlId::PercentText, Qt::AlignHCenter,
                            QStringLiteral("Download percentage"), 274, 145, 40, 12);
    c.openFolder = at.button(ControlId::OpenFolder, "Open folder", 333, 143, 57, 15);

    QLabel* sendLabel = at.label("Send", 9, 176, 18, 14);
    c.sendText =
        at.edit(ControlId::SendText, Qt::AlignLeft, QStringLiteral("Send"), 28, 176, 87, 12);
    QLabel* receiveLabel = at.label("Receive", 123, 176, 26, 14);
    c.receiveText = at.edit(ControlId::ReceiveText, Qt::AlignLeft, QStringLiteral("Receive"), 151,
                            176, 261, 12);
    sendLabel->setBuddy(c.sendText);
    receiveLabel->setBuddy(c.receiveText);
    for (QLabel* label : {channelLabel, totalLabel, sendLabel, receiveLabel}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    return c;
}
