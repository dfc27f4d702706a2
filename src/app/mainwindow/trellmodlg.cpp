#include "app/mainwindow/trellmodlg.h"

#include "app/gastypedialog/gastypeedit.h"
#include "app/mainwindow/aboutdlg.h"
#include "app/mainwindow/archivecompanion.h"
#include "app/mainwindow/archivestatusline.h"
#include "app/mainwindow/controlids.h"
#include "app/mainwindow/linknotice.h"
#include "app/mainwindow/porthintlabel.h"
#include "app/mainwindow/portlistpresenter.h"
#include "app/mainwindow/unwrittenrecordsdialog.h"
#include "app/recordswindow/recordswindow.h"
#include "app/shell/openfolder.h"
#include "app/widgets/captionfit.h"
#include "app/widgets/decimalfield.h"
#include "app/widgets/dialogunits.h"
#include "gastype/gasnametable.h"
#include "model/displaytexts.h"
#include "records/channelalarm.h"
#include "res/appicon.h"
#include "serial/linepacetimer.h"
#include "serial/mscomm1.h"
#include "serial/portnumber.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <array>

namespace {

const QString kOpenPortCaption = QStringLiteral("Open Port");
const QString kClosePortCaption = QStringLiteral("Close Port");
const QString kAboutMenuText = QStringLiteral("About Trellmo(&A)...");
const QString kLineSettings = QStringLiteral("38400,n,8,1");
constexpr qint16 kInBufferSize = 1024;
constexpr qint16 kOutBufferSize = 512;
constexpr int kChannelColumns = 7;
constexpr int kFirstValueColumn = 1; // after the fixed channel names
constexpr int kChannelRows = 6;

const std::array<const char*, kChannelColumns> kColumnCaptions{
    "Channel", "Gas Type", "Range", "Unit", "Precision", "Low Alarm", "High Alarm"};

} // namespace

CTrellmoDlg::CTrellmoDlg(DialogSettings settings, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      m_settings(std::move(settings)), m_hIcon(trellmoIcon()),
      m_comm(new CMscomm1(PortMap(m_settings.deviceFolder), this)), m_line(*m_comm),
      m_exporter(m_settings.recordFolder, m_settings.recordDate),
      m_link(m_line, *this, m_userGases.names), m_keySwallower(*this), m_boundary(*this) {
    m_boundary.setPresenter(m_settings.presentMessage);
    m_comm->setObjectName(controlObjectName(ControlId::Comm));
    m_paceTimer = new LinePaceTimer(this);
    if (!m_settings.tickPace) {
        m_link.setPaceTimer(m_paceTimer);
    }
    buildWindow();
    buildArchive();
    connectHandlers();
    OnInitDialog();
    fitCaptions(*findChild<QWidget*>(QStringLiteral("client"), Qt::FindDirectChildrenOnly));
}

CTrellmoDlg::~CTrellmoDlg() = default;

void CTrellmoDlg::buildWindow() {
    setWindowTitle(QStringLiteral("Trellmo"));
    setFont(dialogFont(9));
    const DialogUnits units(font());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto* menuBar = new QMenuBar(this);
    menuBar->setNativeMenuBar(false);
    QMenu* menu = menuBar->addMenu(QStringLiteral("MENU"));
    QAction* gasType = menu->addAction(QStringLiteral("Gas Type"));
    gasType->setObjectName(controlObjectName(ControlId::GasTypeCommand));
    connect(gasType, &QAction::triggered, this,
            [this] { m_boundary.run([this] { OnGasType(); }); });
    QAction* records = menu->addAction(QStringLiteral("Records..."));
    records->setObjectName(controlObjectName(ControlId::RecordsCommand));
    connect(records, &QAction::triggered, this,
            [this] { m_boundary.run([this] { onRecords(); }); });
    QAction* downloadAll = menu->addAction(QStringLiteral("Download all records"));
    downloadAll->setObjectName(QStringLiteral("downloadAllCommand"));
    connect(downloadAll, &QAction::triggered, this, [this] {
        m_boundary.run([this] {
            // As Download Data, which the record total enables.
            if (m_link.state().recordTotal > 0) {
                m_archive->startDownload(true);
            }
        });
    });
    QAction* import = menu->addAction(QStringLiteral("Import workbooks..."));
    import->setObjectName(QStringLiteral("importWorkbooksCommand"));
    connect(import, &QAction::triggered, this,
            [this] { m_boundary.run([this] { m_archive->importWorkbooks(this); }); });
    layout->setMenuBar(menuBar);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(units.x(419), units.y(198));
    layout->addWidget(client);
    m_ui = createMainWindowControls(*client, units);
    m_channelList = m_ui.channelList;
    m_portCombo = m_ui.portCombo;
    m_linkNotice = new LinkNotice(this);
    layout->addWidget(m_linkNotice);
    m_archiveStatus = new ArchiveStatusLine(this);
    layout->addWidget(m_archiveStatus);
    m_portHint = new PortHintLabel(client->width(), this);
    layout->addWidget(m_portHint);
    m_portList = new PortListPresenter(*m_comm, *m_portCombo, *m_ui.openPort, *m_portHint,
                                       m_settings.portAccessCheck, this);

    m_systemMenu = new QMenu(this);
    m_systemMenu->setObjectName(QStringLiteral("systemMenu"));
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_systemMenu->popup(mapToGlobal(pos)); });
}

