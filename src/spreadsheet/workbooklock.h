#pragma once

#include <QString>
#include <stdexcept>

// One writer per workbook, across program copies: whoever reads a workbook to write it back
// holds this lock from before the read until the new file is in place, so a second writer reads
// what the first wrote instead of overwriting it with an older copy.
//
// The lock is an flock() on a hidden file beside the workbook, ".<file name>.lock". The kernel
// drops it when its holder dies, so a killed writer blocks nobody. The holder removes the file
// when it lets go; a waiter that then finds its lock on a removed file starts over on the new
// one, so two writers can never both think they hold it.
class WorkbookLock {
public:
    // How long a writer waits for another copy of the program to finish its write. The longest
    // normal hold is one export cycle of a full day workbook, a few hundred milliseconds
    // (export_bench, 60,000 rows: 0.2 to 0.4 s on a busy machine); two seconds outlast several of
    // them even on a slow disk, while the window, whose thread waits here, stays frozen no longer
    // than that.
    static constexpr int kDefaultWaitMs = 2000;

    // Locks nothing yet.
    explicit WorkbookLock(const QString& workbookPath);
    // Releases the lock when held.
    ~WorkbookLock();
    WorkbookLock(const WorkbookLock&) = delete;
    WorkbookLock& operator=(const WorkbookLock&) = delete;

    // Waits up to waitMs for the lock. False, with `failure` in words a user can act on, when
    // another process still holds it then or the lock file cannot be made.
    bool acquire(int waitMs, QString& failure);
    bool acquire(QString& failure) { return acquire(kDefaultWaitMs, failure); }
    bool isHeld() const { return m_fd >= 0; }
    void release();

    // ".<file name>.lock" in the workbook's folder, links followed.
    static QString lockFilePath(const QString& workbookPath);
    // True when no other holder has the workbook's lock: this process holds it, or it is free.
    static bool noOtherHolder(const QString& workbookPath);

private:
    QString m_lockPath;
    int m_fd = -1;
};

// Thrown by writers that give up because the workbook's lock stayed taken; what() says so.
class WorkbookLockError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
