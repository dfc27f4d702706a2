#include "protocol/resumeprobe.h"

namespace {

bool sameRecord(const RecordValues& a, const RecordValues& b) {
    if (a.time != b.time || a.channels != b.channels) {
        return false;
    }
    for (int i = 0; i < a.channels; ++i) {
        if (a.readings[static_cast<size_t>(i)] != b.readings[static_cast<size_t>(i)]) {
            return false;
        }
    }
    return true;
}

} // namespace

void ResumeProbe::start(QList<KnownMemory> known, quint32 recordTotal) {
    m_known = std::move(known);
    m_total = recordTotal;
    m_match = -1;
    m_memoryKey.clear();
    m_resumeAfter = 0;
    m_asking = 1;
    m_outcome = m_known.isEmpty() || recordTotal == 0 ? Outcome::NewMemory : Outcome::Asking;
}

void ResumeProbe::answered(const RecordValues& record) {
    if (m_outcome != Outcome::Asking) {
        return;
    }
    if (m_asking == 1) {
        for (qsizetype i = 0; i < m_known.size(); ++i) {
            const KnownMemory& m = m_known[i];
            // A memory that shrank below its archived records is not this one any more.
            if (m.first && sameRecord(*m.first, record) && m.lastNumber <= m_total) {
                m_match = i;
                break;
            }
        }
        if (m_match < 0) {
            m_outcome = Outcome::NewMemory;
            return;
        }
        const KnownMemory& m = m_known[m_match];
        if (m.lastNumber > 1) {
            m_asking = m.lastNumber;
            return;
        }
    } else if (!sameRecord(m_known[m_match].last, record)) {
        m_outcome = Outcome::NewMemory;
        return;
    }
    m_outcome = Outcome::Resume;
    m_memoryKey = m_known[m_match].memoryKey;
    m_resumeAfter = m_known[m_match].lastNumber;
}
