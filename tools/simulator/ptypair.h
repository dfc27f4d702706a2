#pragma once

#include <QString>

// A pseudo-terminal pair: the program under test opens the slave side as its serial device,
// the instrument simulator (or a test) reads and writes the master side.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool isValid() const { return m_master >= 0; }
    int masterFd() const { return m_master; }
    const QString& slavePath() const { return m_slavePath; }

    // Links the slave device as folder/name (for example ttyUSB0), so that a port map pointed
    // at folder finds it. Returns false when the link could not be made.
    bool linkAs(const QString& folder, const QString& name) const;

    // Closes the master side: the slave side sees a hang-up, as when a USB adapter is pulled.
    void hangUp();

private:
    int m_master = -1;
    int m_slaveKeepAlive = -1; // keeps the slave open so that writes before the port opens are kept
    QString m_slavePath;
};
