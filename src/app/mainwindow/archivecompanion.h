#pragma once

#include "archive/archivefeed.h"
#include "archive/archiveservice.h"
#include "model/channelconfig.h"
#include "protocol/resumeprobe.h"
#include "serverarchive/archivelocation.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <optional>

class QProgressDialog;
class QWidget;

// The main window's side of the records archive: opens it beside the day workbooks, puts it
// between the link and the workbooks (ArchiveFeed), asks it at Download Data which memories it
// knows, words what the download found, and imports day workbooks. Nothing here waits for the
// archive: its answers arrive as signals, and a download whose archive does not answer within
// kLookupWaitMs starts as without one.
class ArchiveCompanion : public QObject {
    Q_OBJECT
public:
    static constexpr int kLookupWaitMs = 3000;

    struct Hooks {
        std::function<void(const QString&)> tell;     // a message box after the handler
        std::function<void(const QString&)> note;     // the line under the controls
        std::function<QString()> portName;            // "COM1"
        std::function<ArchiveConfig()> configuration; // as the last parameter read gave it
        std::function<quint32()> recordTotal;
        // Starts the link's download with the memories the archive knows.
        std::function<void(QList<KnownMemory>, bool fetchAll)> startLink;
        // Where the archive is, whether it answered last time it was asked (nothing: not asked
        // yet), and the records waiting on this PC for it.
        std::function<void(const QString& where, std::optional<bool> reachable, qint64 waiting)>
            status;
    };

    // location: the archive on a server, or an SQLite file (without a path: the file beside the
    // day workbooks). A server's batches wait in an outbox file beside the workbooks.
    ArchiveCompanion(const QString& recordFolder, const ArchiveLocation& location,
                     BatchExporter& workbooks, Hooks hooks, QObject* parent = nullptr);

    static QString archiveFileName() { return QStringLiteral("trellmo-archive.sqlite"); }
    static QString outboxFileName() { return QStringLiteral("trellmo-outbox.sqlite"); }
    static QString journalFileName() { return QStringLiteral("trellmo-journal.sqlite"); }
    // At exit: what waits on this PC for the archive server, and that it goes at the next
    // start; empty when nothing waits.
    QString waitingAtExit() const;
    BatchExporter& exporter() { return m_feed; }
    ArchiveService& service() { return m_service; }

    // Download Data (fetchAll false) or Download all records (true).
    void startDownload(bool fetchAll);
    // The link's probe decided where the download goes on.
    void resumeDecided(const ResumeProbe& probe);
    // Asks for day workbooks and imports them with a progress bar.
    void importWorkbooks(QWidget* parent);

private:
    void lookupAnswered(const QString& configuration, const QList<MemoryCandidate>& found);
    void begin(const QList<KnownMemory>& known);
    void stored(const ArchiveStoreReport& report);
    void importDone(const ImportReport& report);

    void showStatus(std::optional<bool> reachable, qint64 waiting);

    QString m_recordFolder;
    ArchiveLocation m_location;
    QString m_where;
    Hooks m_hooks;
    ArchiveService m_service;
    ArchiveFeed m_feed;
    QTimer m_lookupWait;
    QString m_pendingConfiguration; // the lookup a download waits for
    bool m_fetchAll = false;
    bool m_inRun = false;     // a download of this run has started already
    bool m_consulted = false; // the archive named memories for the download starting
    QPointer<QProgressDialog> m_importProgress;
};

// The configuration of the last parameter read as the archive keeps it.
ArchiveConfig archiveConfigOf(const ChannelConfiguration& configuration, bool sixChannels);

// What the archive knows, as the link compares it.
QList<KnownMemory> knownMemoriesOf(const QList<MemoryCandidate>& found, int channels);
