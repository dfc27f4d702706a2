#pragma once

#include "records/channelalarm.h"
#include "records/recordloader.h"

#include <QDateTime>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class ArchiveService;
class QComboBox;
class QLabel;
class QLayout;
class QProgressBar;
class QPushButton;
class QTableView;
class QThread;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class ExposureTable;
class RecordTableModel;
class RecordsChartView;

// The Records window: the day workbooks of the record folder, newest first, and the records of
// one of them as a chart and a table. Not modal: the main window, a download included, goes on
// beside it. Files are read on a thread of their own (RecordLoader) and shown once complete; a
// file that is no record workbook is told of in the status line and leaves the shown records
// as they were. Nothing here writes to a workbook.
class RecordsWindow : public QWidget {
    Q_OBJECT
public:
    using AlarmSource = std::function<std::vector<ChannelAlarm>()>;

    explicit RecordsWindow(QString recordFolder, QWidget* parent = nullptr);
    ~RecordsWindow() override;

    // The alarm levels of the last parameter read; asked whenever records are shown and after
    // alarmsChanged().
    void setAlarmSource(AlarmSource source);
    void alarmsChanged();

    // Lists the records archive's instrument memories beside the day workbooks, and shows any
    // time range of one of them with the alarm levels of the downloads that brought it.
    void setArchive(ArchiveService* archive);
    QComboBox* archiveMemories() const { return m_memories; }
    QComboBox* archiveSpan() const { return m_span; }
    QPushButton* archiveShow() const { return m_showArchive; }

    // Lists the folder again and opens the newest workbook when none is shown.
    void rescan();
    // Reads the file and shows it when complete.
    void openFile(const QString& path);
    // The export has written a batch to this workbook.
    void workbookWritten(const QString& path);

    bool exportChartImage(const QString& path, QString& failure);
    // The report of the records in view: configuration, time range, chart, exposure summary.
    [[nodiscard]] bool exportReport(const QString& path, QString& failure);
    // Written on a thread of its own; csvExported() tells how it went.
    void exportCsv(const QString& path);

    const QString& shownPath() const { return m_shownPath; }
    const RecordShape* shape() const { return m_shape.get(); }
    bool isLoading() const { return m_loader.isLoading(); }
    QString statusText() const;
    RecordsChartView* chartView() const { return m_chart; }
    QTableView* tableView() const { return m_table; }
    QTreeWidget* fileList() const { return m_files; }
    ExposureTable* exposureTable() const { return m_exposure; }

signals:
    void fileShown(const QString& path);
    void fileRefused(const QString& path, const QString& problem);
    void csvExported(const QString& path, const QString& failure);

private:
    struct Count {
        qint64 size = 0;
        QDateTime modified;
        qsizetype records = -1;
    };

    void buildWindow();
    QWidget* buildFileList(QWidget* parent);
    QWidget* buildChartPane(QWidget* parent);
    QWidget* buildRecordTable(QWidget* parent);
    QLayout* buildStatusRow();
    void showLoaded(const QString& path);
    void showShaped(std::shared_ptr<const RecordSheet> sheet, std::unique_ptr<RecordShape> shape,
                    const QString& path);
    std::vector<ChannelAlarm> currentAlarms() const;
    void buildArchivePane();
    void listArchive();
    void showArchiveRange();
    void archiveSheetLoaded(quint64 ticket, const std::shared_ptr<RecordShape>& shape,
                            const std::shared_ptr<const RecordSheet>& sheet,
                            const std::vector<ChannelAlarm>& alarms, const QString& error);
    void showRefused(const QString& path, const QString& problem);
    void showCount(const QString& path, qsizetype records);
    void selectShownFile();
    void updateProgress();
    void showStatus(const QString& text);
    void showHovered(int series, qsizetype point);
    void askOpen();
    void askExport(const QString& kind);
    QString suggestedExportPath(const QString& extension) const;
    // The exposure summary follows the view once a zoom or pan pauses.
    void buildExposureTable(QWidget* parent);
    void showExposure();

    QString m_folder;
    AlarmSource m_alarmSource;
    RecordLoader m_loader;
    std::shared_ptr<const RecordSheet> m_sheet;
    std::unique_ptr<RecordShape> m_shape;
    QString m_shownPath;
    QHash<QString, Count> m_counts;
    QSet<QString> m_reloadAfterWrite;
    QTimer m_progressTimer;
    QTimer m_writtenTimer;
    QTimer m_alarmTimer;
    QPointer<QThread> m_csvThread;
    QTimer m_exposureTimer;

    QTreeWidget* m_files = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_reset = nullptr;
    QToolButton* m_export = nullptr;
    RecordsChartView* m_chart = nullptr;
    QTableView* m_table = nullptr;
    RecordTableModel* m_model = nullptr;
    ExposureTable* m_exposure = nullptr;
    QLabel* m_readout = nullptr;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;

    QPointer<ArchiveService> m_archive;
    QComboBox* m_memories = nullptr;
    QComboBox* m_span = nullptr;
    QPushButton* m_showArchive = nullptr;
    quint64 m_archiveTicket = 0;
    // Set while an archive range is shown: its downloads' levels, not the last parameter read's.
    std::optional<std::vector<ChannelAlarm>> m_archiveAlarms;
};
