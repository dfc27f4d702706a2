#include "app/recordswindow/recordswindow.h"

#include "app/recordswindow/recordschartview.h"
#include "app/recordswindow/recordtablemodel.h"
#include "archive/archiveservice.h"
#include "records/dayworkbooks.h"
#include "records/recordcsv.h"
#include "spreadsheet/safefilewrite.h"

#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QSvgGenerator>
#include <QTableView>
#include <QThread>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kProgressPollMs = 100;
// Batches of a download arrive one after another: the list and the chart follow once they
// pause, not after every batch.
constexpr int kWrittenSettleMs = 400;
constexpr int kPathRole = Qt::UserRole;

// Columns of the file list.
enum FileColumn { DateColumn, RecordsColumn, FileColumn };

QString recordsText(qsizetype records) {
    return records < 0 ? QStringLiteral("-") : QString::number(records);
}

} // namespace

RecordsWindow::RecordsWindow(QString recordFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), m_folder(std::move(recordFolder)) {
    setObjectName(QStringLiteral("recordsWindow"));
    setWindowTitle(QStringLiteral("Records"));
    buildWindow();

    m_progressTimer.setInterval(kProgressPollMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &RecordsWindow::updateProgress);
    m_writtenTimer.setSingleShot(true);
    m_writtenTimer.setInterval(kWrittenSettleMs);
    connect(&m_writtenTimer, &QTimer::timeout, this, [this] {
        rescan();
        if (m_reloadAfterWrite.contains(m_shownPath)) {
            openFile(m_shownPath);
        }
        m_reloadAfterWrite.clear();
    });
    m_alarmTimer.setSingleShot(true);
    m_alarmTimer.setInterval(0);
    connect(&m_alarmTimer, &QTimer::timeout, this, [this] {
        if (!m_shape) {
            return;
        }
        applyAlarms(*m_shape, currentAlarms());
        m_chart->refreshAlarms();
    });

    connect(&m_loader, &RecordLoader::loaded, this, &RecordsWindow::showLoaded);
    connect(&m_loader, &RecordLoader::loadFailed, this, &RecordsWindow::showRefused);
    connect(&m_loader, &RecordLoader::counted, this, &RecordsWindow::showCount);
    rescan();
}

RecordsWindow::~RecordsWindow() {
    if (m_csvThread) {
        m_csvThread->wait();
    }
    // The chart points into the shape: it goes first.
    m_chart->setShape(nullptr);
}

void RecordsWindow::buildWindow() {
    resize(1100, 720);
    auto* layout = new QVBoxLayout(this);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    layout->addWidget(splitter, 1);

    QWidget* left = buildFileList(splitter);
    auto* right = new QSplitter(Qt::Vertical, splitter);
    right->addWidget(buildChartPane(right));
    buildExposureTable(right);
    right->addWidget(buildRecordTable(right));
    right->setStretchFactor(0, 4);
    right->setStretchFactor(1, 1);
    right->setStretchFactor(2, 1);
    right->setSizes({440, 120, 140});
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 840});

    layout->addLayout(buildStatusRow());
    m_export->setEnabled(false);
    m_reset->setEnabled(false);
}

QWidget* RecordsWindow::buildFileList(QWidget* parent) {
    auto* left = new QWidget(parent);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    m_files = new QTreeWidget(left);
    m_files->setObjectName(QStringLiteral("recordFiles"));
    m_files->setHeaderLabels(
        {QStringLiteral("Date"), QStringLiteral("Records"), QStringLiteral("File")});
    m_files->setRootIsDecorated(false);
    m_files->setUniformRowHeights(true);
    m_files->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    leftLayout->addWidget(m_files, 1);
    m_open = new QPushButton(QStringLiteral("Open..."), left);
    m_open->setObjectName(QStringLiteral("openButton"));
    leftLayout->addWidget(m_open);
    connect(m_open, &QPushButton::clicked, this, &RecordsWindow::askOpen);
    connect(m_files, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const QString path = item->data(FileColumn, kPathRole).toString();
        if (path != m_shownPath || !m_shape) {
            openFile(path);
        }
    });
    return left;
}

