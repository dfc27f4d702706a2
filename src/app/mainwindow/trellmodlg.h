#pragma once

#include "app/mainwindow/commframesink.h"
#include "app/mainwindow/dialogsettings.h"
#include "app/mainwindow/linkwording.h"
#include "app/mainwindow/mainwindowcontrols.h"
#include "app/widgets/handlerboundary.h"
#include "app/widgets/keyswallower.h"
#include "export/recordexporter.h"
#include "gastype/gasliststate.h"
#include "protocol/instrumentlink.h"
#include "protocol/linkports.h"

#include <QBasicTimer>
#include <QDialog>
#include <QElapsedTimer>
#include <QIcon>
#include <QPointer>

class ArchiveCompanion;
class ArchiveStatusLine;
class CMscomm1;
class LinePaceTimer;
class LinkNotice;
class PortHintLabel;
class PortListPresenter;
class QComboBox;
class QMenu;
class QTableWidget;
class RecordsWindow;

// The main window: port selection, the channel table, the channel count and record total, the
// download with its progress, and the Send / Receive monitors. It owns the serial line, the two
// timers and the instrument protocol, and forwards button presses, ticks and received bytes to
// the protocol. The values it shows live in m_values (see ShowValues / CollectValues); the
// protocol's events fill them, and its channel configuration fills the channel table.
//
// Every handler runs behind one boundary: a failure it throws (a refused serial operation, for
// one) ends the handler and is shown in a message box once the handler has unwound.
//
// Downloaded records go to the day workbooks through m_exporter, and each batch that reached
// them on to the records archive beside them (m_archive). A batch that does not reach
// the disk stays with the protocol for the next attempt; the user hears of it once per run of
// failures, after the handler; at exit, records that still cannot be written are written, saved
// elsewhere or discarded as the user chooses (SettleUnwrittenRecords).
class CTrellmoDlg : public QDialog, private LinkEvents {
    Q_OBJECT
public:
    static constexpr int PARAMETER_TIMER = 1; // 150 ms, the parameter-read sequence
    static constexpr int DOWNLOAD_TIMER = 2;  // 50 ms, the record download
    static constexpr unsigned ABOUT_ITEM_COMMAND = 0x0010;
    static constexpr unsigned SC_MINIMIZE_COMMAND = 0xF020;
    static constexpr unsigned SC_CLOSE_COMMAND = 0xF060;

    explicit CTrellmoDlg(DialogSettings settings = {}, QWidget* parent = nullptr);
    ~CTrellmoDlg() override;

    InstrumentLink& link() { return m_link; }
    CMscomm1& comm() { return *m_comm; }
    // The window's context menu, which stands in for the system menu.
    QMenu& systemMenu() { return *m_systemMenu; }
    PortListPresenter& portList() { return *m_portList; }

protected:
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWindow();
    void buildSystemMenu();
    void connectHandlers();
    void setUpChannelTable();

    void OnInitDialog();
    void OnSysCommand(unsigned commandId, qintptr parameter);
    void OnOpenPort();
    void OnCheckPort();
    void OnReadParameter();
    void OnDownloadData();
    void OnTimer(int timerId);
    void OnComm();
    void OnAbout();
    void OnExit();
    void OnOpenFolder();
    void OnGasType();
    void onRecords();
    void startLinkDownload(QList<KnownMemory> known, bool fetchAll);
    void buildArchive();
    void onPortLost(const QString& text);
    void stopLink();
    void LoadUserGasNames();
    void reportExportFailure();
    void writeUnwrittenRecords();

    void ProbePorts();
    void StopTimer(int timerId);
    void ShowValues();
    // ShowValues, at most every kRefreshMs: at the line's pace answers come a hundred times a
    // second, more than anyone can read and more than the window should redraw.
    void requestRefresh();
    bool CollectValues();
    bool collectNumber(QLineEdit* field, quint64 maximum, quint64& value);

    // LinkEvents: what the link reports, worded into m_values and the channel table.
    void frameSent(const QByteArray& frame) override;
    void bytesReceived(const QByteArray& bytes) override;
    void recordRequested(quint32 index, quint32 total) override;
    void channelCountReported(quint8 count) override;
    void recordTotalReported(quint32 total) override;
    void channelsChanged() override;

    DialogSettings m_settings;
    QIcon m_hIcon;
    MainWindowControls m_ui;
    QTableWidget* m_channelList = nullptr;
    QComboBox* m_portCombo = nullptr;
    CMscomm1* m_comm;
    WindowValues m_values;
    CommFrameSink m_line;
    RecordExporter m_exporter;
    UserGases m_userGases;
    InstrumentLink m_link;
    QBasicTimer m_parameterTimer;
    QBasicTimer m_downloadTimer;
    LinePaceTimer* m_paceTimer = nullptr;
    static constexpr int kRefreshMs = 50;
    QBasicTimer m_refreshTimer;
    QElapsedTimer m_sinceShown;
    QMenu* m_systemMenu = nullptr;
    LinkNotice* m_linkNotice = nullptr;
    PortHintLabel* m_portHint = nullptr;
    PortListPresenter* m_portList = nullptr;
    KeySwallower m_keySwallower;
    HandlerBoundary m_boundary;
    QPointer<RecordsWindow> m_records;
    ArchiveCompanion* m_archive = nullptr;
    ArchiveStatusLine* m_archiveStatus = nullptr;
};
