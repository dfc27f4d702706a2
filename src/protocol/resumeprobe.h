#pragma once

#include "model/instrumentvalues.h"

#include <QList>
#include <QString>
#include <optional>

// A memory the records archive holds under the configuration just read: its record 1 and its
// highest record K.
struct KnownMemory {
    QString memoryKey;
    std::optional<RecordValues> first;
    quint32 lastNumber = 0;
    RecordValues last;
};

// Where a download starts when the archive may know the instrument's memory. The protocol
// carries no serial number, so the memory is recognised by content: record 1 is asked for and
// compared with each known memory's record 1 (newest first); on a match, that memory's record
// K is asked for again and compared too. Both equal: the download goes on from K + 1 (nothing
// more when K is the instrument's total). Anything else (cleared, wrapped, another instrument
// of the same configuration): the whole memory is fetched as a new one.
class ResumeProbe {
public:
    enum class Outcome { None, Asking, Resume, NewMemory };

    // Starts probing when there are known memories and the instrument holds records.
    void start(QList<KnownMemory> known, quint32 recordTotal);
    void cancel() { m_outcome = Outcome::None; }
    bool asking() const { return m_outcome == Outcome::Asking; }
    // The record to ask for while asking.
    quint32 recordToAsk() const { return m_asking; }
    // The answer to recordToAsk().
    void answered(const RecordValues& record);

    Outcome outcome() const { return m_outcome; }
    // With Resume: the memory and its last archived record K.
    const QString& memoryKey() const { return m_memoryKey; }
    quint32 resumeAfter() const { return m_resumeAfter; }

private:
    QList<KnownMemory> m_known;
    quint32 m_total = 0;
    quint32 m_asking = 0;
    qsizetype m_match = -1;
    Outcome m_outcome = Outcome::None;
    QString m_memoryKey;
    quint32 m_resumeAfter = 0;
};