QWidget* RecordsWindow::buildChartPane(QWidget* parent) {
    auto* chartPane = new QWidget(parent);
    auto* chartLayout = new QVBoxLayout(chartPane);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    auto* tools = new QHBoxLayout;
    m_reset = new QPushButton(QStringLiteral("Reset zoom"), chartPane);
    m_reset->setObjectName(QStringLiteral("resetButton"));
    m_reset->setToolTip(QStringLiteral("Show the whole day (Home). Zoom with a rubber band or the "
                                       "wheel; pan with the middle button or Shift and drag."));
    m_export = new QToolButton(chartPane);
    m_export->setObjectName(QStringLiteral("exportButton"));
    m_export->setText(QStringLiteral("Export"));
    m_export->setPopupMode(QToolButton::InstantPopup);
    auto* exportMenu = new QMenu(m_export);
    exportMenu->addAction(QStringLiteral("Chart as PNG..."), this, [this] { askExport("png"); });
    exportMenu->addAction(QStringLiteral("Chart as SVG..."), this, [this] { askExport("svg"); });
    exportMenu->addAction(QStringLiteral("Records as CSV..."), this, [this] { askExport("csv"); });
    exportMenu->addAction(QStringLiteral("Report (PDF)..."), this, [this] { askExport("pdf"); });
    m_export->setMenu(exportMenu);
    m_readout = new QLabel(chartPane);
    m_readout->setObjectName(QStringLiteral("readout"));
    m_readout->setTextInteractionFlags(Qt::TextSelectableByMouse);
    tools->addWidget(m_reset);
    tools->addWidget(m_export);
    tools->addSpacing(12);
    tools->addWidget(m_readout, 1);
    chartLayout->addLayout(tools);
    m_chart = new RecordsChartView(chartPane);
    chartLayout->addWidget(m_chart, 1);
    connect(m_reset, &QPushButton::clicked, m_chart, &RecordsChartView::resetView);
    connect(m_chart, &RecordsChartView::hovered, this, &RecordsWindow::showHovered);
    return chartPane;
}

QWidget* RecordsWindow::buildRecordTable(QWidget* parent) {
    m_table = new QTableView(parent);
    m_table->setObjectName(QStringLiteral("recordTable"));
    m_model = new RecordTableModel(m_table);
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    // Fixed row heights: the view never measures 65,535 rows.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setDefaultSectionSize(
        fontMetrics().horizontalAdvance(QStringLiteral("2025-03-07  00:00:00")) + 16);
    return m_table;
}

QLayout* RecordsWindow::buildStatusRow() {
    auto* statusRow = new QHBoxLayout;
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLine"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->setWordWrap(true);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("readProgress"));
    m_progress->setMaximumWidth(200);
    m_progress->hide();
    statusRow->addWidget(m_status, 1);
    statusRow->addWidget(m_progress);
    return statusRow;
}

void RecordsWindow::setAlarmSource(AlarmSource source) {
    m_alarmSource = std::move(source);
    alarmsChanged();
}

void RecordsWindow::alarmsChanged() {
    // A parameter read changes the configuration answer by answer: the levels are taken once
    // the event loop is back.
    m_alarmTimer.start();
}

void RecordsWindow::rescan() {
    listArchive();
    const std::vector<DayWorkbook> workbooks = listDayWorkbooks(m_folder);
    QStringList uncounted;
    QSignalBlocker block(m_files);
    m_files->clear();
    for (const DayWorkbook& workbook : workbooks) {
        auto* item = new QTreeWidgetItem(m_files);
        item->setText(DateColumn, workbook.date.toString(Qt::ISODate));
        item->setText(FileColumn, workbook.fileName);
        item->setData(FileColumn, kPathRole, workbook.path);
        item->setTextAlignment(RecordsColumn, Qt::AlignRight | Qt::AlignVCenter);
        const Count known = m_counts.value(workbook.path);
        if (known.size == workbook.size && known.modified == workbook.modified) {
            item->setText(RecordsColumn, recordsText(known.records));
        } else {
            m_counts.insert(workbook.path, Count{workbook.size, workbook.modified, -1});
            item->setText(RecordsColumn, QStringLiteral("..."));
            uncounted << workbook.path;
        }
    }
    selectShownFile();
    m_loader.cancelCounts();
    if (m_shownPath.isEmpty() && !m_loader.isLoading() && workbooks.empty()) {
        showStatus(QStringLiteral("No day workbooks in %1 yet: they appear here once records are "
                                  "downloaded. \"Open...\" opens any other workbook.")
                       .arg(QDir::toNativeSeparators(m_folder)));
    }
    if (m_shownPath.isEmpty() && !m_loader.isLoading() && !workbooks.empty()) {
        uncounted.removeAll(workbooks.front().path); // the opening counts it
        openFile(workbooks.front().path);
    }
    m_loader.count(uncounted);
}

