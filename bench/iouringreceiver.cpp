// The io_uring receiver: one multishot recvmsg per socket, armed once, that
// completes once per datagram into a buffer the kernel takes from a ring the
// thread refills. The thread waits for completions, not for readiness: one
// system call a wake-up, whatever the number of datagrams it brings.
#include "ioreceivers.h"

#ifdef ZQ_BENCH_HAVE_URING

#include <liburing.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace bench {
namespace {

constexpr unsigned kSubmissionEntries = 1024;  // each socket's receive is submitted once
constexpr unsigned kCompletionEntries = 8192;
constexpr unsigned kBufferCount = 1024;        // a power of two, as the kernel wants
constexpr int kBufferGroup = 0;

// The deferred task work runs the receives inside the waiting call, on
// this thread; kernels without it get the cooperative mode, then the plain one.
bool OpenRing(io_uring& ring)
{
    for (const unsigned flags : {IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN,
                                 static_cast<unsigned>(IORING_SETUP_COOP_TASKRUN), 0u}) {
        io_uring_params params{};
        params.flags = flags | IORING_SETUP_CQSIZE;
        params.cq_entries = kCompletionEntries;
        if (io_uring_queue_init_params(kSubmissionEntries, &ring, &params) == 0) {
            return true;
        }
    }
    return false;
}

class UringReceiver {
public:
    explicit UringReceiver(IoRun& run) : m_run(run), m_stopTag(run.sockets.size())
    {
        m_template.msg_namelen = sizeof(sockaddr_in);
    }
    ~UringReceiver()
    {
        if (m_ringOpen) {
            if (m_buffers != nullptr) {
                io_uring_unregister_buf_ring(&m_ring, kBufferGroup);
            }
            io_uring_queue_exit(&m_ring);
        }
        if (m_buffers != nullptr) {
            munmap(m_buffers, BufferRingBytes());
        }
        if (m_memory != MAP_FAILED) {
            munmap(m_memory, kBufferCount * kIoBufferBytes);
        }
    }
    UringReceiver(const UringReceiver&) = delete;
    UringReceiver& operator=(const UringReceiver&) = delete;

    bool Start()
    {
        m_ringOpen = OpenRing(m_ring);
        if (!m_ringOpen || !ProvideBuffers()) {
            return false;
        }
        io_uring_sqe* stop = NextSqe();
        io_uring_prep_poll_add(stop, m_run.stopDescriptor, POLLIN);
        io_uring_sqe_set_data64(stop, m_stopTag);
        for (size_t i = 0; i < m_run.sockets.size(); ++i) {
            Arm(i);
        }
        return io_uring_submit(&m_ring) >= 0;
    }

    void Serve()
    {
        uint64_t counted = 0;
        for (bool stop = false; !stop;) {
            const int waited = io_uring_submit_and_wait(&m_ring, 1);
            if (waited < 0 && waited != -EINTR) {
                std::fprintf(stderr, "zqbench_io: io_uring wait: %s\n", std::strerror(-waited));
                return;
            }
            ++m_run.wakeups;
            stop = Reap(counted);
            m_run.received.store(counted, std::memory_order_relaxed);
        }
    }

private:
    size_t BufferRingBytes() const { return kBufferCount * sizeof(io_uring_buf); }
    uint8_t* Buffer(unsigned id) const { return static_cast<uint8_t*>(m_memory) + id * kIoBufferBytes; }

