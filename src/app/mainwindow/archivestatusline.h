#pragma once

#include <QLabel>

// The line at the foot of the main window that says where the records archive is and whether
// it can be reached, and how many records wait on this PC for a server that cannot. It only
// shows what the archive's thread reported; nothing here waits for the archive.
class ArchiveStatusLine : public QLabel {
    Q_OBJECT
public:
    enum class Reach { Opening, Reachable, Unreachable };

    explicit ArchiveStatusLine(QWidget* parent = nullptr);

    void show(const QString& where, Reach reach, qint64 waitingRecords);
    static QString textOf(const QString& where, Reach reach, qint64 waitingRecords);
};