void RecordsWindow::openFile(const QString& path) {
    m_loader.load(path);
    showStatus(QStringLiteral("Reading %1...").arg(QFileInfo(path).fileName()));
    m_progress->setRange(0, 0);
    m_progress->show();
    m_progressTimer.start();
}

void RecordsWindow::updateProgress() {
    if (!m_loader.isLoading()) {
        m_progressTimer.stop();
        m_progress->hide();
        return;
    }
    const int percent = m_loader.loadPercent();
    if (percent < 0) {
        m_progress->setRange(0, 0);
    } else {
        m_progress->setRange(0, 100);
        m_progress->setValue(percent);
    }
}

std::vector<ChannelAlarm> RecordsWindow::currentAlarms() const {
    if (m_archiveAlarms) {
        return *m_archiveAlarms;
    }
    return m_alarmSource ? m_alarmSource() : std::vector<ChannelAlarm>{};
}

void RecordsWindow::showShaped(std::shared_ptr<const RecordSheet> sheet,
                               std::unique_ptr<RecordShape> shape, const QString& path) {
    applyAlarms(*shape, currentAlarms());
    m_chart->setShape(shape.get());
    m_shape = std::move(shape);
    m_sheet = std::move(sheet);
    m_model->setSheet(m_sheet);
    m_shownPath = path;
    m_readout->clear();
    setWindowTitle(QStringLiteral("Records - %1").arg(QFileInfo(path).fileName()));
    m_export->setEnabled(true);
    m_reset->setEnabled(true);
    updateProgress();
}

void RecordsWindow::showLoaded(const QString& path) {
    RecordLoader::Loaded loaded = m_loader.takeLoaded();
    m_archiveAlarms.reset();
    showShaped(std::move(loaded.sheet), std::make_unique<RecordShape>(std::move(loaded.shape)),
               path);

    const QFileInfo info(path);
    if (m_counts.contains(path)) {
        m_counts.insert(path, Count{info.size(), info.lastModified(), m_sheet->recordCount()});
    }
    showCount(path, m_sheet->recordCount());
    selectShownFile();

    QString text = QStringLiteral("%1: %2 records, %3 lines")
                       .arg(info.fileName())
                       .arg(m_shape->records)
                       .arg(m_shape->series.size());
    if (m_shape->notNumeric > 0) {
        text += QStringLiteral(", %1 readings not numeric").arg(m_shape->notNumeric);
    }
    if (m_shape->withoutTime > 0) {
        text += QStringLiteral(", %1 records without a readable time").arg(m_shape->withoutTime);
    }
    showStatus(text);
    emit fileShown(path);
}

void RecordsWindow::showRefused(const QString& path, const QString& problem) {
    updateProgress();
    showStatus(problem);
    selectShownFile();
    emit fileRefused(path, problem);
}

void RecordsWindow::showCount(const QString& path, qsizetype records) {
    auto found = m_counts.find(path);
    if (found != m_counts.end()) {
        found->records = records;
    }
    for (int i = 0; i < m_files->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_files->topLevelItem(i);
        if (item->data(FileColumn, kPathRole).toString() == path) {
            item->setText(RecordsColumn, recordsText(records));
        }
    }
}

void RecordsWindow::selectShownFile() {
    QSignalBlocker block(m_files);
    m_files->clearSelection();
    for (int i = 0; i < m_files->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_files->topLevelItem(i);
        if (item->data(FileColumn, kPathRole).toString() == m_shownPath) {
            m_files->setCurrentItem(item);
            return;
        }
    }
}

void RecordsWindow::showStatus(const QString& text) {
    m_status->setText(text);
}

QString RecordsWindow::statusText() const {
    return m_status->text();
}

