#include "datagrambatch.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "bare.h"
#include "srtpbench.h"

namespace bench {

DatagramBatch MakeDatagramBatch(uint64_t count, LibsrtpSession* session)
{
    DatagramBatch batch;
    batch.bytes.resize(count * DatagramBatch::kSlotBytes);
    batch.lengths.assign(count, BARE_DATAGRAM_BYTES);
    for (uint64_t k = 0; k < count; ++k) {
        bare_fill_datagram(batch.At(k), static_cast<uint16_t>(k), 0);
        if (session != nullptr && !session->Protect(batch.At(k), &batch.lengths[k])) {
            throw std::runtime_error("libsrtp does not protect a datagram");
        }
    }
    return batch;
}

void SendBatch(int port, const DatagramBatch& batch, size_t first, size_t end)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (size_t k = first; k < end; ++k) {
        while (sendto(fd, batch.At(k), static_cast<size_t>(batch.lengths[k]), 0, reinterpret_cast<sockaddr*>(&to),
                      sizeof to) < 0 &&
               errno == ENOBUFS) {
        }
    }
    close(fd);
}

}  // namespace bench