void CTrellmoDlg::buildSystemMenu() {
    const auto addCommand = [this](const QString& text, unsigned commandId) {
        QAction* action = m_systemMenu->addAction(text);
        connect(action, &QAction::triggered, this, [this, commandId] {
            m_boundary.run([this, commandId] { OnSysCommand(commandId, 0); });
        });
        return action;
    };
    addCommand(QStringLiteral("Minimize"), SC_MINIMIZE_COMMAND);
    addCommand(QStringLiteral("Close"), SC_CLOSE_COMMAND);
    const QString strAboutMenu = kAboutMenuText;
    if (!strAboutMenu.isEmpty()) {
        m_systemMenu->addSeparator();
        addCommand(strAboutMenu, ABOUT_ITEM_COMMAND)->setObjectName(QStringLiteral("aboutItem"));
    }
}

void CTrellmoDlg::connectHandlers() {
    const auto onClick = [this](QPushButton* button, void (CTrellmoDlg::*handler)()) {
        connect(button, &QPushButton::clicked, this,
                [this, handler] { m_boundary.run([this, handler] { (this->*handler)(); }); });
    };
    onClick(m_ui.openPort, &CTrellmoDlg::OnOpenPort);
    onClick(m_ui.checkPort, &CTrellmoDlg::OnCheckPort);
    onClick(m_ui.about, &CTrellmoDlg::OnAbout);
    onClick(m_ui.exit, &CTrellmoDlg::OnExit);
    onClick(m_ui.readParameter, &CTrellmoDlg::OnReadParameter);
    onClick(m_ui.downloadData, &CTrellmoDlg::OnDownloadData);
    onClick(m_ui.openFolder, &CTrellmoDlg::OnOpenFolder);
    connect(m_comm, &CMscomm1::commEvent, this, [this] {
        m_boundary.run([this] { OnComm(); });
        reportExportFailure();
    });
    connect(m_paceTimer, &LinePaceTimer::fired, this, [this] {
        m_boundary.run([this] { m_link.paceTimeout(); });
        requestRefresh();
    });
    connect(m_comm, &CMscomm1::portLost, this,
            [this](const QString& text) { m_boundary.run([this, text] { onPortLost(text); }); });
    connect(m_portCombo, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_portCombo->setToolTip(m_portCombo->itemData(index, Qt::ToolTipRole).toString());
    });
}