void RecordsWindow::showHovered(int series, qsizetype point) {
    if (!m_shape) {
        return;
    }
    const RecordSeries& s = m_shape->series[size_t(series)];
    const RecordPoint& p = s.points[size_t(point)];
    m_readout->setText(
        QStringLiteral("%1   %2   %3")
            .arg(recordTimeText(p.time), s.name, m_sheet->readingText(p.record, s.channel)));
    const QModelIndex row = m_model->index(p.record, 0);
    m_table->scrollTo(row, QAbstractItemView::PositionAtCenter);
    m_table->selectionModel()->select(row, QItemSelectionModel::ClearAndSelect |
                                               QItemSelectionModel::Rows);
}

void RecordsWindow::workbookWritten(const QString& path) {
    m_reloadAfterWrite.insert(QFileInfo(path).absoluteFilePath());
    m_writtenTimer.start();
}

void RecordsWindow::askOpen() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open records"), m_folder,
        QStringLiteral("Excel 97-2003 workbooks (*.xls);;All files (*)"));
    if (!path.isEmpty()) {
        openFile(path);
    }
}

QString RecordsWindow::suggestedExportPath(const QString& extension) const {
    return m_folder + QLatin1Char('/') + QFileInfo(m_shownPath).completeBaseName() +
           QLatin1Char('.') + extension;
}

void RecordsWindow::askExport(const QString& kind) {
    static const QHash<QString, QString> kFilters{
        {QStringLiteral("png"), QStringLiteral("PNG images (*.png)")},
        {QStringLiteral("svg"), QStringLiteral("SVG drawings (*.svg)")},
        {QStringLiteral("csv"), QStringLiteral("CSV files (*.csv)")},
        {QStringLiteral("pdf"), QStringLiteral("PDF documents (*.pdf)")}};
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export"),
                                                suggestedExportPath(kind), kFilters.value(kind));
    if (path.isEmpty()) {
        return;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QLatin1Char('.') + kind;
    }
    if (kind == QLatin1String("csv")) {
        exportCsv(path);
        return;
    }
    QString failure;
    if (kind == QLatin1String("pdf")) {
        showStatus(exportReport(path, failure)
                       ? QStringLiteral("Report saved as %1.").arg(QDir::toNativeSeparators(path))
                       : failure);
        return;
    }
    if (exportChartImage(path, failure)) {
        showStatus(QStringLiteral("Chart saved as %1.").arg(QDir::toNativeSeparators(path)));
    } else {
        showStatus(failure);
    }
}

bool RecordsWindow::exportChartImage(const QString& path, QString& failure) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(m_chart->size());
        svg.setViewBox(m_chart->rect());
        svg.setTitle(windowTitle());
        QPainter painter(&svg);
        m_chart->render(&painter);
    } else if (!m_chart->grab().save(&buffer, "PNG")) {
        failure = QStringLiteral("The chart could not be drawn as an image.");
        return false;
    }
    QString reason;
    if (!safefilewrite::replaceFile(path, bytes, reason)) {
        failure = QStringLiteral("The chart could not be saved as %1: %2")
                      .arg(QDir::toNativeSeparators(path), reason);
        return false;
    }
    return true;
}

void RecordsWindow::exportCsv(const QString& path) {
    if (!m_sheet || m_csvThread) {
        emit csvExported(path, QStringLiteral("Nothing to export yet."));
        return;
    }
    auto failure = std::make_shared<QString>();
    // The sheet is shared read-only; the window keeps nothing else the thread could touch.
    QThread* thread = QThread::create([sheet = m_sheet, path, failure] {
        if (!writeRecordCsv(*sheet, path, *failure) && failure->isEmpty()) {
            *failure = QStringLiteral("The file could not be written.");
        }
    });
    m_csvThread = thread;
    showStatus(QStringLiteral("Writing %1...").arg(QDir::toNativeSeparators(path)));
    connect(thread, &QThread::finished, this, [this, thread, path, failure] {
        thread->wait();
        delete thread;
        if (failure->isEmpty()) {
            showStatus(QStringLiteral("Records saved as %1.").arg(QDir::toNativeSeparators(path)));
        } else {
            showStatus(QStringLiteral("The records could not be saved as %1: %2")
                           .arg(QDir::toNativeSeparators(path), *failure));
        }
        emit csvExported(path, *failure);
    });
    thread->start();
}
