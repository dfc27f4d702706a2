#include "protocol/answerpace.h"

qint64 AnswerPace::requestSent(qint64 nowUs, int requestBytes, bool firstForItem) {
    if (firstForItem || m_requests == 0) {
        m_requests = 0;
        m_answers = 0;
        m_firstSentUs = nowUs;
        // The tick pace would have sent it a tick after the last answer at the soonest.
        m_firstWasFast = m_lastAnswerUs >= 0 && nowUs - m_lastAnswerUs < kTickUs;
    }
    ++m_requests;
    m_lastSentUs = nowUs;
    m_requestUs = lineTiming::bytesUs(requestBytes);
    m_phase = Phase::Awaiting;
    return nowUs + m_requestUs + m_allowanceUs;
}

qint64 AnswerPace::answerTaken(qint64 nowUs, int answerBytes) {
    ++m_answers;
    m_lastAnswerUs = nowUs;
    m_answerBytes = answerBytes;
    m_heldBytes = 0;
    if (m_requests <= 1) {
        learn(nowUs - m_lastSentUs - m_requestUs);
        if (m_firstWasFast) {
            m_fastFailures = 0;
        }
        m_phase = Phase::Gap;
        m_releaseUs = nowUs + lineTiming::kFrameGapUs;
        return m_releaseUs;
    }
    // The answer taken may be the first request's: the copies for the later ones, if they come,
    // come about that long after their own requests.
    m_phase = Phase::Holding;
    const qint64 firstAnswerUs = nowUs - m_firstSentUs;
    m_releaseUs = qMax(nowUs, m_lastSentUs + firstAnswerUs) + m_allowanceUs;
    return m_releaseUs;
}

qint64 AnswerPace::bytesWhileHolding(qint64 nowUs, qsizetype count) {
    if (m_phase != Phase::Holding) {
        return m_releaseUs;
    }
    m_heldBytes += count;
    if (m_heldBytes >= qsizetype(m_requests - m_answers) * m_answerBytes) {
        // Every request has had its answer; the last one came for the last request.
        learn(nowUs - m_lastSentUs - m_requestUs);
        m_fastFailures = 0;
        m_lastAnswerUs = nowUs;
        m_phase = Phase::Gap;
        m_releaseUs = nowUs + lineTiming::kFrameGapUs;
    }
    return m_releaseUs;
}

bool AnswerPace::timedOut() {
    if (m_requests == 1 && m_firstWasFast) {
        ++m_fastFailures;
    }
    return m_fastFailures >= kFallbackFailures;
}

void AnswerPace::restart() {
    m_phase = Phase::Idle;
    m_requests = 0;
    m_fastFailures = 0;
    m_lastAnswerUs = -1;
}

void AnswerPace::learn(qint64 answerUs) {
    m_allowanceUs = qBound(kDefaultAllowanceUs, answerUs * 3 / 2, kMostAllowanceUs);
}