void CTrellmoDlg::OnInitDialog() {
    buildSystemMenu();
    setWindowIcon(m_hIcon);
    ProbePorts();
    setUpChannelTable();
    // An unreadable parameter workbook is reported once the window is up; the user gases then
    // keep empty names.
    m_boundary.run([this] { LoadUserGasNames(); });
    m_values.percentText = QStringLiteral("0%");
    ShowValues();
}

void CTrellmoDlg::setUpChannelTable() {
    // The width every column gets is the list's client width divided by seven; what the
    // division leaves over stays empty to the right of the last column.
    const int clientWidth = m_channelList->width() - 2 * m_channelList->frameWidth();
    const int columnWidth = clientWidth / kChannelColumns;
    m_channelList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_channelList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_channelList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_channelList->setShowGrid(true);
    m_channelList->setWordWrap(false);
    m_channelList->verticalHeader()->hide();
    m_channelList->verticalHeader()->setMinimumSectionSize(1);
    m_channelList->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    m_channelList->horizontalHeader()->setHighlightSections(false);
    m_channelList->horizontalHeader()->setStretchLastSection(false);
    m_channelList->horizontalHeader()->setMinimumSectionSize(1);
    m_channelList->setColumnCount(kChannelColumns);
    m_channelList->setRowCount(kChannelRows);
    for (int column = 0; column < kChannelColumns; ++column) {
        auto* header = new QTableWidgetItem(QString::fromLatin1(kColumnCaptions[column]));
        header->setTextAlignment(Qt::AlignCenter);
        m_channelList->setHorizontalHeaderItem(column, header);
        m_channelList->setColumnWidth(column, columnWidth);
    }
    for (int row = 0; row < kChannelRows; ++row) {
        for (int column = 0; column < kChannelColumns; ++column) {
            auto* item =
                new QTableWidgetItem(column == 0 ? QStringLiteral("CH%1").arg(row + 1) : QString());
            item->setTextAlignment(Qt::AlignCenter);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            m_channelList->setItem(row, column, item);
        }
    }
}

void CTrellmoDlg::OnSysCommand(unsigned commandId, qintptr /*parameter*/) {
    switch (commandId & 0xFFF0u) {
    case ABOUT_ITEM_COMMAND: {
        CAboutDlg dlgAbout(this);
        dlgAbout.exec();
        break;
    }
    case SC_MINIMIZE_COMMAND:
        showMinimized();
        break;
    case SC_CLOSE_COMMAND:
        close();
        break;
    default:
        break;
    }
}

void CTrellmoDlg::ProbePorts() {
    m_portList->probe();
}

void CTrellmoDlg::OnCheckPort() {
    ProbePorts();
}

void CTrellmoDlg::OnOpenPort() {
    CollectValues();
    if (m_ui.openPort->text() == kOpenPortCaption) {
        m_ui.openPort->setText(kClosePortCaption);
        m_comm->SetCommPort(portNumberFromText(m_portCombo->currentText()));
        m_comm->SetInBufferSize(kInBufferSize);
        m_comm->SetOutBufferSize(kOutBufferSize);
        if (!m_comm->GetPortOpen()) {
            m_portCombo->setEnabled(false);
            m_comm->SetInputMode(CMscomm1::kInputModeBinary);
            m_comm->SetSettings(kLineSettings);
            m_comm->SetRThreshold(1);
            m_comm->SetInputLen(0);
            m_comm->SetPortOpen(true);
            m_ui.readParameter->setEnabled(true);
        }
    } else {
        m_ui.openPort->setText(kOpenPortCaption);
        if (m_comm->GetPortOpen()) {
            m_comm->SetPortOpen(false);
        }
        m_portCombo->setEnabled(true);
        m_ui.readParameter->setEnabled(false);
        stopLink();
    }
}

