#include "archive/archiveservice.h"

#include "archive/archiveworker.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QSemaphore>
#include <QTimer>
#include <atomic>
#include <memory>

namespace {

QString nextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("trellmo-archive-%1").arg(++counter);
}

} // namespace

ArchiveService::ArchiveService(QObject* parent) : QObject(parent) {
    m_thread.setObjectName(QStringLiteral("archive"));
    m_worker = new ArchiveWorker(nextConnectionName());
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    auto* retryTimer = new QTimer;
    retryTimer->setInterval(kRetryMs);
    retryTimer->moveToThread(&m_thread);
    retryTimer->setParent(m_worker);
    post([this, retryTimer](ArchiveWorker& worker) {
        connect(retryTimer, &QTimer::timeout, &worker, [this, &worker] {
            if (worker.pending() > 0 || (worker.reconnects() && !worker.store().isOpen())) {
                const ArchiveStoreReport report = worker.retry();
                QMetaObject::invokeMethod(this, [this, report] { takeStored(report); });
            }
        });
        retryTimer->start();
    });
}

ArchiveService::~ArchiveService() {
    ArchiveWorker* worker = m_worker;
    // The store closes its connection on the thread that opened it.
    QMetaObject::invokeMethod(
        worker, [worker] { delete worker; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void ArchiveService::post(std::function<void(ArchiveWorker&)> work) {
    ArchiveWorker* worker = m_worker;
    QMetaObject::invokeMethod(worker, [worker, work = std::move(work)] { work(*worker); });
}

void ArchiveService::openFile(const QString& path) {
    open([path](ArchiveStore& store) { return store.openFile(path); });
}

void ArchiveService::setFile(const QString& path) {
    openWhenFolderExists(QFileInfo(path).absolutePath(),
                         [path](ArchiveStore& store) { return store.openFile(path); });
}

void ArchiveService::openWhenFolderExists(const QString& folder, Opener opener,
                                          const QString& outboxPath) {
    m_folder = folder;
    m_deferred = std::move(opener);
    m_deferredOutbox = outboxPath;
}

bool ArchiveService::ensureOpen() {
    if (!m_openTried && m_deferred && QDir(m_folder).exists()) {
        open(std::move(m_deferred), m_deferredOutbox);
        m_deferred = {};
    }
    return isUsable();
}

void ArchiveService::open(Opener opener, const QString& outboxPath) {
    m_openTried = true;
    m_opening = true;
    m_hasOutbox = !outboxPath.isEmpty();
    post([this, opener = std::move(opener), outboxPath](ArchiveWorker& worker) {
        QString outboxError;
        // Without its outbox the archive still works, with the batches kept in memory.
        const bool outboxOk = outboxPath.isEmpty() || worker.useOutbox(outboxPath, &outboxError);
        ArchiveStore::Status status = worker.open(opener);
        if (!outboxOk && status.ok) {
            status.message = outboxError;
        }
        const QString where = worker.store().where();
        const bool sendLeft = status.ok && worker.pending() > 0;
        QMetaObject::invokeMethod(this, [this, status, where] {
            m_opening = false;
            m_open = status.ok;
            m_where = where;
            emit opened(status.ok, status.message);
        });
        if (sendLeft) {
            const ArchiveStoreReport report = worker.retry();
            QMetaObject::invokeMethod(this, [this, report] { takeStored(report); });
        }
    });
}

void ArchiveService::store(ArchiveBatch batch) {
    ++m_pending;
    post([this, batch = std::move(batch)](ArchiveWorker& worker) mutable {
        const ArchiveStoreReport report = worker.store(std::move(batch));
        QMetaObject::invokeMethod(this, [this, report] { takeStored(report); });
    });
}

void ArchiveService::recover(const QList<BatchJournal::Entry>& entries) {
    ++m_pending;
    post([this, entries](ArchiveWorker& worker) {
        const ArchiveStoreReport report = worker.recover(entries);
        QMetaObject::invokeMethod(this, [this, report] { takeStored(report); });
    });
}

void ArchiveService::takeStored(ArchiveStoreReport report) {
    m_pending = report.pending;
    m_waitingRecords = report.waitingRecords;
    if (report.ok) {
        m_failing = false;
    } else if (m_failing) {
        report.message.clear(); // told already in this run of failures
    } else {
        m_failing = true;
    }
    emit stored(report);
}

void ArchiveService::lookup(const QString& configuration) {
    post([this, configuration](ArchiveWorker& worker) {
        const QList<MemoryCandidate> found = worker.store().isOpen()
                                                 ? worker.store().candidates(configuration)
                                                 : QList<MemoryCandidate>{};
        QMetaObject::invokeMethod(
            this, [this, configuration, found] { emit candidatesFound(configuration, found); });
    });
}

void ArchiveService::listMemories() {
    post([this](ArchiveWorker& worker) {
        QString error;
        const QList<MemorySummary> list = worker.store().memories(&error);
        QMetaObject::invokeMethod(this, [this, list, error] { emit memoriesListed(list, error); });
    });
}

void ArchiveService::loadRange(qint64 memoryId, const QString& from, const QString& to,
                               quint64 ticket) {
    post([this, memoryId, from, to, ticket](ArchiveWorker& worker) {
        QString error;
        const ArchiveRange range = worker.store().range(memoryId, from, to, &error);
        QMetaObject::invokeMethod(
            this, [this, ticket, range, error] { emit rangeLoaded(ticket, range, error); });
    });
}

void ArchiveService::loadSheet(qint64 memoryId, const QString& from, const QString& to,
                               const QString& label, quint64 ticket) {
    post([this, memoryId, from, to, label, ticket](ArchiveWorker& worker) {
        QString error;
        const ArchiveSheet sheet =
            archiveSheetOf(worker.store().range(memoryId, from, to, &error), label);
        QMetaObject::invokeMethod(
            this, [this, ticket, sheet, error] { emit sheetLoaded(ticket, sheet, error); });
    });
}

void ArchiveService::importWorkbooks(const QStringList& paths) {
    post([this, paths](ArchiveWorker& worker) {
        const ImportReport report =
            ::importWorkbooks(worker.store(), paths, [this](int done, int total) {
                QMetaObject::invokeMethod(
                    this, [this, done, total] { emit importProgress(done, total); });
            });
        QMetaObject::invokeMethod(this, [this, report] { emit importFinished(report); });
    });
}

bool ArchiveService::finish(int timeoutMs) {
    // Shared with the archive's thread, which may still answer after a timeout here.
    struct Answer {
        QSemaphore done;
        std::atomic<int> left{0};
    };
    auto answer = std::make_shared<Answer>();
    post([answer](ArchiveWorker& worker) {
        if (worker.pending() > 0) {
            // No new connection attempt: at exit a server away would hold the program up for
            // its connect timeout; what is left waits in the outbox.
            (void)worker.retry(false); // what is left is counted below
        }
        answer->left = worker.pending();
        answer->done.release();
    });
    if (!answer->done.tryAcquire(1, timeoutMs)) {
        return false;
    }
    m_pending = answer->left;
    return m_pending == 0;
}
