#pragma once

#include "records/recordshape.h"
#include "records/recordsheet.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <deque>
#include <memory>

class QThread;

// Reads day workbooks on a thread of its own, one at a time, so that a window showing them
// never holds up the user-interface thread, where the instrument's timers and serial events
// run. Each read builds its own workbook store in its thread; all that crosses over is the
// finished, read-only result. Opening a file comes first; counting the records of the other
// files of a folder waits until no file is being opened.
class RecordLoader : public QObject {
    Q_OBJECT
public:
    struct Loaded {
        std::shared_ptr<const RecordSheet> sheet;
        RecordShape shape;
    };

    explicit RecordLoader(QObject* parent = nullptr);
    // Waits for the read under way, which is told to stop at its next row.
    ~RecordLoader() override;

    // Opens the file after the read under way; an opening not yet started or under way is
    // abandoned for it.
    void load(const QString& path);
    // Counts the records of these files, after any opening.
    void count(const QStringList& paths);
    void cancelCounts();

    bool isLoading() const;
    QString loadingPath() const;
    // -1 while the file itself is parsed, then 0 to 100 (see ReadProgress); -1 when idle.
    int loadPercent() const;

    // The result of the last loaded() signal, once.
    Loaded takeLoaded();

signals:
    void loaded(const QString& path);
    void loadFailed(const QString& path, const QString& problem);
    // records is -1 when the file is no record workbook.
    void counted(const QString& path, qsizetype records);

private:
    struct Job;
    void startNext();
    void finish(const std::shared_ptr<Job>& job);

    std::shared_ptr<Job> m_running;
    QPointer<QThread> m_thread;
    QString m_pendingLoad;
    std::deque<QString> m_pendingCounts;
    Loaded m_loaded;
};
