#include "driver.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace bench {
namespace {

using Samples = std::map<std::string, std::vector<double>>;

// Runs `command`, adding its "key value" lines to `samples`.
bool Collect(const std::string& command, Samples& samples)
{
    std::fprintf(stderr, "bench: %s\n", command.c_str());
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return false;
    }
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        char key[256];
        double value = 0;
        if (std::sscanf(line, "%255s %lf", key, &value) == 2) {
            samples[key].push_back(value);
        }
    }
    return pclose(pipe) == 0;
}

struct Stats {
    double median = 0, min = 0, max = 0;
    bool any = false;
};

Stats Of(std::vector<double> values)
{
    Stats s;
    if (values.empty()) {
        return s;
    }
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.min = values.front();
    s.max = values.back();
    s.any = true;
    return s;
}

enum class Kind {
    RatioAtLeast,  // ours / baseline >= limit
    RatioAtMost,   // ours / baseline <= limit
    DiffAtMost,    // ours - baseline <= limit
    AtMost,        // ours <= limit (median)
    AlwaysZero,    // ours == 0 in every run
};

struct Row {
    std::string figure;
    std::string ours;
    std::string baseline;  // empty: none
    Kind kind;
    double limit;
    std::string target;
    double scale = 1;  // display factor for ours/baseline
};

std::string Number(double v)
{
    char text[64];
    const double a = v < 0 ? -v : v;
    std::snprintf(text, sizeof text, a >= 1000 ? "%.0f" : a >= 10 ? "%.1f" : a >= 1 ? "%.2f" : "%.3g", v);
    return text;
}

std::string Range(const Stats& s, double scale)
{
    if (!s.any) {
        return "n/a";
    }
    if (s.min == s.max) {
        return Number(s.median * scale);
    }
    return Number(s.median * scale) + " [" + Number(s.min * scale) + ".." + Number(s.max * scale) + "]";
}

// Per-run ratios or differences, runs paired by index.
std::vector<double> Paired(const std::vector<double>& a, const std::vector<double>& b, bool ratio)
{
    std::vector<double> out;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (ratio) {
            if (b[i] != 0) {
                out.push_back(a[i] / b[i]);
            }
        } else {
            out.push_back(a[i] - b[i]);
        }
    }
    return out;
}

std::string Machine()
{
    utsname u{};
    uname(&u);
    std::string model = "unknown CPU";
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    }
    double load[3] = {};
    char loadText[64] = "";
    if (getloadavg(load, 3) == 3) {
        std::snprintf(loadText, sizeof loadText, ", load average %.2f at the end", load[0]);
    }
    return model + ", " + std::to_string(std::thread::hardware_concurrency()) + " cores, Linux " + u.release + loadText;
}

// Instructions per packet of the check and sequencing, from one callgrind run.
bool Callgrind(const std::string& self, Samples& samples)
{
    if (std::system("command -v valgrind >/dev/null 2>&1") != 0) {
        return false;
    }
    const int packets = 2000;
    const std::string out = "/tmp/zqbench-callgrind." + std::to_string(getpid());
    const std::string command = "valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file=" + out + " " +
                                self + " checkloop " + std::to_string(packets) + " 2>/dev/null";
    Samples ignored;
    Collect(command, ignored);
    std::ifstream file(out);
    bool found = false;
    for (std::string line; std::getline(file, line);) {
        if (line.rfind("totals:", 0) == 0 || line.rfind("summary:", 0) == 0) {
            samples["check.ours.instructions"].push_back(std::stod(line.substr(line.find(':') + 1)) / packets);
            found = true;
            break;
        }
    }
    std::remove(out.c_str());
    return found;
}