void CTrellmoDlg::onPortLost(const QString& text) {
    const bool downloading = m_downloadTimer.isActive();
    m_ui.openPort->setText(kOpenPortCaption);
    m_portCombo->setEnabled(true);
    m_ui.readParameter->setEnabled(false);
    m_portList->portLost(QStringLiteral("COM%1").arg(m_comm->commPort()));
    stopLink();
    const PollState& state = m_link.state();
    const quint32 taken = state.recordIndex - (state.awaitingRecord != 0 ? 1 : 0);
    if (!downloading || taken >= state.recordTotal) {
        m_boundary.tell(text);
        return;
    }
    m_boundary.tell(QStringLiteral("%1\n\nThe download stopped after %2 of %3 records. Plug the "
                                   "instrument in again, open the port and press Download Data "
                                   "to go on from record %4.")
                        .arg(text)
                        .arg(taken)
                        .arg(state.recordTotal)
                        .arg(taken + 1));
}

void CTrellmoDlg::stopLink() {
    // Nothing is polled on a closed port; Download Data continues where the download stood.
    StopTimer(PARAMETER_TIMER);
    StopTimer(DOWNLOAD_TIMER);
    m_link.stop();
    m_linkNotice->showSilence(m_link.silence(), QString());
}

void CTrellmoDlg::OnReadParameter() {
    m_link.readParameter();
    if (!m_link.pacedByAnswers()) {
        m_parameterTimer.start(InstrumentLink::kParameterPeriodMs, Qt::PreciseTimer, this);
    }
}

void CTrellmoDlg::OnDownloadData() {
    // The archive is asked first which memories it knows; startLinkDownload follows its answer.
    m_archive->startDownload(false);
}

void CTrellmoDlg::startLinkDownload(QList<KnownMemory> known, bool fetchAll) {
    StopTimer(PARAMETER_TIMER);
    m_downloadTimer.start(InstrumentLink::kDownloadPeriodMs, Qt::PreciseTimer, this);
    m_link.startDownload(std::move(known), fetchAll);
    const DownloadProgress start = downloadStartProgress();
    m_values.progress = start.bar;
    m_values.percentText = start.percentText;
}

void CTrellmoDlg::buildArchive() {
    ArchiveCompanion::Hooks hooks;
    hooks.tell = [this](const QString& text) {
        m_boundary.tell(text);
    };
    hooks.note = [this](const QString& text) {
        m_linkNotice->setNote(text);
    };
    hooks.portName = [this] {
        return QStringLiteral("COM%1").arg(m_comm->commPort());
    };
    hooks.configuration = [this] {
        return archiveConfigOf(m_link.configuration(), m_link.state().sixChannel != 0);
    };
    hooks.recordTotal = [this] {
        return m_link.state().recordTotal;
    };
    hooks.startLink = [this](QList<KnownMemory> known, bool fetchAll) {
        m_boundary.run([&] { startLinkDownload(std::move(known), fetchAll); });
    };
    hooks.status = [this](const QString& where, std::optional<bool> reachable, qint64 waiting) {
        m_archiveStatus->show(where,
                              !reachable   ? ArchiveStatusLine::Reach::Opening
                              : *reachable ? ArchiveStatusLine::Reach::Reachable
                                           : ArchiveStatusLine::Reach::Unreachable,
                              waiting);
    };
    m_archive = new ArchiveCompanion(m_settings.recordFolder, m_settings.archive, m_exporter,
                                     std::move(hooks), this);
    m_link.setExporter(&m_archive->exporter());
    m_link.setResumeListener([this](const ResumeProbe& probe) { m_archive->resumeDecided(probe); });
}

void CTrellmoDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_parameterTimer.timerId()) {
        m_boundary.run([this] { OnTimer(PARAMETER_TIMER); });
    } else if (event->timerId() == m_downloadTimer.timerId()) {
        m_boundary.run([this] { OnTimer(DOWNLOAD_TIMER); });
    } else if (event->timerId() == m_refreshTimer.timerId()) {
        ShowValues();
    } else {
        QDialog::timerEvent(event);
    }
}

