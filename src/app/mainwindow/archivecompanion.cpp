#include "app/mainwindow/archivecompanion.h"

#include "serverarchive/serveropener.h"

#include <QDir>
#include <QFileDialog>
#include <QProgressDialog>
#include <QUuid>

namespace {

RecordValues recordValuesOf(const ArchiveRecord& record, int channels) {
    RecordValues values;
    values.time = record.time;
    values.channels = channels;
    for (int c = 0; c < channels; ++c) {
        values.readings[static_cast<size_t>(c)] =
            record.readings[static_cast<size_t>(c)].value_or(0);
    }
    return values;
}

QString newKey() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace

ArchiveConfig archiveConfigOf(const ChannelConfiguration& configuration, bool sixChannels) {
    ArchiveConfig config;
    config.channels = sixChannels ? 6 : 4;
    for (size_t c = 0; c < size_t(config.channels); ++c) {
        const ChannelSettings& from = configuration.channels[c];
        ArchiveChannel& ch = config.channel[c];
        ch.gasCode = from.gasCode.value_or(0);
        ch.gas = from.gasName.trimmed();
        ch.unitCode = from.unitCode.value_or(0);
        ch.unit = from.unitName.trimmed();
        ch.precisionCode = from.precision.value_or(0);
        // Codes 1 to 3 divide the raw numbers by 10, 100 and 1000; others are shown as sent.
        ch.scale = ch.precisionCode == 1   ? 10
                   : ch.precisionCode == 2 ? 100
                   : ch.precisionCode == 3 ? 1000
                                           : 1;
        ch.rangeRaw = from.range ? from.range->raw : 0;
        ch.lowAlarmRaw = from.lowAlarm ? from.lowAlarm->raw : 0;
        ch.highAlarmRaw = from.highAlarm ? from.highAlarm->raw : 0;
    }
    return config;
}

QList<KnownMemory> knownMemoriesOf(const QList<MemoryCandidate>& found, int channels) {
    QList<KnownMemory> known;
    for (const MemoryCandidate& c : found) {
        KnownMemory m;
        m.memoryKey = c.memoryKey;
        if (c.first) {
            m.first = recordValuesOf(*c.first, channels);
        }
        m.lastNumber = c.last.number;
        m.last = recordValuesOf(c.last, channels);
        known << m;
    }
    return known;
}

ArchiveCompanion::ArchiveCompanion(const QString& recordFolder, const ArchiveLocation& location,
                                   BatchExporter& workbooks, Hooks hooks, QObject* parent)
    : QObject(parent), m_recordFolder(recordFolder), m_location(location),
      m_hooks(std::move(hooks)),
      m_feed(workbooks, m_service, QDir(recordFolder).filePath(journalFileName())) {
    m_lookupWait.setSingleShot(true);
    m_lookupWait.setInterval(kLookupWaitMs);
    connect(&m_lookupWait, &QTimer::timeout, this, [this] {
        m_pendingConfiguration.clear();
        begin({});
    });
    connect(&m_service, &ArchiveService::opened, this, [this](bool ok, const QString& message) {
        if (!message.isEmpty()) {
            m_hooks.tell(message);
        }
        showStatus(ok, m_service.waitingRecords());
    });
    connect(&m_service, &ArchiveService::candidatesFound, this, &ArchiveCompanion::lookupAnswered);
    connect(&m_service, &ArchiveService::stored, this, &ArchiveCompanion::stored);
    connect(&m_service, &ArchiveService::importProgress, this, [this](int done, int total) {
        if (m_importProgress) {
            m_importProgress->setMaximum(total);
            m_importProgress->setValue(done);
        }
    });
    connect(&m_service, &ArchiveService::importFinished, this, &ArchiveCompanion::importDone);
    if (m_location.kind() == ArchiveLocation::Kind::PostgreSQL) {
        // Chosen by the user: the server is asked from the first download on, and its outbox
        // needs the record folder at once.
        QDir().mkpath(recordFolder);
        m_where = m_location.displayText();
        const ArchiveLocation server = m_location;
        m_service.open([server](ArchiveStore& store) { return openServerArchive(store, server); },
                       QDir(recordFolder).filePath(outboxFileName()));
    } else {
        const QString path = m_location.sqlitePath().isEmpty()
                                 ? QDir(recordFolder).filePath(archiveFileName())
                                 : m_location.sqlitePath();
        m_where = QDir::toNativeSeparators(path);
        // Opened now when its folder exists, else beside the first batch's workbook.
        m_service.setFile(path);
        m_service.ensureOpen();
    }
    // Before any download asks the archive what it knows.
    m_feed.recoverJournal();
    showStatus(std::nullopt, 0);
}

void ArchiveCompanion::showStatus(std::optional<bool> reachable, qint64 waiting) {
    if (m_hooks.status) {
        m_hooks.status(m_where, reachable, waiting);
    }
}

QString ArchiveCompanion::waitingAtExit() const {
    const qint64 waiting = m_service.waitingRecords();
    if (waiting <= 0 || m_location.kind() != ArchiveLocation::Kind::PostgreSQL) {
        return {};
    }
    return QStringLiteral("%1 records wait on this PC for the archive %2. They are kept in %3 and "
                          "sent when the program starts next time.")
        .arg(waiting)
        .arg(m_where, QDir::toNativeSeparators(QDir(m_recordFolder).filePath(outboxFileName())));
}

void ArchiveCompanion::startDownload(bool fetchAll) {
    m_fetchAll = fetchAll;
    const ArchiveConfig config = m_hooks.configuration();
    DownloadInfo info;
    info.downloadKey = newKey();
    info.downloadedAt = QDateTime::currentDateTime();
    info.port = m_hooks.portName();
    info.config = config;
    info.recordTotal = m_hooks.recordTotal();
    const bool continuing = m_inRun && !fetchAll;
    const QString memory = m_feed.memoryKey();
    m_feed.startDownload(info);
    m_inRun = true;
    if (continuing) {
        // Within a run a download goes on after the previous one, in the same memory.
        m_feed.setMemory(memory.isEmpty() ? newKey() : memory, {});
        m_hooks.startLink({}, false);
        return;
    }
    if (!m_service.ensureOpen()) {
        begin({});
        return;
    }
    m_pendingConfiguration = config.key();
    m_service.lookup(m_pendingConfiguration);
    m_lookupWait.start();
}

void ArchiveCompanion::lookupAnswered(const QString& configuration,
                                      const QList<MemoryCandidate>& found) {
    if (configuration != m_pendingConfiguration) {
        return; // an answer to a lookup nobody waits for any more
    }
    m_pendingConfiguration.clear();
    m_lookupWait.stop();
    begin(knownMemoriesOf(found, m_hooks.configuration().channels));
}

void ArchiveCompanion::begin(const QList<KnownMemory>& known) {
    m_consulted = !known.isEmpty();
    m_hooks.startLink(known, m_fetchAll);
}

void ArchiveCompanion::resumeDecided(const ResumeProbe& probe) {
    const quint32 total = m_hooks.recordTotal();
    if (probe.outcome() == ResumeProbe::Outcome::Resume) {
        m_feed.setMemory(probe.memoryKey(), {});
        const quint32 archived = probe.resumeAfter();
        if (m_fetchAll) {
            m_hooks.note(QStringLiteral("Downloading all %1 records again; the archive holds %2 "
                                        "of them already")
                             .arg(total)
                             .arg(archived));
        } else if (archived >= total) {
            m_hooks.note(
                QStringLiteral("No new records: all %1 are in the archive already").arg(total));
        } else {
            m_hooks.note(QStringLiteral("%1 records are in the archive already; downloading "
                                        "records %2 to %3")
                             .arg(archived)
                             .arg(archived + 1)
                             .arg(total));
        }
        return;
    }
    m_feed.setMemory(newKey(), {});
    // Only a memory the archive could have known is worth a word: a first download is just that.
    m_hooks.note(
        m_consulted && total > 0
            ? QStringLiteral("The instrument's memory does not match the archive (cleared, "
                             "or another instrument): downloading all %1 records as a "
                             "new memory")
                  .arg(total)
            : QString());
}

void ArchiveCompanion::stored(const ArchiveStoreReport& report) {
    m_feed.archived(report);
    showStatus(report.ok, report.waitingRecords);
    const QString waitsHere = QStringLiteral("wait on this PC");
    if (!report.message.isEmpty() && m_location.kind() == ArchiveLocation::Kind::PostgreSQL) {
        m_hooks.tell(report.message.contains(waitsHere)
                         ? report.message
                         : report.message +
                               QStringLiteral(". The records are in the day "
                                              "workbooks, and they ") +
                               waitsHere + QStringLiteral(" until the server takes them."));
    } else if (!report.message.isEmpty()) {
        m_hooks.tell(report.message +
                     QStringLiteral(". The records are in the day workbooks; they go "
                                    "into the archive with the next batch."));
    }
}

void ArchiveCompanion::importWorkbooks(QWidget* parent) {
    if (!m_service.ensureOpen()) {
        m_hooks.tell(QStringLiteral("The records archive is not open; nothing can be imported."));
        return;
    }
    const QStringList paths =
        QFileDialog::getOpenFileNames(parent, QStringLiteral("Import workbooks"), m_recordFolder,
                                      QStringLiteral("Workbooks (*.xls);;All files (*)"));
    if (paths.isEmpty()) {
        return;
    }
    m_importProgress = new QProgressDialog(QStringLiteral("Importing workbooks..."), QString(), 0,
                                           int(paths.size()), parent);
    m_importProgress->setObjectName(QStringLiteral("importProgress"));
    m_importProgress->setWindowTitle(QStringLiteral("Import workbooks"));
    m_importProgress->setMinimumDuration(0);
    m_importProgress->setValue(0);
    m_service.importWorkbooks(paths);
}

void ArchiveCompanion::importDone(const ImportReport& report) {
    if (m_importProgress) {
        m_importProgress->close();
        m_importProgress->deleteLater();
    }
    QString text = QStringLiteral("%1 workbooks imported: %2 records added to the archive, %3 "
                                  "were there already.")
                       .arg(report.files)
                       .arg(report.added)
                       .arg(report.alreadyThere);
    if (!report.refused.isEmpty()) {
        text += QStringLiteral("\nLeft alone (no day workbook):\n") +
                report.refused.join(QLatin1Char('\n'));
    }
    if (!report.failure.isEmpty()) {
        text += QLatin1Char('\n') + report.failure;
    }
    m_hooks.tell(text);
}