    bool ProvideBuffers()
    {
        m_memory = mmap(nullptr, kBufferCount * kIoBufferBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                        -1, 0);
        void* ring = mmap(nullptr, BufferRingBytes(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m_memory == MAP_FAILED || ring == MAP_FAILED) {
            return false;
        }
        m_buffers = static_cast<io_uring_buf_ring*>(ring);
        io_uring_buf_reg registration{};
        registration.ring_addr = reinterpret_cast<uint64_t>(m_buffers);
        registration.ring_entries = kBufferCount;
        registration.bgid = kBufferGroup;
        if (io_uring_register_buf_ring(&m_ring, &registration, 0) != 0) {
            munmap(m_buffers, BufferRingBytes());
            m_buffers = nullptr;
            return false;
        }
        io_uring_buf_ring_init(m_buffers);
        for (unsigned id = 0; id < kBufferCount; ++id) {
            io_uring_buf_ring_add(m_buffers, Buffer(id), kIoBufferBytes, static_cast<unsigned short>(id), kMask,
                                  static_cast<int>(id));
        }
        io_uring_buf_ring_advance(m_buffers, static_cast<int>(kBufferCount));
        return true;
    }

    io_uring_sqe* NextSqe()
    {
        io_uring_sqe* sqe = io_uring_get_sqe(&m_ring);
        while (sqe == nullptr) {
            io_uring_submit(&m_ring);
            sqe = io_uring_get_sqe(&m_ring);
        }
        return sqe;
    }

    void Arm(size_t socket)
    {
        io_uring_sqe* sqe = NextSqe();
        io_uring_prep_recvmsg_multishot(sqe, m_run.sockets[socket], &m_template, 0);
        sqe->flags |= IOSQE_BUFFER_SELECT;
        sqe->buf_group = kBufferGroup;
        io_uring_sqe_set_data64(sqe, socket);
    }

    // Every completion there: the datagram looked at, its buffer given
    // back, a receive that ended armed again. True once told to stop.
    bool Reap(uint64_t& counted)
    {
        bool stop = false;
        unsigned head = 0;
        unsigned seen = 0;
        int recycled = 0;
        io_uring_cqe* cqe = nullptr;
        io_uring_for_each_cqe(&m_ring, head, cqe)
        {
            ++seen;
            const uint64_t tag = io_uring_cqe_get_data64(cqe);
            if (tag == m_stopTag) {
                stop = true;
                continue;
            }
            if ((cqe->flags & IORING_CQE_F_BUFFER) != 0) {
                const unsigned id = cqe->flags >> IORING_CQE_BUFFER_SHIFT;
                Look(Buffer(id), cqe->res, counted);
                io_uring_buf_ring_add(m_buffers, Buffer(id), kIoBufferBytes, static_cast<unsigned short>(id), kMask,
                                      recycled++);
            }
            if ((cqe->flags & IORING_CQE_F_MORE) == 0) {
                Rearm(tag, cqe->res);
            }
        }
        io_uring_buf_ring_advance(m_buffers, recycled);
        io_uring_cq_advance(&m_ring, seen);
        return stop;
    }

    void Look(uint8_t* buffer, int filled, uint64_t& counted)
    {
        io_uring_recvmsg_out* out = io_uring_recvmsg_validate(buffer, filled, &m_template);
        if (out == nullptr || (out->flags & MSG_TRUNC) != 0) {
            ++m_run.malformed;
            return;
        }
        Tally(m_run, static_cast<const uint8_t*>(io_uring_recvmsg_payload(out, &m_template)), out->payloadlen, counted);
    }

    // A multishot receive ends when the buffers ran out (armed again) or on
    // an error that would only come back (the socket is left alone, and its
    // datagrams show as lost).
    void Rearm(uint64_t socket, int result)
    {
        if (result >= 0 || result == -ENOBUFS) {
            ++m_run.rearmed;
            Arm(socket);
            return;
        }
        std::fprintf(stderr, "zqbench_io: multishot receive on socket %llu ended: %s\n",
                     static_cast<unsigned long long>(socket), std::strerror(-result));
    }

    static constexpr int kMask = static_cast<int>(kBufferCount - 1);

    IoRun& m_run;
    const uint64_t m_stopTag;
    io_uring m_ring{};
    bool m_ringOpen = false;
    msghdr m_template{};  // the kernel reads the name and control lengths from it
    void* m_memory = MAP_FAILED;
    io_uring_buf_ring* m_buffers = nullptr;
};

}  // namespace

bool UringBuiltIn() { return true; }

void ReceiveWithUringMultishot(IoRun& run)
{
    UringReceiver receiver(run);
    if (!receiver.Start()) {
        run.state.store(-1);
        return;
    }
    run.state.store(1);
    receiver.Serve();
}

}  // namespace bench

#else  // built without liburing

namespace bench {

bool UringBuiltIn() { return false; }

void ReceiveWithUringMultishot(IoRun& run) { run.state.store(-1); }

}  // namespace bench

#endif
