#pragma once

#include <QByteArray>
#include <QtGlobal>

// The instrument's record answers carry no record number, so the answer to a request that had
// to be repeated may still come after the repeat's own answer, and would then pass for the
// answer to whatever is asked next. Two rules keep such a late copy from becoming the next
// record:
// - after a repeated request has been answered, the next record is asked for only at a tick
//   that finds the line quiet since the tick before (a late copy usually lands in that wait,
//   where nothing is asked and so nothing is taken);
// - for a few ticks after that, a valid answer equal byte for byte to the one taken, while
//   copies of it are still outstanding, is recognised as such a copy and set aside.
// Without repeats it never holds anything back: one record per tick.
class LateAnswerGuard {
public:
    // How long after a repeated request's answer a copy of it is still looked out for.
    static constexpr int kLookoutTicks = 8;
    // A line that never falls quiet (noise, another device talking) must not stop the
    // download: after this many ticks the next record is asked for all the same, with the
    // lookout still in place.
    static constexpr int kMostHeldTicks = 10;

    // Bytes arrived from the line.
    void lineActive() { m_quiet = false; }
    // At the start of every download tick.
    void beginTick();
    // Whether asking for the next record has to wait for a quiet tick.
    bool holdsNextRecord() const { return m_holdNext; }
    // A record request went out: the next record's first, or the same record's once more.
    void requestSent(bool nextRecord);
    // A record answer of length bytes passed its CRC check. True when it is a late copy of the
    // answer taken before; it then counts as one of the copies still outstanding.
    bool isLateCopy(const quint8* frame, int length);
    // The answer was taken as the record asked for.
    void answerTaken(const quint8* frame, int length);
    // Ends the lookout for copies (when requests follow the answers, the link ends it after a
    // time rather than after a number of ticks).
    void endLookout() {
        m_lookoutCopies = 0;
        m_lookout.clear();
    }
    bool isLookingOut() const { return m_lookoutCopies > 0; }
    // The line was closed: no copy of anything asked before can arrive any more.
    void reset() { *this = LateAnswerGuard(); }

private:
    bool m_quiet = true;
    bool m_holdNext = false;
    int m_heldTicks = 0;
    int m_copiesSent = 0;  // requests sent for the current record
    int m_answersSeen = 0; // valid answers that came while it was current, taken or set aside
    QByteArray m_lookout;  // the answer whose late copies are looked out for
    int m_lookoutCopies = 0;
    int m_lookoutTicks = 0;
};