std::vector<Row> Rows()
{
    return {
        {"1 send rate, pkt/s (vs bare sendto)", "send.ours.rate", "send.bare.rate", Kind::RatioAtLeast, 0.90, ">= 0.90 x"},
        {"1 send rate, pkt/s (vs oRTP)", "send.ours.rate", "send.ortp.rate", Kind::RatioAtLeast, 1.25, ">= 1.25 x"},
        {"1 send CPU per packet, ns", "send.ours.cpu_ns", "send.bare.cpu_ns", Kind::AtMost, 1e12, "(info)"},
        {"1 (oRTP) send CPU per packet, ns", "send.ortp.cpu_ns", "send.bare.cpu_ns", Kind::AtMost, 1e12, "(info)"},
        {"1 (bare, connected) send CPU per packet, ns", "send.bare_connected.cpu_ns", "send.bare.cpu_ns", Kind::AtMost, 1e12, "(info)"},
        {"2 receive CPU per datagram, ns (window 0)", "receive.w0.ours.cpu_ns", "receive.w0.bare.cpu_ns", Kind::RatioAtMost, 1.5, "<= 1.5 x"},
        {"2 receive loss (window 0)", "receive.w0.ours.lost", "receive.w0.bare.lost", Kind::AlwaysZero, 0, "0"},
        {"2 receive out of order (window 0)", "receive.w0.ours.disorder", "receive.w0.bare.disorder", Kind::AlwaysZero, 0, "0"},
        {"2 receive CPU per datagram, ns (window 16)", "receive.w16.ours.cpu_ns", "receive.w16.bare.cpu_ns", Kind::RatioAtMost, 1.5, "<= 1.5 x"},
        {"2 receive loss (window 16)", "receive.w16.ours.lost", "receive.w16.bare.lost", Kind::AlwaysZero, 0, "0"},
        {"2 receive out of order (window 16)", "receive.w16.ours.disorder", "receive.w16.bare.disorder", Kind::AlwaysZero, 0, "0"},
        {"3 latency p50, us (vs bare poll)", "latency.ours.p50_us", "latency.bare.p50_us", Kind::DiffAtMost, 50, "<= bare + 50"},
        {"3 latency p99, us (vs bare poll)", "latency.ours.p99_us", "latency.bare.p99_us", Kind::DiffAtMost, 300, "<= bare + 300"},
        {"4 idle CPU, % of a core (100 in + 100 out)", "idle.ours.share", "idle.bare.share", Kind::AtMost, 0.03, "<= 3 %", 100},
        {"5 scale CPU, % of a core (200 pairs)", "scale.ours.share", "scale.bare.share", Kind::AtMost, 0.20, "<= 20 %", 100},
        {"5 scale p99 latency, us", "scale.ours.p99_us", "scale.bare.p99_us", Kind::AtMost, 2000, "<= 2000"},
        {"5 scale loss", "scale.ours.lost", "scale.bare.lost", Kind::AlwaysZero, 0, "0"},
        {"6 allocations per packet, send path", "allocs.send", "", Kind::AlwaysZero, 0, "0"},
        {"6 allocations per packet, receive (window 0)", "allocs.recv_w0", "", Kind::AlwaysZero, 0, "0"},
        {"6 allocations per packet, receive (window 16)", "allocs.recv_w16", "", Kind::AlwaysZero, 0, "0"},
        {"6 allocations per report, RTCP in (SR+SDES)", "allocs.rtcp_in", "", Kind::AlwaysZero, 0, "0"},
        {"6 allocations per report, RTCP out (SR)", "allocs.rtcp_sr", "", Kind::AlwaysZero, 0, "0"},
        {"6 allocations per packet, send with SRTP", "allocs.send_srtp", "", Kind::AlwaysZero, 0, "0"},
        {"6 allocations per packet, receive with SRTP", "allocs.recv_srtp", "", Kind::AlwaysZero, 0, "0"},
        {"6 allocations per report, RTCP out with SRTP", "allocs.rtcp_sr_srtp", "", Kind::AlwaysZero, 0, "0"},
        {"6 heap calls per packet, send with SRTP", "heap.send_srtp", "heap.send", Kind::AlwaysZero, 0, "0"},
        {"6 heap calls per packet, receive with SRTP", "heap.recv_srtp", "heap.recv_queued", Kind::AlwaysZero, 0, "0"},
        {"6 check + sequencing, instructions/packet", "check.ours.instructions", "", Kind::AtMost, 2000, "< 2000"},
        {"7 resident memory per RTP in, KB", "memory.in.kb", "memory.bare.kb", Kind::AtMost, 700, "<= 700"},
        {"7 resident memory per RTP out, KB", "memory.out.kb", "memory.bare.kb", Kind::AtMost, 100, "<= 100"},
        {"8 SRTP send CPU per packet, ns (vs clear)", "srtp.send.ours_srtp.cpu_ns", "srtp.send.ours_clear.cpu_ns", Kind::AtMost, 1e12, "(info)"},
        {"8 SRTP send CPU added, ns (vs libsrtp loop)", "srtp.send.ours_added_ns", "srtp.send.libsrtp.cpu_ns", Kind::AtMost, 1e12, "(info)"},
        {"8 (bare sendto) SRTP added, ns (vs loop)", "srtp.send.bare_added_ns", "srtp.send.libsrtp.cpu_ns", Kind::AtMost, 1e12, "(info)"},
        {"8 SRTP send CPU added, ns (vs bare sendto)", "srtp.send.ours_added_ns", "srtp.send.bare_added_ns", Kind::RatioAtMost, 1.10, "<= 1.10 x"},
        {"8 SRTP send, packets not sent", "srtp.send.unsent", "", Kind::AlwaysZero, 0, "0"},
        {"8 SRTP receive CPU per datagram, ns (vs clear)", "srtp.receive.ours_srtp.cpu_ns", "srtp.receive.ours_clear.cpu_ns", Kind::AtMost, 1e12, "(info)"},
        {"8 SRTP receive CPU added, ns (vs libsrtp loop)", "srtp.receive.ours_added_ns", "srtp.receive.libsrtp.cpu_ns", Kind::AtMost, 1e12, "(info)"},
        {"8 (bare recv) SRTP added, ns (vs loop)", "srtp.receive.bare_added_ns", "srtp.receive.libsrtp.cpu_ns", Kind::AtMost, 1e12, "(info)"},
        {"8 SRTP receive CPU added, ns (vs bare recv)", "srtp.receive.ours_added_ns", "srtp.receive.bare_added_ns", Kind::RatioAtMost, 1.10, "<= 1.10 x"},
        {"8 SRTP receive lost or out of order", "srtp.receive.faults", "", Kind::AlwaysZero, 0, "0"},
        {"9 shared CPU, % of a core (200 pairs)", "shared.scale200.ours.share", "shared.scale200.bare.share", Kind::RatioAtMost, 0.6, "<= 0.6 x bare", 100},
        {"9 shared p99 latency, us (200 pairs)", "shared.scale200.ours.p99_us", "shared.scale200.bare.p99_us", Kind::AtMost, 2000, "<= 2000"},
        {"9 shared loss (200 pairs)", "shared.scale200.ours.lost", "shared.scale200.bare.lost", Kind::AlwaysZero, 0, "0"},
        {"9 shared CPU, % of a core (1000 pairs)", "shared.scale1000.ours.share", "shared.scale1000.bare.share", Kind::RatioAtMost, 0.6, "<= 0.6 x bare", 100},
        {"9 shared p99 latency, us (1000 pairs)", "shared.scale1000.ours.p99_us", "shared.scale1000.bare.p99_us", Kind::AtMost, 5000, "<= 5000"},
        {"9 shared loss (1000 pairs)", "shared.scale1000.ours.lost", "shared.scale1000.bare.lost", Kind::AlwaysZero, 0, "0"},
        {"9 shared idle CPU, % (1000 in + 1000 out)", "shared.idle.ours.share", "shared.idle.bare.share", Kind::AtMost, 0.01, "<= 1 %", 100},
        {"9 shared memory per RTP in, KB (vs own)", "shared.memory.shared.in_kb", "shared.memory.own.in_kb", Kind::AtMost, 40, "<= 40"},
        {"9 shared memory per RTP in after traffic, KB", "shared.memory.shared.in_traffic_kb", "shared.memory.own.in_traffic_kb", Kind::AtMost, 40, "<= 40"},
        {"10 io: epoll + recvfrom, ns/datagram", "io.epoll_recvfrom.cpu_ns", "", Kind::AtMost, 1e12, "(info)"},
        {"10 io: epoll + recvmmsg, ns/datagram", "io.epoll_recvmmsg.cpu_ns", "io.epoll_recvfrom.cpu_ns", Kind::AtMost, 1e12, "(info)"},
        {"10 io: io_uring multishot, ns/datagram", "io.uring_multishot.cpu_ns", "io.epoll_recvfrom.cpu_ns", Kind::AtMost, 1e12, "(info)"},
        {"10 io: 1 ms tick + recvmmsg, ns/datagram", "io.ticked_recvmmsg.cpu_ns", "io.epoll_recvfrom.cpu_ns", Kind::AtMost, 1e12, "(info)"},
        {"10 io with sender: epoll + recvfrom, ns", "io.epoll_recvfrom.whole_ns", "", Kind::AtMost, 1e12, "(info)"},
        {"10 io with sender: epoll + recvmmsg, ns", "io.epoll_recvmmsg.whole_ns", "io.epoll_recvfrom.whole_ns", Kind::AtMost, 1e12, "(info)"},
        {"10 io with sender: io_uring multishot, ns", "io.uring_multishot.whole_ns", "io.epoll_recvfrom.whole_ns", Kind::AtMost, 1e12, "(info)"},
        {"10 io with sender: 1 ms tick + recvmmsg, ns", "io.ticked_recvmmsg.whole_ns", "io.epoll_recvfrom.whole_ns", Kind::AtMost, 1e12, "(info)"},
        {"10 io p99 latency: epoll + recvfrom, us", "io.epoll_recvfrom.p99_us", "", Kind::AtMost, 1e12, "(info)"},
        {"10 io p99 latency: epoll + recvmmsg, us", "io.epoll_recvmmsg.p99_us", "io.epoll_recvfrom.p99_us", Kind::AtMost, 1e12, "(info)"},
        {"10 io p99 latency: io_uring multishot, us", "io.uring_multishot.p99_us", "io.epoll_recvfrom.p99_us", Kind::AtMost, 1e12, "(info)"},
        {"10 io p99 latency: 1 ms tick + recvmmsg, us", "io.ticked_recvmmsg.p99_us", "io.epoll_recvfrom.p99_us", Kind::AtMost, 1e12, "(info)"},
        {"10 io loss (every way)", "io.lost", "", Kind::AlwaysZero, 0, "0"},
    };
}

