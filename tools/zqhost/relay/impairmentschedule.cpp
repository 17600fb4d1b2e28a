#include "impairmentschedule.h"

#include <algorithm>

ImpairmentSchedule::ImpairmentSchedule(const Impairments& impairments)
    : m_impairments(impairments), m_generator(impairments.seed)
{
}

double ImpairmentSchedule::Draw()
{
    // 53 bits by hand rather than a standard distribution, whose results
    // differ between library versions: a seed means the same run anywhere.
    return static_cast<double>(m_generator() >> 11) * (1.0 / 9007199254740992.0);
}

ForwardDecision ImpairmentSchedule::ForwardRtp(int64_t arrivedUs)
{
    // Four draws for every datagram whatever the options, so that changing
    // one impairment leaves the draws of the others where they were.
    const bool lost = Draw() * 100.0 < m_impairments.lossPercent;
    const auto jitterUs = static_cast<int64_t>(Draw() * static_cast<double>(m_impairments.jitterUs + 1));
    const bool mayOvertake = Draw() * 100.0 < m_impairments.reorderPercent;
    const bool duplicate = Draw() * 100.0 < m_impairments.duplicatePercent;

    ForwardDecision decision;
    if (lost) {
        decision.dropped = true;
        return decision;
    }
    decision.dueUs = arrivedUs + m_impairments.delayUs + jitterUs;
    if (!mayOvertake) {
        decision.dueUs = std::max(decision.dueUs, m_lastOrderedDueUs);
        m_lastOrderedDueUs = decision.dueUs;
    }
    decision.duplicate = duplicate;
    return decision;
}
