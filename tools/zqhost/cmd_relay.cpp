// zqhost relay: a user-space impairment relay between an RTP sender and a
// receiver, with a log of every datagram for scripts that check what the
// receiver reports against what really went over the wire.
#include <chrono>
#include <cstdio>

#include "command.h"
#include "relay/relayoptions.h"
#include "stopsignal.h"

namespace {

using Clock = std::chrono::steady_clock;

void PrintWay(const char* name, const RelayCounts::Way& way)
{
    std::printf("  %-13s forwarded %llu, dropped %llu, duplicated %llu\n", name,
                static_cast<unsigned long long>(way.forwarded), static_cast<unsigned long long>(way.dropped),
                static_cast<unsigned long long>(way.duplicated));
}

int RunRelay(Arguments& arguments)
{
    const RelayRequest request = TakeRelayRequest(arguments);
    const StopSignal stopSignal;
    Relay relay(request.config);
    // Scripts wait for this line: from here on, datagrams are relayed.
    std::printf("%s\n", relay.Describe().c_str());
    std::fflush(stdout);
    const Clock::time_point end =
        request.seconds
            ? Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*request.seconds))
            : Clock::time_point::max();
    const RelayCounts counts = relay.Run(stopSignal, end);
    std::printf("relayed (ended: %s)\n", stopSignal.Raised() ? "signal" : "seconds");
    PrintWay("forward RTP", counts.forwardRtp);
    PrintWay("forward RTCP", counts.forwardRtcp);
    PrintWay("reverse RTP", counts.reverseRtp);
    PrintWay("reverse RTCP", counts.reverseRtcp);
    std::fflush(stdout);
    return 0;
}

}  // namespace

extern const Command kRelayCommand = {
    "relay",
    "relay RTP (and RTCP) between two peers, losing, delaying, reordering",
    "usage: zqhost relay --listen HOST:PORT --to HOST:PORT [--rtcp] [--loss PCT]\n"
    "                    [--delay MS] [--jitter MS] [--reorder PCT] [--duplicate PCT]\n"
    "                    [--seed N] [--log FILE.jsonl] [--seconds N]\n\n"
    "Forwards the RTP that arrives on --listen to --to, from a free port pair\n"
    "S, S+1 of its own on the address that reaches --to: the receiver takes\n"
    "the relay for its sender. What the receiver sends back to S (RTP) or\n"
    "S+1 (its reports) goes back to the sender, to where the sender's RTP or\n"
    "RTCP last came from (RTCP: to the sender's RTP port + 1 before any).\n\n"
    "  --listen HOST:PORT    where the sender's RTP arrives\n"
    "  --to HOST:PORT        the receiver; RTCP goes to PORT+1\n"
    "  --rtcp                relay RTCP too: the sender's from listen PORT+1 to\n"
    "                        the receiver's PORT+1, and the receiver's back\n"
    "                        (without it, the receiver's reports are only logged)\n"
    "  --loss PCT            drop PCT % of the forward RTP datagrams\n"
    "  --delay MS            delay every datagram, both ways, by MS ms\n"
    "  --jitter MS           delay each forward RTP datagram by up to MS ms more,\n"
    "                        drawn uniformly; RTP order is kept\n"
    "  --reorder PCT         let PCT % of the forward RTP datagrams overtake:\n"
    "                        their own jitter delay alone decides\n"
    "  --duplicate PCT       send PCT % of the forward RTP datagrams twice, the\n"
    "                        copy right after the original\n"
    "  --seed N              seed of the draws (default fixed): runs with the same\n"
    "                        seed and the same arrivals decide the same\n"
    "  --log FILE.jsonl      one JSON line per datagram: direction (fwd, rev),\n"
    "                        kind (rtp, rtcp), arrival and forwarding times in\n"
    "                        monotonic microseconds (or dropped), the RTP header\n"
    "                        or each RTCP packet with its report blocks\n"
    "  --seconds N           stop after N seconds\n\n"
    "Ctrl-C (SIGINT), SIGTERM, SIGHUP or SIGPIPE stop it: what is due by then\n"
    "is sent, what is still delayed is dropped (and logged so). At the end, the counts each way\n"
    "go to standard output. A bad argument gives one line on standard error and\n"
    "exit code 2; a port that cannot be bound, 1.\n",
    &RunRelay,
};