// Why a figure has no value: its program reported it could not be built,
// or could not run here ("io.x.not_built" for "io.x.cpu_ns").
std::string MissingReason(const Samples& samples, const std::string& key)
{
    const std::string stem = key.substr(0, key.rfind('.') + 1);
    if (samples.count(stem + "not_built") != 0) {
        return "not built";
    }
    if (samples.count(stem + "unavailable") != 0) {
        return "unavailable";
    }
    return "";
}

void PrintTable(const Samples& samples, int runs, bool leaveOutEmpty)
{
    std::printf("\nzqmrtpstack benchmarks: %s; median [min..max] of %d runs, loopback, 172-byte datagrams\n\n",
                Machine().c_str(), runs);
    std::printf("| %-46s | %-28s | %-28s | %-22s | %-14s | %-5s |\n", "figure", "ours", "baseline", "ratio",
                "target", "");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", std::string(48, '-').c_str(), std::string(30, '-').c_str(),
                std::string(30, '-').c_str(), std::string(24, '-').c_str(), std::string(16, '-').c_str(),
                std::string(7, '-').c_str());
    const std::vector<double> none;
    for (const Row& row : Rows()) {
        const auto oursIt = samples.find(row.ours);
        const auto baseIt = row.baseline.empty() ? samples.end() : samples.find(row.baseline);
        const std::string missing = oursIt == samples.end() ? MissingReason(samples, row.ours) : "";
        if (leaveOutEmpty && oursIt == samples.end() && missing.empty()) {
            continue;
        }
        const std::vector<double>& ours = oursIt != samples.end() ? oursIt->second : none;
        const std::vector<double>& base = baseIt != samples.end() ? baseIt->second : none;
        const Stats o = Of(ours);
        const Stats b = Of(base);
        std::string ratio = "";
        bool pass = o.any;
        switch (row.kind) {
        case Kind::RatioAtLeast:
        case Kind::RatioAtMost: {
            const Stats r = Of(Paired(ours, base, true));
            ratio = r.any ? Range(r, 1) + " x" : "n/a";
            pass = r.any && (row.kind == Kind::RatioAtLeast ? r.median >= row.limit : r.median <= row.limit);
            break;
        }
        case Kind::DiffAtMost: {
            const Stats d = Of(Paired(ours, base, false));
            ratio = d.any ? "diff " + Range(d, 1) : "n/a";
            pass = d.any && d.median <= row.limit;
            break;
        }
        case Kind::AtMost:
            if (b.any && b.median != 0) {
                ratio = Range(Of(Paired(ours, base, true)), 1) + " x";
            }
            pass = o.any && o.median <= row.limit;
            break;
        case Kind::AlwaysZero:
            pass = o.any && o.max == 0;
            break;
        }
        std::printf("| %-46s | %-28s | %-28s | %-22s | %-14s | %-5s |\n", row.figure.c_str(),
                    missing.empty() ? Range(o, row.scale).c_str() : missing.c_str(),
                    row.baseline.empty() ? "-" : Range(b, row.scale).c_str(),
                    ratio.c_str(), row.target.c_str(), row.target == "(info)" ? "" : pass ? "pass" : "SHORT");
    }
}

