// zqbench_io: how a receive service thread should read many quiet sockets.
// A pacing thread (the host's media clock, as in the scale figures: 1 ms
// ticks) sends `rate` datagrams/s to each of `sockets` UDP sockets, and one
// thread receives them all: epoll + one recvfrom a datagram (what the
// receive service does), epoll + recvmmsg, io_uring multishot recvmsg; and,
// to show what batching the wake-ups is worth, epoll + recvmmsg woken by a
// 1 ms tick instead of by the datagrams.
//   zqbench_io [--sockets N] [--rate R] [--seconds S] [--first K]
// Prints "key value" lines for the driver, per method: the receiving side's
// CPU per datagram (process CPU minus the pacing thread's, so that kernel
// threads working for the ring would count too), the whole process's,
// wake-ups per datagram, the one-way p50 and p99 latencies, and datagrams
// lost. The methods run one after the other on fresh sockets, starting with
// method K (the driver turns K with its runs).
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bare.h"
#include "ioreceivers.h"

namespace {

using bench::IoRun;

struct Method {
    const char* name;
    void (*receive)(IoRun&);
};

constexpr std::array<Method, 4> kMethods{{
    {"epoll_recvfrom", bench::ReceiveWithEpollRecvfrom},
    {"epoll_recvmmsg", bench::ReceiveWithEpollRecvmmsg},
    {"uring_multishot", bench::ReceiveWithUringMultishot},
    {"ticked_recvmmsg", bench::ReceiveWithTickedEpollRecvmmsg},
}};

struct Options {
    int sockets = 1000;
    int rate = 50;
    double seconds = 3;
    int first = 0;
};

struct Senders {
    int socket = -1;
    std::vector<sockaddr_in> targets;
    uint64_t sent = 0;
};

void SendOne(void* context, int stream, int k)
{
    auto& senders = *static_cast<Senders*>(context);
    uint8_t datagram[BARE_DATAGRAM_BYTES];
    bare_fill_datagram(datagram, static_cast<uint16_t>(k), bare_now_ns());
    const sockaddr_in& to = senders.targets[static_cast<size_t>(stream)];
    if (sendto(senders.socket, datagram, sizeof datagram, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
        static_cast<ssize_t>(sizeof datagram)) {
        ++senders.sent;
    }
}

void Report(const std::string& key, double value) { std::printf("%s %.6g\n", key.c_str(), value); }

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Until `count` came, or nothing came for half a second.
void WaitReceived(const IoRun& run, uint64_t count)
{
    uint64_t seen = run.received.load();
    int quietMs = 0;
    while (seen < count && quietMs < 500) {
        SleepMs(1);
        const uint64_t now = run.received.load();
        quietMs = now == seen ? quietMs + 1 : 0;
        seen = now;
    }
}

class Sockets {
public:
    explicit Sockets(int count, Senders& senders)
    {
        for (int i = 0; i < count; ++i) {
            int port = 0;
            const int fd = bare_bound_socket(&port);
            if (fd < 0) {
                throw std::runtime_error("no more sockets");
            }
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            m_fds.push_back(fd);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(static_cast<uint16_t>(port));
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            senders.targets.push_back(to);
        }
    }
    ~Sockets()
    {
        for (const int fd : m_fds) {
            close(fd);
        }
    }
    Sockets(const Sockets&) = delete;
    Sockets& operator=(const Sockets&) = delete;

    const std::vector<int>& Descriptors() const { return m_fds; }

private:
    std::vector<int> m_fds;
};

// One method's run; false when it cannot run here. Adds its lost datagrams
// to `lost`.
bool RunMethod(const Method& method, const Options& options, uint64_t& lost)
{
    Senders senders;
    senders.socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const Sockets sockets(options.sockets, senders);
    const int perStream = static_cast<int>(options.seconds * options.rate);
    IoRun run;
    run.sockets = sockets.Descriptors();
    run.stopDescriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    run.latenciesUs.reserve(static_cast<size_t>(options.sockets) * static_cast<size_t>(perStream));
    std::thread receiver([&] { method.receive(run); });
    while (run.state.load() == 0) {
        SleepMs(1);
    }
    const bool usable = run.state.load() == 1;
    uint64_t processCpu = 0, pacingCpu = 0;
    if (usable) {
        const uint64_t process0 = bare_process_cpu_ns(), pacing0 = bare_thread_cpu_ns();
        bare_pace_streams(options.sockets, options.rate, perStream, bare_now_ns() + 100000000u, SendOne, &senders);
        WaitReceived(run, senders.sent);
        const uint64_t one = 1;
        (void)!write(run.stopDescriptor, &one, sizeof one);
        receiver.join();
        processCpu = bare_process_cpu_ns() - process0;
        pacingCpu = bare_thread_cpu_ns() - pacing0;
    } else {
        receiver.join();
    }
    close(run.stopDescriptor);
    close(senders.socket);
    if (!usable) {
        return false;
    }
    const std::string prefix = std::string("io.") + method.name + ".";
    const double received = static_cast<double>(run.received.load());
    // Not sent, not received, or not the datagram that was sent.
    const uint64_t missing = static_cast<uint64_t>(options.sockets) * static_cast<uint64_t>(perStream) -
                             run.received.load();
    lost += missing;
    Report(prefix + "cpu_ns", received > 0 ? static_cast<double>(processCpu - pacingCpu) / received : 0);
    Report(prefix + "whole_ns", received > 0 ? static_cast<double>(processCpu) / received : 0);
    Report(prefix + "wakeups", received > 0 ? static_cast<double>(run.wakeups) / received : 0);
    Report(prefix + "rearmed", static_cast<double>(run.rearmed));
    const int measured = static_cast<int>(run.latenciesUs.size());
    Report(prefix + "p50_us", bare_percentile(run.latenciesUs.data(), measured, 50));
    Report(prefix + "p99_us", bare_percentile(run.latenciesUs.data(), measured, 99));
    Report(prefix + "lost", static_cast<double>(missing));
    return true;
}

Options Parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const double value = std::atof(argv[i + 1]);
        if (std::strcmp(argv[i], "--sockets") == 0) {
            options.sockets = static_cast<int>(value);
        } else if (std::strcmp(argv[i], "--rate") == 0) {
            options.rate = static_cast<int>(value);
        } else if (std::strcmp(argv[i], "--seconds") == 0) {
            options.seconds = value;
        } else if (std::strcmp(argv[i], "--first") == 0) {
            options.first = static_cast<int>(value);
        }
    }
    return options;
}

}  // namespace

int main(int argc, char** argv)
{
    const Options options = Parse(argc, argv);
    if (options.sockets <= 0 || options.rate <= 0 || options.seconds <= 0) {
        std::fprintf(stderr, "zqbench_io: --sockets, --rate and --seconds must be positive\n");
        return 2;
    }
    if (!bench::UringBuiltIn()) {
        Report("io.uring_multishot.not_built", 1);
    }
    uint64_t lost = 0;
    try {
        for (size_t turn = 0; turn < kMethods.size(); ++turn) {
            const Method& method = kMethods[(static_cast<size_t>(options.first) + turn) % kMethods.size()];
            const bool uring = std::strcmp(method.name, "uring_multishot") == 0;
            if (uring && !bench::UringBuiltIn()) {
                continue;
            }
            if (!RunMethod(method, options, lost)) {
                Report(std::string("io.") + method.name + ".unavailable", 1);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zqbench_io: %s\n", e.what());
        return 1;
    }
    Report("io.lost", static_cast<double>(lost));
    return 0;
}
