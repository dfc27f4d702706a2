#include "protocol/silencewatch.h"

void SilenceWatch::downloadStarted() {
    m_waiting = false;
    m_downloadReported = false;
}

void SilenceWatch::recordRequested(qint64 nowMs, quint32 record, quint32 total) {
    if (!m_waiting) {
        m_waiting = true;
        m_waitingSinceMs = nowMs;
        return;
    }
    if (!m_downloadReported && nowMs - m_waitingSinceMs >= kDownloadSilenceMs) {
        m_downloadReported = true;
        m_silence = {LinkSilence::Kind::Download, record, total};
    }
}

void SilenceWatch::parameterReadStarted() {
    m_parameterReadRunning = true;
    m_parameterAnswered = false;
}

void SilenceWatch::parameterReadEnded() {
    if (!m_parameterReadRunning) {
        return;
    }
    m_parameterReadRunning = false;
    if (!m_parameterAnswered) {
        m_silence = {LinkSilence::Kind::ParameterRead};
    }
}

void SilenceWatch::answered(bool recordAnswer) {
    if (recordAnswer) {
        m_waiting = false;
        m_downloadReported = false;
    } else {
        m_parameterAnswered = true;
    }
    m_silence = {};
}
