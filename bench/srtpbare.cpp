#include "srtpbare.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "bare.h"
#include "srtpbench.h"

namespace bench {
namespace {

sockaddr_in Loopback(int port)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return to;
}

void SendTo(int fd, const uint8_t* datagram, int length, const sockaddr_in& to)
{
    while (sendto(fd, datagram, static_cast<size_t>(length), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) <
               0 &&
           errno == ENOBUFS) {
    }
}

// The next datagram, protected when `session` is given; its length.
int NextDatagram(uint8_t (&slot)[DatagramBatch::kSlotBytes], uint64_t k, LibsrtpSession* session)
{
    bare_fill_datagram(slot, static_cast<uint16_t>(k), 0);
    int length = BARE_DATAGRAM_BYTES;
    if (session != nullptr) {
        session->Protect(slot, &length);
    }
    return length;
}

}  // namespace

double BareSrtpSendCpuNs(int port, uint64_t count, bool protect)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in to = Loopback(port);
    LibsrtpSession session(LibsrtpSession::Side::Send);
    uint8_t slot[DatagramBatch::kSlotBytes];
    const uint64_t cpu0 = bare_thread_cpu_ns();
    for (uint64_t k = 0; k < count; ++k) {
        SendTo(fd, slot, NextDatagram(slot, k, protect ? &session : nullptr), to);
    }
    const uint64_t cpu = bare_thread_cpu_ns() - cpu0;
    close(fd);
    return static_cast<double>(cpu) / static_cast<double>(count);
}

BareReceiveResult BareReceiveQueued(const DatagramBatch& batch, bool protect)
{
    int port = 0;
    const int fd = bare_bound_socket(&port);
    BareReceiveResult result;
    if (fd < 0) {
        return result;
    }
    LibsrtpSession session(LibsrtpSession::Side::Receive);
    SendBatch(port, batch, 0, batch.Size());
    uint8_t buffer[2048];
    uint16_t expected = 0;
    const uint64_t cpu0 = bare_thread_cpu_ns();
    while (result.delivered < batch.Size()) {
        int n = static_cast<int>(recv(fd, buffer, sizeof buffer, MSG_DONTWAIT));
        if (n < 0) {
            break;  // all read: the rest was lost
        }
        if (n <= BARE_HEADER_BYTES || (protect && !session.Unprotect(buffer, &n))) {
            continue;
        }
        const auto seq = static_cast<uint16_t>((buffer[2] << 8) | buffer[3]);
        if (seq != expected || bare_payload_number(buffer + BARE_HEADER_BYTES, n - BARE_HEADER_BYTES) != seq) {
            ++result.outOfOrder;
        }
        expected = static_cast<uint16_t>(seq + 1);
        ++result.delivered;
    }
    const uint64_t cpu = bare_thread_cpu_ns() - cpu0;
    close(fd);
    result.cpuNsPerDatagram = result.delivered ? static_cast<double>(cpu) / static_cast<double>(result.delivered) : 0;
    return result;
}

}  // namespace bench