// The receive-mechanism comparison, a program of its own beside this one
// (zqbench_io); each run starts with another of its three ways.
bool CollectIo(const std::string& self, int run, Samples& samples)
{
    const std::string program = self + "_io";
    if (access(program.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "bench: %s not built, receive-mechanism rows skipped\n", program.c_str());
        return true;
    }
    return Collect(program + " --sockets 1000 --rate 50 --seconds 3 --first " + std::to_string(run - 1), samples);
}

bool Selected(const std::string& only, const std::string& name)
{
    return only.empty() || ("," + only + ",").find("," + name + ",") != std::string::npos;
}

}  // namespace

int RunDriver(const DriverOptions& options)
{
    Samples samples;
    const std::string self = options.self;
    const std::string scale = std::to_string(options.scaleSeconds);
    bool ok = true;
    for (int run = 1; run <= options.runs; ++run) {
        std::fprintf(stderr, "bench: run %d of %d\n", run, options.runs);
        for (const std::string& args : {std::string("send 100000"), std::string("receive 50000 0"),
                                       std::string("receive 50000 16"), std::string("latency 250 50"),
                                       std::string("idle 100 3"), "scale 200 50 " + scale, std::string("memory 100"),
                                       std::string("srtp-send 10000"), std::string("srtp-receive 5000"),
                                       std::string("allocs 2000"), "scale-shared 200 50 " + scale,
                                       "scale-shared 1000 50 " + scale, std::string("idle-shared 1000 3"),
                                       std::string("memory-shared 1000 shared"), std::string("memory-shared 1000 own")}) {
            if (Selected(options.only, args.substr(0, args.find(' ')))) {
                ok = Collect(self + " " + args, samples) && ok;
            }
        }
        if (Selected(options.only, "io")) {
            ok = CollectIo(self, run, samples) && ok;
        }
    }
    if (Selected(options.only, "check") && !Callgrind(self, samples)) {
        std::fprintf(stderr, "bench: callgrind not available, instruction count skipped\n");
    }
    PrintTable(samples, options.runs, !options.only.empty());
    return ok ? 0 : 1;
}

}  // namespace bench