void CTrellmoDlg::OnTimer(int timerId) {
    if (timerId == PARAMETER_TIMER) {
        if (m_link.parameterTick() == TickOutcome::StopTimer) {
            StopTimer(PARAMETER_TIMER);
        }
    } else if (timerId == DOWNLOAD_TIMER) {
        m_link.downloadTick();
    }
    requestRefresh();
}

void CTrellmoDlg::StopTimer(int timerId) {
    switch (timerId) {
    case PARAMETER_TIMER:
        m_parameterTimer.stop();
        break;
    case DOWNLOAD_TIMER:
        m_downloadTimer.stop();
        break;
    default:
        break; // timer 3 is never started; other numbers are no timers of this window
    }
}

void CTrellmoDlg::OnComm() {
    if (m_comm->GetCommEvent() == CMscomm1::kEventReceive) {
        m_link.receive(m_comm->GetInput());
    }
    requestRefresh();
}

void CTrellmoDlg::OnAbout() {
    CAboutDlg dlgAbout(this);
    dlgAbout.exec();
}

void CTrellmoDlg::OnExit() {
    if (CollectValues()) {
        writeUnwrittenRecords();
        accept();
    }
}

void CTrellmoDlg::closeEvent(QCloseEvent* event) {
    // Only the close of the shown window is the user's exit; the close box doesn't look at
    // the numeric fields.
    if (isVisible()) {
        m_boundary.run([this] { writeUnwrittenRecords(); });
    }
    QDialog::closeEvent(event);
}

void CTrellmoDlg::writeUnwrittenRecords() {
    // The program is leaving: no more requests, whether ticks or answers pace them, so the count
    // the user decides on stays put.
    stopLink();
    const bool written = m_link.flushUnwritten();
    // Bounded: the archive's thread stores what it still holds, or it stays in the workbooks.
    (void)m_archive->service().finish(ArchiveCompanion::kLookupWaitMs);
    // They are on disk in the outbox: nothing to choose, only to know.
    if (const QString waiting = m_archive->waitingAtExit(); !waiting.isEmpty()) {
        m_boundary.present(this, waiting);
    }
    if (written) {
        return;
    }
    // The question below names the workbook and the reason, so a pending failure text would
    // only repeat it.
    m_exporter.takeFailureMessage();
    settleUnwrittenRecords(this, m_link, m_exporter);
}

void CTrellmoDlg::reportExportFailure() {
    if (const QString text = m_exporter.takeFailureMessage(); !text.isEmpty()) {
        m_boundary.tell(text);
    }
    if (const QString text = m_exporter.takeContinuationNotice(); !text.isEmpty()) {
        m_boundary.tell(text);
    }
}

void CTrellmoDlg::LoadUserGasNames() {
    ::LoadUserGasNames(m_settings.parameterWorkbook, m_userGases.names);
}

void CTrellmoDlg::OnOpenFolder() {
    openRecordFolder(m_exporter.folder());
}

void CTrellmoDlg::OnGasType() {
    // Parented to the main window, as the platform's dialogs without an explicit parent are
    // owned by the application's main window; modal, while timers and serial events go on.
    CGastypeEdit cs(m_userGases, this, m_settings.parameterWorkbook);
    cs.setMessagePresenter(m_boundary.presenter());
    fitCaptions(cs);
    cs.exec();
}

void CTrellmoDlg::onRecords() {
    // Not modal: the download and the rest of this window go on beside it.
    if (m_records) {
        m_records->rescan();
    } else {
        m_records = new RecordsWindow(m_exporter.folder(), this);
        m_records->setArchive(&m_archive->service());
        m_records->setAlarmSource([this] { return channelAlarmsOf(m_link.configuration()); });
        m_exporter.setWrittenListener([this](const QString& path) {
            if (m_records) {
                m_records->workbookWritten(path);
            }
        });
    }
    m_records->show();
    m_records->raise();
    m_records->activateWindow();
}

