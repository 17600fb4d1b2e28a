#pragma once
// The relay itself: one thread, one event loop. It waits (ppoll) on its
// sockets until the next datagram is due, takes what arrived, decides when
// each leaves (impairmentschedule.h) and sends what is due, in due order.
//
//   sender --RTP--> listen P   [relay]  S   --RTP-->  receiver (--to)
//   sender --RTCP-> listen P+1 [relay]  S+1 --RTCP--> receiver port + 1
//   sender <-RTCP-- listen P+1 [relay]  S+1 <-RTCP--  receiver's reports
//
// S and S+1 are a free pair on the address that reaches the receiver, so
// the receiver takes the relay for its sender and sends its reports to S+1.
#include <array>
#include <chrono>
#include <memory>
#include <cstdint>
#include <optional>
#include <string>

#include "datagramlog.h"
#include "datagrampool.h"
#include "duequeue.h"
#include "impairmentschedule.h"
#include "udpsocket.h"

class StopSignal;

struct RelayConfig {
    std::string listenAddress;  // numeric, IPv4 or IPv6
    uint16_t listenPort = 0;
    std::string toAddress;  // numeric, of either family (the relay sends from an address of its own)
    uint16_t toPort = 0;
    bool rtcp = false;  // relay RTCP between listen P+1 and the receiver's port + 1
    Impairments impairments;
    std::string logPath;  // empty: no log
};

// What went each way: datagrams sent (copies included), dropped (by the
// loss impairment, for want of a destination or of room, or still delayed
// at the end) and duplicated.
struct RelayCounts {
    struct Way {
        uint64_t forwarded = 0;
        uint64_t dropped = 0;
        uint64_t duplicated = 0;
    };
    Way forwardRtp, forwardRtcp, reverseRtp, reverseRtcp;
};

class Relay {
public:
    // Binds the sockets and opens the log. Throws std::runtime_error.
    explicit Relay(const RelayConfig& config);

    // "listening on ..., sending to ... from ...".
    std::string Describe() const;
    // Relays until a stop signal or `end`; then sends what is due by then.
    RelayCounts Run(const StopSignal& stopSignal, std::chrono::steady_clock::time_point end);

private:
    enum Role { ListenRtp, ListenRtcp, RelayRtp, RelayRtcp, kRoles };

    struct Pending {
        uint32_t slot;
        Role out;
        ZQCInetAddress to;
        DatagramEvent event;  // data and forwarding time filled in when sent
    };

    void ReceiveAll(Role role, int64_t nowUs);
    bool ReceiveOverflow(Role role, int64_t nowUs);
    static DatagramEvent ArrivalEvent(Role role, const uint8_t* data, size_t length, const ZQCInetAddress& from,
                                      int64_t nowUs);
    void OnArrival(Role role, uint32_t slot, const ZQCInetAddress& from, int64_t nowUs);
    void OnForwardRtp(uint32_t slot, DatagramEvent& event);
    // Queues the datagram to leave through `out` at `dueUs`; drops it
    // when there is no room.
    void Schedule(int64_t dueUs, const Pending& pending);
    void Drop(uint32_t slot, DatagramEvent& event);
    void LogDropped(DatagramEvent& event);
    void SendDue(int64_t nowUs);
    void DiscardPending();
    std::optional<ZQCInetAddress> ReverseDestination(Role role) const;
    RelayCounts::Way& Counts(const DatagramEvent& event);

    RelayConfig m_config;
    std::array<UdpSocket, kRoles> m_sockets;
    std::string m_relayAddress;
    uint16_t m_relayPort = 0;
    ZQCInetAddress m_toRtp{};
    ZQCInetAddress m_toRtcp{};
    // Where the sender's RTP and RTCP last came from: reverse traffic goes
    // back there.
    std::optional<ZQCInetAddress> m_senderRtp;
    std::optional<ZQCInetAddress> m_senderRtcp;
    ImpairmentSchedule m_schedule;
    DatagramPool m_pool;
    std::unique_ptr<uint8_t[]> m_overflow;  // where arrivals go when the pool is full
    DueQueue<Pending> m_queue;
    DatagramLog m_log;
    RelayCounts m_counts;
    bool m_toldFull = false;
};
