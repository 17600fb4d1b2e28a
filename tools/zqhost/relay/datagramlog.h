#pragma once
// The relay's log: one JSON line for every datagram it forwarded, dropped or
// duplicated, with the RTP header or every RTCP packet of a compound
// decoded, so that a script can recompute what a receiver should report.
// Datagrams come from the network: the decoders read a field only once they
// have checked it is there, and a datagram that does not parse is logged
// with "malformed": true (and forwarded all the same).
//
// The decoders are the relay's own on purpose, not the plug-in's RTCP
// classes: the log is the reference the oracle tests hold the stacks
// against, so it must not share their parsing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "zqcresolve.h"

enum class RelayDirection { Forward, Reverse };
enum class RelayKind { Rtp, Rtcp };

struct DatagramEvent {
    RelayDirection direction = RelayDirection::Forward;
    RelayKind kind = RelayKind::Rtp;
    const uint8_t* data = nullptr;
    size_t length = 0;
    ZQCInetAddress from{};
    int64_t arrivedUs = 0;
    int64_t forwardedUs = 0;  // unused when dropped
    bool dropped = false;
    bool duplicate = false;
};

// The event's JSON line, without the line end.
std::string DatagramLogLine(const DatagramEvent& event);

class DatagramLog {
public:
    DatagramLog() = default;
    ~DatagramLog();
    DatagramLog(const DatagramLog&) = delete;
    DatagramLog& operator=(const DatagramLog&) = delete;

    // Empties the file and logs to it from now on. False when it cannot.
    bool Open(const std::string& path);
    // Written and flushed at once: a reader sees every event so far even if
    // the relay is killed. Nothing when no file is open.
    void Write(const DatagramEvent& event);

private:
    std::FILE* m_file = nullptr;
};
