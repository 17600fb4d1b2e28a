#pragma once
// What the sends to one destination have been answering, turned into the
// moments worth a log line: a stream to a peer that is not listening yet
// (ICMP port unreachable on every packet) logs when the peer goes and when
// it comes back, not once a packet; a failing socket logs when the failure
// starts or its reason changes.
#include <cstdint>

class ZQMSendReachability {
public:
    enum class Change { None, BecameUnreachable, BecameReachable };

    // A send that an ICMP error answered: the datagram is counted as sent.
    Change NoteUnreachable()
    {
        ++m_unreachableInRow;
        m_failureError = 0;
        if (!m_reachable) {
            return Change::None;
        }
        m_reachable = false;
        return Change::BecameUnreachable;
    }

    // A send that went without complaint. After unreachable ones, the
    // peer took the datagram that drew no error.
    Change NoteDelivered()
    {
        m_failureError = 0;
        if (m_reachable) {
            return Change::None;
        }
        m_reachable = true;
        return Change::BecameReachable;
    }

    // A send that failed for another reason (errno `error`): true for the
    // first of a run of failures, or when the reason changes.
    bool NoteFailure(int error)
    {
        const bool news = error != m_failureError;
        m_failureError = error;
        return news;
    }

    // Unreachable sends since the peer was last reachable (for the log line
    // of its return).
    uint32_t UnreachableInRow() const { return m_unreachableInRow; }

    // A new run starts with a peer presumed reachable; the line of its return
    // has been logged.
    void Reset()
    {
        m_reachable = true;
        m_failureError = 0;
        m_unreachableInRow = 0;
    }
    void ForgetUnreachableRun() { m_unreachableInRow = 0; }

private:
    bool m_reachable = true;
    int m_failureError = 0;
    uint32_t m_unreachableInRow = 0;
};
