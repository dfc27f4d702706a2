#include "protocol/lateanswerguard.h"

void LateAnswerGuard::beginTick() {
    if (m_holdNext && (m_quiet || ++m_heldTicks >= kMostHeldTicks)) {
        m_holdNext = false;
    }
    m_quiet = true;
    if (m_lookoutTicks > 0 && --m_lookoutTicks == 0) {
        m_lookoutCopies = 0;
        m_lookout.clear();
    }
}

void LateAnswerGuard::requestSent(bool nextRecord) {
    if (nextRecord) {
        m_copiesSent = 0;
        m_answersSeen = 0;
    }
    ++m_copiesSent;
}

bool LateAnswerGuard::isLateCopy(const quint8* frame, int length) {
    if (m_lookoutCopies == 0 ||
        m_lookout != QByteArray::fromRawData(reinterpret_cast<const char*>(frame), length)) {
        return false;
    }
    --m_lookoutCopies;
    // If it was in fact the current record's own answer (a record equal to the one before),
    // the repeat of the request brings it again, and no copy of it is then outstanding.
    ++m_answersSeen;
    return true;
}

void LateAnswerGuard::answerTaken(const quint8* frame, int length) {
    ++m_answersSeen;
    if (m_copiesSent > 1) {
        m_holdNext = true;
        m_heldTicks = 0;
    }
    const int outstanding = m_copiesSent - m_answersSeen;
    if (outstanding > 0) {
        m_lookout = QByteArray(reinterpret_cast<const char*>(frame), length);
        m_lookoutCopies = outstanding;
        m_lookoutTicks = kLookoutTicks;
    }
}