void CTrellmoDlg::requestRefresh() {
    if (!m_sinceShown.isValid() || m_sinceShown.elapsed() >= kRefreshMs) {
        ShowValues();
    } else if (!m_refreshTimer.isActive()) {
        m_refreshTimer.start(static_cast<int>(kRefreshMs - m_sinceShown.elapsed()),
                             Qt::PreciseTimer, this);
    }
}

void CTrellmoDlg::ShowValues() {
    m_sinceShown.restart();
    m_refreshTimer.stop();
    const auto show = [](QLineEdit* edit, const QString& text) {
        // Rewriting an unchanged text would still move the cursor of a field being edited.
        if (edit->text() != text) {
            edit->setText(text);
        }
    };
    show(m_ui.sendText, m_values.sendText);
    show(m_ui.receiveText, m_values.receiveText);
    m_ui.progress->setValue(m_values.progress);
    show(m_ui.channelCount, QString::number(m_values.channelCount));
    show(m_ui.recordTotal, QString::number(m_values.recordTotal));
    show(m_ui.percentText, m_values.percentText);
    m_linkNotice->showSilence(m_link.silence(), QStringLiteral("COM%1").arg(m_comm->commPort()),
                              m_link.tickPaceSince());
}

bool CTrellmoDlg::collectNumber(QLineEdit* field, quint64 maximum, quint64& value) {
    const std::optional<quint64> parsed = parseDecimalField(field->text(), maximum);
    if (parsed) {
        value = *parsed;
        return true;
    }
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    m_boundary.tell(QStringLiteral("%1: enter a whole number from 0 to %2.")
                        .arg(field->accessibleName())
                        .arg(maximum));
    return false;
}

bool CTrellmoDlg::CollectValues() {
    // Fields are collected in binding order; the first one that doesn't parse stops the rest.
    m_values.sendText = m_ui.sendText->text();
    m_values.receiveText = m_ui.receiveText->text();
    quint64 number = 0;
    if (!collectNumber(m_ui.channelCount, 255, number)) {
        return false;
    }
    m_values.channelCount = static_cast<quint8>(number);
    m_link.setChannelCount(m_values.channelCount);
    if (!collectNumber(m_ui.recordTotal, 4294967295ULL, number)) {
        return false;
    }
    m_values.recordTotal = static_cast<quint32>(number);
    m_values.percentText = m_ui.percentText->text();
    return true;
}

void CTrellmoDlg::frameSent(const QByteArray& frame) {
    m_values.sendText = sentFrameText(frame);
    m_values.receiveText.clear();
}

void CTrellmoDlg::bytesReceived(const QByteArray& bytes) {
    m_values.receiveText += receivedBytesText(bytes);
}

void CTrellmoDlg::recordRequested(quint32 index, quint32 total) {
    const DownloadProgress progress = downloadProgressOf(index, total);
    m_values.progress = progress.bar;
    m_values.percentText = progress.percentText;
}

void CTrellmoDlg::channelCountReported(quint8 count) {
    m_values.channelCount = count;
}

void CTrellmoDlg::recordTotalReported(quint32 total) {
    m_values.recordTotal = total;
    // A total of 0 leaves the button as an earlier read left it.
    if (total > 0) {
        m_ui.downloadData->setEnabled(true);
    }
}

void CTrellmoDlg::channelsChanged() {
    const ChannelConfiguration& config = m_link.configuration();
    for (int row = 0; row < kChannelRows; ++row) {
        for (int field = 0; field < kChannelFieldCount; ++field) {
            QTableWidgetItem* item = m_channelList->item(row, kFirstValueColumn + field);
            if (item) {
                item->setText(channelFieldText(config.channels[static_cast<size_t>(row)],
                                               static_cast<ChannelField>(field)));
            }
        }
    }
    if (m_records) {
        m_records->alarmsChanged();
    }
}
