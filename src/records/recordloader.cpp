#include "records/recordloader.h"

#include "records/readprogress.h"

#include <QThread>

struct RecordLoader::Job {
    enum class Kind { Load, Count };
    Kind kind = Kind::Load;
    QString path;
    ReadProgress progress;
    // Written by the thread, read after it has finished.
    RecordSheetRead read;
    RecordShape shape;
    std::optional<qsizetype> records;
};

RecordLoader::RecordLoader(QObject* parent) : QObject(parent) {}

RecordLoader::~RecordLoader() {
    if (m_running) {
        m_running->progress.cancelled = true;
    }
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

void RecordLoader::load(const QString& path) {
    if (m_running && m_running->kind == Job::Kind::Load) {
        m_running->progress.cancelled = true;
    }
    m_pendingLoad = path;
    startNext();
}

void RecordLoader::count(const QStringList& paths) {
    for (const QString& path : paths) {
        m_pendingCounts.push_back(path);
    }
    startNext();
}

void RecordLoader::cancelCounts() {
    m_pendingCounts.clear();
}

bool RecordLoader::isLoading() const {
    return !m_pendingLoad.isEmpty() ||
           (m_running && m_running->kind == Job::Kind::Load && !m_running->progress.cancelled);
}

QString RecordLoader::loadingPath() const {
    if (!m_pendingLoad.isEmpty()) {
        return m_pendingLoad;
    }
    if (m_running && m_running->kind == Job::Kind::Load) {
        return m_running->path;
    }
    return {};
}

int RecordLoader::loadPercent() const {
    if (m_running && m_running->kind == Job::Kind::Load && m_pendingLoad.isEmpty()) {
        return m_running->progress.percent.load();
    }
    return -1;
}

RecordLoader::Loaded RecordLoader::takeLoaded() {
    return std::exchange(m_loaded, Loaded{});
}

void RecordLoader::startNext() {
    if (m_running) {
        return; // the next job starts when this one has finished
    }
    auto job = std::make_shared<Job>();
    if (!m_pendingLoad.isEmpty()) {
        job->kind = Job::Kind::Load;
        job->path = std::exchange(m_pendingLoad, QString());
    } else if (!m_pendingCounts.empty()) {
        job->kind = Job::Kind::Count;
        job->path = m_pendingCounts.front();
        m_pendingCounts.pop_front();
    } else {
        return;
    }
    m_running = job;
    // The thread holds the job alone while it runs; nothing else of this object is touched.
    QThread* thread = QThread::create([job] {
        if (job->kind == Job::Kind::Count) {
            QString problem;
            job->records = countRecords(job->path, problem);
            return;
        }
        job->read = readRecordSheet(job->path, &job->progress);
        if (job->read.sheet && !job->progress.cancelled) {
            job->shape = shapeRecords(*job->read.sheet);
        }
    });
    m_thread = thread;
    connect(thread, &QThread::finished, this, [this, job, thread] {
        thread->wait();
        delete thread;
        finish(job);
    });
    thread->start(job->kind == Job::Kind::Count ? QThread::LowPriority : QThread::InheritPriority);
}

void RecordLoader::finish(const std::shared_ptr<Job>& job) {
    m_running.reset();
    if (job->kind == Job::Kind::Count) {
        emit counted(job->path, job->records ? *job->records : qsizetype(-1));
    } else if (!job->progress.cancelled) {
        if (job->read.sheet) {
            m_loaded = Loaded{std::move(job->read.sheet), std::move(job->shape)};
            emit loaded(job->path);
        } else {
            emit loadFailed(job->path, job->read.problem);
        }
    }
    startNext();
}
