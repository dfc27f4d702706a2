#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM (a session that ends, `kill`) and SIGINT (Ctrl+C in a terminal) close the program's
// windows the way their close boxes do, so that records not yet written are still offered for
// writing, instead of ending the process where it stands. The signal handler only writes one
// byte to a socket pair; the windows are closed from the event loop.
class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

private:
    void closeWindows();

    QSocketNotifier* m_notifier = nullptr;
};
