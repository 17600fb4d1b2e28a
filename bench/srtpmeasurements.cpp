// Target 8: what SRTP adds to the stack's packet paths, against what libsrtp
// itself costs for the same packets. Five runs take turns in rounds of a
// rotating order, in one process, so that load on the machine falls on all
// alike: the stack in the clear and with SRTP, a bare program in the clear
// and with SRTP, and libsrtp's own loop.
#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "datagrambatch.h"
#include "measurements.h"
#include "srtpbare.h"
#include "srtpbench.h"
#include "stackruns.h"

namespace bench {
namespace {

// Sending runs are shorter than receiving ones, and noisier: more rounds.
constexpr int kSendRounds = 9;
constexpr int kReceiveRounds = 7;

enum Run : size_t { kOursClear, kOursSrtp, kBareClear, kBareSrtp, kLibsrtp, kRuns };

using PerRound = std::vector<std::vector<double>>;  // [run][round]

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The five runs of a measurement, in Run order; each answers CPU ns per packet.
using Runs = std::array<std::function<double()>, kRuns>;

PerRound TakeTurns(int rounds, const Runs& runs)
{
    PerRound values(kRuns);
    for (size_t round = 0; round < static_cast<size_t>(rounds); ++round) {
        for (size_t turn = 0; turn < kRuns; ++turn) {
            const size_t which = (round + turn) % kRuns;
            values[which].push_back(runs[which]());
        }
    }
    return values;
}

// The CPU SRTP adds per packet: the median of the rounds' own differences,
// each round's run with SRTP against the same round's clear run.
double AddedNs(const std::vector<double>& srtp, const std::vector<double>& clear)
{
    std::vector<double> added;
    for (size_t i = 0; i < srtp.size(); ++i) {
        added.push_back(srtp[i] - clear[i]);
    }
    return Median(added);
}

void ReportRounds(const std::string& path, const PerRound& values)
{
    auto report = [&path](const char* key, double value) { Report((path + key).c_str(), value); };
    report(".ours_clear.cpu_ns", Median(values[kOursClear]));
    report(".ours_srtp.cpu_ns", Median(values[kOursSrtp]));
    report(".bare_clear.cpu_ns", Median(values[kBareClear]));
    report(".bare_srtp.cpu_ns", Median(values[kBareSrtp]));
    report(".libsrtp.cpu_ns", Median(values[kLibsrtp]));
    report(".ours_added_ns", AddedNs(values[kOursSrtp], values[kOursClear]));
    report(".bare_added_ns", AddedNs(values[kBareSrtp], values[kBareClear]));
}

}  // namespace

// Every sender sends to one bare reader, which drains in batches.
void MeasureSrtpSend(uint64_t count)
{
    int port = 0;
    bare_reader* reader = bare_reader_start(&port);
    uint64_t unsent = 0;
    auto ours = [&](Protection protection) {
        const bare_send_result result = OurSend(port, count, protection);
        unsent += count - result.sent;
        return result.cpuNsPerPacket;
    };
    const PerRound values = TakeTurns(kSendRounds, {
                                                       [&] { return ours(Protection::Clear); },
                                                       [&] { return ours(Protection::Srtp); },
                                                       [&] { return BareSrtpSendCpuNs(port, count, false); },
                                                       [&] { return BareSrtpSendCpuNs(port, count, true); },
                                                       [&] { return LibsrtpProtectNs(count); },
                                                   });
    bare_reader_stop(reader);
    ReportRounds("srtp.send", values);
    Report("srtp.send.unsent", static_cast<double>(unsent));
}

// Every receiver reads its datagrams queued in its socket, one recv after
// another, with SRTP or without: the same regime for all, and no wake-up in
// the figures. Each run gets datagrams of its own, protected by a session of
// its own, so that no receiver sees an index twice.
void MeasureSrtpReceive(uint64_t count)
{
    uint64_t lost = 0, disorder = 0;
    auto batch = [count](bool protect) {
        LibsrtpSession sender(LibsrtpSession::Side::Send);
        return MakeDatagramBatch(count, protect ? &sender : nullptr);
    };
    auto ours = [&](Protection protection) {
        const ReceiveRun run = OurReceiveQueued(batch(protection == Protection::Srtp), protection);
        lost += count - run.delivered;
        disorder += run.outOfOrder;
        return run.cpuNsPerDatagram;
    };
    auto bare = [&](bool protect) {
        const BareReceiveResult result = BareReceiveQueued(batch(protect), protect);
        lost += count - result.delivered;
        disorder += result.outOfOrder;
        return result.cpuNsPerDatagram;
    };
    const PerRound values = TakeTurns(kReceiveRounds, {
                                                          [&] { return ours(Protection::Clear); },
                                                          [&] { return ours(Protection::Srtp); },
                                                          [&] { return bare(false); },
                                                          [&] { return bare(true); },
                                                          [&] { return LibsrtpUnprotectNs(count); },
                                                      });
    ReportRounds("srtp.receive", values);
    Report("srtp.receive.lost", static_cast<double>(lost));
    Report("srtp.receive.disorder", static_cast<double>(disorder));
    Report("srtp.receive.faults", static_cast<double>(lost + disorder));
}

}  // namespace bench
