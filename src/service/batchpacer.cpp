#include "service/batchpacer.h"

namespace zqm {

BatchPacer::Wait BatchPacer::Next() const { return m_batching ? Wait::SleepThenLook : Wait::Block; }

void BatchPacer::Record(uint64_t nowNs, int served)
{
    if (served == 0) {
        // A look at the sockets found nothing (a wake for the thread's own
        // events counts the same): the streams went quiet.
        m_batching = false;
        return;
    }
    if (!m_batching && m_servedBefore && nowNs - m_lastServedNs < kBatchPeriodNs) {
        m_batching = true;
        m_wakeAt = nowNs;
    }
    if (m_batching) {
        // Instants a period apart; a thread that fell behind starts anew
        // from now instead of catching up with looks in a row.
        m_wakeAt += kBatchPeriodNs;
        if (m_wakeAt <= nowNs) {
            m_wakeAt = nowNs + kBatchPeriodNs;
        }
    }
    m_servedBefore = true;
    m_lastServedNs = nowNs;
}

}  // namespace zqm
