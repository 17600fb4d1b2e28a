/* Bare UDP baselines: plain sockets, plain threads, nothing else. */
#define _GNU_SOURCE
#include "bare.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

static uint64_t clock_ns(clockid_t id)
{
    struct timespec ts;
    clock_gettime(id, &ts);
    return (uint64_t)ts.tv_sec * 1000000000u + (uint64_t)ts.tv_nsec;
}

uint64_t bare_now_ns(void) { return clock_ns(CLOCK_MONOTONIC); }
uint64_t bare_thread_cpu_ns(void) { return clock_ns(CLOCK_THREAD_CPUTIME_ID); }
uint64_t bare_process_cpu_ns(void) { return clock_ns(CLOCK_PROCESS_CPUTIME_ID); }

static void put32(uint8_t* at, uint32_t v)
{
    at[0] = (uint8_t)(v >> 24);
    at[1] = (uint8_t)(v >> 16);
    at[2] = (uint8_t)(v >> 8);
    at[3] = (uint8_t)v;
}

void bare_fill_payload(uint8_t* payload, uint16_t seq, uint64_t stampNs)
{
    memcpy(payload, &stampNs, sizeof stampNs);
    payload[8] = (uint8_t)(seq >> 8);
    payload[9] = (uint8_t)seq;
    for (int i = 10; i < BARE_PAYLOAD_BYTES; ++i) {
        payload[i] = (uint8_t)(seq + i);
    }
}

void bare_fill_datagram(uint8_t* datagram, uint16_t seq, uint64_t stampNs)
{
    datagram[0] = 0x80;
    datagram[1] = 8;
    datagram[2] = (uint8_t)(seq >> 8);
    datagram[3] = (uint8_t)seq;
    put32(datagram + 4, 160u * seq);
    put32(datagram + 8, 0x5eed0001u);
    bare_fill_payload(datagram + BARE_HEADER_BYTES, seq, stampNs);
}

int bare_payload_number(const uint8_t* payload, int size)
{
    if (size != BARE_PAYLOAD_BYTES) {
        return -1;
    }
    const uint16_t seq = (uint16_t)((payload[8] << 8) | payload[9]);
    /* The pattern's ends are enough to tell a damaged payload. */
    if (payload[10] != (uint8_t)(seq + 10) || payload[BARE_PAYLOAD_BYTES - 1] != (uint8_t)(seq + BARE_PAYLOAD_BYTES - 1)) {
        return -1;
    }
    return seq;
}

uint64_t bare_payload_stamp(const uint8_t* payload)
{
    uint64_t stamp;
    memcpy(&stamp, payload, sizeof stamp);
    return stamp;
}

static struct sockaddr_in loopback(int port)
{
    struct sockaddr_in sa;
    memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons((uint16_t)port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sa;
}

int bare_bound_socket(int* port)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    int bytes = BARE_RECEIVE_BUFFER_BYTES;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0) {
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }
    struct sockaddr_in sa = loopback(0);
    socklen_t length = sizeof sa;
    if (bind(fd, (struct sockaddr*)&sa, sizeof sa) != 0 || getsockname(fd, (struct sockaddr*)&sa, &length) != 0) {
        close(fd);
        return -1;
    }
    *port = ntohs(sa.sin_port);
    return fd;
}

/* ---- reading receiver ---------------------------------------------------- */

struct bare_reader {
    pthread_t thread;
    int fd;
    atomic_int stop;
    atomic_ullong read;
};

static void* reader_loop(void* arg)
{
    struct bare_reader* reader = arg;
    /* The reader drains in batches, so that it always keeps ahead of any
     * sender being measured. Reading one datagram per call, it runs at
     * about a bare sender's own speed: then whether it catches up and sleeps
     * (and every send pays for waking it) flips with a few per cent of
     * sender speed, and the rates become bimodal from run to run. */
    enum { kBatch = 64 };
    uint8_t buffers[kBatch][256];
    struct iovec io[kBatch];
    struct mmsghdr messages[kBatch];
    memset(messages, 0, sizeof messages);
    for (int i = 0; i < kBatch; ++i) {
        io[i].iov_base = buffers[i];
        io[i].iov_len = sizeof buffers[i];
        messages[i].msg_hdr.msg_iov = &io[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    while (!atomic_load(&reader->stop)) {
        struct pollfd ready = {reader->fd, POLLIN, 0};
        if (poll(&ready, 1, 50) <= 0) {
            continue;
        }
        int n;
        while ((n = recvmmsg(reader->fd, messages, kBatch, MSG_DONTWAIT, NULL)) > 0) {
            atomic_fetch_add_explicit(&reader->read, (unsigned long long)n, memory_order_relaxed);
        }
    }
    return NULL;
}

struct bare_reader* bare_reader_start(int* port)
{
    struct bare_reader* reader = calloc(1, sizeof *reader);
    reader->fd = bare_bound_socket(port);
    if (reader->fd < 0 || pthread_create(&reader->thread, NULL, reader_loop, reader) != 0) {
        if (reader->fd >= 0) {
            close(reader->fd);
        }
        free(reader);
        return NULL;
    }
    return reader;
}

uint64_t bare_reader_stop(struct bare_reader* reader)
{
    /* Let the reader drain what is still queued. */
    usleep(100000);
    atomic_store(&reader->stop, 1);
    pthread_join(reader->thread, NULL);
    close(reader->fd);
    uint64_t read = atomic_load(&reader->read);
    free(reader);
    return read;
}

/* ---- send ---------------------------------------------------------------- */

static ssize_t send_datagram(int fd, const uint8_t* datagram, const struct sockaddr_in* to)
{
    return to != NULL ? sendto(fd, datagram, BARE_DATAGRAM_BYTES, 0, (const struct sockaddr*)to, sizeof *to)
                      : send(fd, datagram, BARE_DATAGRAM_BYTES, 0);
}

/* Sends `count` datagrams to 127.0.0.1:port as fast as it can, addressed
 * one by one (sendto) or on a socket connected to the receiver (send). */
static uint64_t blast(int port, uint64_t count, int connected)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in to = loopback(port);
    if (connected && connect(fd, (struct sockaddr*)&to, sizeof to) != 0) {
        close(fd);
        return 0;
    }
    uint8_t datagram[BARE_DATAGRAM_BYTES];
    const uint64_t cpu0 = bare_thread_cpu_ns();
    for (uint64_t k = 0; k < count; ++k) {
        bare_fill_datagram(datagram, (uint16_t)k, 0);
        while (send_datagram(fd, datagram, connected ? NULL : &to) < 0 && errno == ENOBUFS) {
        }
    }
    const uint64_t cpu = bare_thread_cpu_ns() - cpu0;
    close(fd);
    return cpu;
}

uint64_t bare_blast(int port, uint64_t count) { return blast(port, count, 0); }

static int send_rate(uint64_t count, int connected, struct bare_send_result* out)
{
    int port = 0;
    struct bare_reader* reader = bare_reader_start(&port);
    if (reader == NULL) {
        return -1;
    }
    const uint64_t t0 = bare_now_ns();
    const uint64_t cpu = blast(port, count, connected);
    const uint64_t elapsed = bare_now_ns() - t0;
    out->read = bare_reader_stop(reader);
    out->sent = count;
    out->perSecond = (double)count * 1e9 / (double)elapsed;
    out->cpuNsPerPacket = (double)cpu / (double)count;
    return 0;
}

int bare_send_rate(uint64_t count, struct bare_send_result* out) { return send_rate(count, 0, out); }

int bare_connected_send_rate(uint64_t count, struct bare_send_result* out) { return send_rate(count, 1, out); }

/* ---- receive ------------------------------------------------------------- */

struct blast_args {
    int port;
    uint64_t count;
    uint64_t cpu;
};

static void* blast_thread(void* arg)
{
    struct blast_args* a = arg;
    a->cpu = bare_blast(a->port, a->count);
    return NULL;
}

int bare_receive(uint64_t count, struct bare_receive_result* out)
{
    int port = 0;
    int fd = bare_bound_socket(&port);
    if (fd < 0) {
        return -1;
    }
    memset(out, 0, sizeof *out);
    struct blast_args args = {port, count, 0};
    pthread_t sender;
    const uint64_t cpu0 = bare_process_cpu_ns();
    pthread_create(&sender, NULL, blast_thread, &args);
    uint8_t buffer[2048];
    uint16_t expected = 0;
    for (;;) {
        struct pollfd ready = {fd, POLLIN, 0};
        if (out->delivered == count || poll(&ready, 1, 500) <= 0) {
            break; /* all there, or quiet for half a second: the rest is lost */
        }
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= BARE_HEADER_BYTES) {
            continue;
        }
        const uint16_t seq = (uint16_t)((buffer[2] << 8) | buffer[3]);
        if (seq != expected || bare_payload_number(buffer + BARE_HEADER_BYTES, (int)n - BARE_HEADER_BYTES) != seq) {
            ++out->outOfOrder;
        }
        expected = (uint16_t)(seq + 1);
        ++out->delivered;
    }
    pthread_join(sender, NULL);
    const uint64_t cpu = bare_process_cpu_ns() - cpu0 - args.cpu;
    close(fd);
    out->lost = count - out->delivered;
    out->cpuNsPerDatagram = out->delivered ? (double)cpu / (double)out->delivered : 0;
    return 0;
}

/* ---- latency ------------------------------------------------------------- */

static int compare_doubles(const void* a, const void* b)
{
    const double x = *(const double*)a, y = *(const double*)b;
    return x < y ? -1 : x > y;
}

double bare_percentile(double* values, int n, double p)
{
    if (n <= 0) {
        return 0;
    }
    qsort(values, (size_t)n, sizeof *values, compare_doubles);
    int at = (int)(p / 100.0 * (n - 1) + 0.5);
    return values[at < n ? at : n - 1];
}

static void sleep_until(uint64_t deadlineNs)
{
    struct timespec ts = {(time_t)(deadlineNs / 1000000000u), (long)(deadlineNs % 1000000000u)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, NULL) == EINTR) {
    }
}

struct paced_args {
    int port;
    int count;
    int rate;
    uint64_t start;
    atomic_int* stop;
    uint64_t sent;
};

static void* paced_sender(void* arg)
{
    struct paced_args* a = arg;
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in to = loopback(a->port);
    uint8_t datagram[BARE_DATAGRAM_BYTES];
    const uint64_t period = 1000000000u / (uint64_t)a->rate;
    for (int k = 0; a->count < 0 || k < a->count; ++k) {
        sleep_until(a->start + (uint64_t)k * period);
        if (a->stop != NULL && atomic_load_explicit(a->stop, memory_order_relaxed)) {
            break;
        }
        bare_fill_datagram(datagram, (uint16_t)k, bare_now_ns());
        if (sendto(fd, datagram, sizeof datagram, 0, (struct sockaddr*)&to, sizeof to) == sizeof datagram) {
            ++a->sent;
        }
    }
    close(fd);
    return NULL;
}

int bare_latency(int count, int rate, int pollMode, struct bare_latency_result* out)
{
    int port = 0;
    int fd = bare_bound_socket(&port);
    if (fd < 0) {
        return -1;
    }
    double* latencies = calloc((size_t)count, sizeof *latencies);
    struct paced_args args = {port, count, rate, bare_now_ns() + 20000000u, NULL, 0};
    pthread_t sender;
    pthread_create(&sender, NULL, paced_sender, &args);
    uint8_t buffer[2048];
    int received = 0;
    const uint64_t deadline = args.start + (uint64_t)count * (1000000000u / (uint64_t)rate) + 1000000000u;
    while (received < count && bare_now_ns() < deadline) {
        ssize_t n;
        if (pollMode) {
            struct pollfd ready = {fd, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) {
                continue;
            }
            n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        } else {
            n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n < 0) {
                usleep(10000);
                continue;
            }
        }
        if (n == BARE_DATAGRAM_BYTES) {
            latencies[received++] = (double)(bare_now_ns() - bare_payload_stamp(buffer + BARE_HEADER_BYTES)) / 1000.0;
        }
    }
    pthread_join(sender, NULL);
    close(fd);
    out->received = (uint64_t)received;
    out->p50Us = bare_percentile(latencies, received, 50);
    out->p99Us = bare_percentile(latencies, received, 99);
    free(latencies);
    return 0;
}

/* ---- idle ---------------------------------------------------------------- */

struct idle_args {
    int fd;
    int waitMs;
    atomic_int* stop;
};

static void* idle_waiter(void* arg)
{
    struct idle_args* a = arg;
    uint8_t buffer[2048];
    while (!atomic_load_explicit(a->stop, memory_order_relaxed)) {
        struct pollfd ready = {a->fd, POLLIN, 0};
        if (poll(&ready, 1, a->waitMs) > 0) {
            recv(a->fd, buffer, sizeof buffer, MSG_DONTWAIT);
        }
    }
    return NULL;
}

double bare_idle(int threads, int waitMs, double seconds)
{
    atomic_int stop = 0;
    pthread_t* ids = calloc((size_t)threads, sizeof *ids);
    struct idle_args* args = calloc((size_t)threads, sizeof *args);
    for (int i = 0; i < threads; ++i) {
        int port = 0;
        args[i].fd = bare_bound_socket(&port);
        args[i].waitMs = waitMs;
        args[i].stop = &stop;
        pthread_create(&ids[i], NULL, idle_waiter, &args[i]);
    }
    usleep(200000); /* past the threads' start */
    const uint64_t cpu0 = bare_process_cpu_ns(), t0 = bare_now_ns();
    usleep((useconds_t)(seconds * 1e6));
    const double share = (double)(bare_process_cpu_ns() - cpu0) / (double)(bare_now_ns() - t0);
    atomic_store(&stop, 1);
    for (int i = 0; i < threads; ++i) {
        pthread_join(ids[i], NULL);
        close(args[i].fd);
    }
    free(ids);
    free(args);
    return share;
}

/* ---- scale --------------------------------------------------------------- */

struct scale_receiver {
    int fd;
    atomic_int* stop;
    double* latencies;
    int capacity;
    int received;
};

static void* scale_receive(void* arg)
{
    struct scale_receiver* r = arg;
    uint8_t buffer[2048];
    while (!atomic_load_explicit(r->stop, memory_order_relaxed)) {
        struct pollfd ready = {r->fd, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) {
            continue;
        }
        ssize_t n;
        while ((n = recv(r->fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
            if (n == BARE_DATAGRAM_BYTES && r->received < r->capacity) {
                r->latencies[r->received++] =
                    (double)(bare_now_ns() - bare_payload_stamp(buffer + BARE_HEADER_BYTES)) / 1000.0;
            }
        }
    }
    return NULL;
}

/* The host's media clock: one thread, woken every millisecond, sends every
 * packet that is due (stream i starts i/pairs of a period after stream 0). */
void bare_pace_streams(int pairs, int rate, int perPair, uint64_t start, void (*send)(void*, int, int), void* context)
{
    const uint64_t period = 1000000000u / (uint64_t)rate;
    int* next = calloc((size_t)pairs, sizeof *next);
    int remaining = pairs * perPair;
    for (uint64_t tick = start; remaining > 0; tick += 1000000u) {
        sleep_until(tick);
        const uint64_t now = bare_now_ns();
        for (int i = 0; i < pairs; ++i) {
            const uint64_t first = start + (uint64_t)i * period / (uint64_t)pairs;
            while (next[i] < perPair && first + (uint64_t)next[i] * period <= now) {
                send(context, i, next[i]++);
                --remaining;
            }
        }
    }
    free(next);
}

struct bare_scale_senders {
    int* fds;
    int* ports;
    uint64_t sent;
};

static void bare_scale_send(void* context, int stream, int k)
{
    struct bare_scale_senders* s = context;
    struct sockaddr_in to = loopback(s->ports[stream]);
    uint8_t datagram[BARE_DATAGRAM_BYTES];
    bare_fill_datagram(datagram, (uint16_t)k, bare_now_ns());
    if (sendto(s->fds[stream], datagram, sizeof datagram, 0, (struct sockaddr*)&to, sizeof to) == sizeof datagram) {
        ++s->sent;
    }
}

int bare_scale(int pairs, int rate, double seconds, struct bare_scale_result* out)
{
    const int perPair = (int)(seconds * rate);
    atomic_int stopReceivers = 0;
    struct scale_receiver* receivers = calloc((size_t)pairs, sizeof *receivers);
    pthread_t* rids = calloc((size_t)pairs, sizeof *rids);
    int* started = calloc((size_t)pairs, sizeof *started);
    struct bare_scale_senders senders = {calloc((size_t)pairs, sizeof(int)), calloc((size_t)pairs, sizeof(int)), 0};
    memset(out, 0, sizeof *out);
    int result = 0;
    for (int i = 0; i < pairs; ++i) {
        receivers[i].fd = bare_bound_socket(&senders.ports[i]);
        receivers[i].stop = &stopReceivers;
        receivers[i].capacity = perPair;
        receivers[i].latencies = calloc((size_t)perPair, sizeof(double));
        senders.fds[i] = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        started[i] = receivers[i].fd >= 0 && pthread_create(&rids[i], NULL, scale_receive, &receivers[i]) == 0;
        if (!started[i]) {
            result = -1;
        }
    }
    const uint64_t start = bare_now_ns() + 300000000u;
    sleep_until(start);
    const uint64_t cpu0 = bare_process_cpu_ns(), t0 = bare_now_ns();
    bare_pace_streams(pairs, rate, perPair, start, bare_scale_send, &senders);
    usleep(50000);
    const double share = (double)(bare_process_cpu_ns() - cpu0) / (double)(bare_now_ns() - t0);
    atomic_store(&stopReceivers, 1);
    double* all = calloc((size_t)pairs * (size_t)perPair, sizeof(double));
    int n = 0;
    for (int i = 0; i < pairs; ++i) {
        if (started[i]) {
            pthread_join(rids[i], NULL);
        }
        if (receivers[i].fd >= 0) {
            close(receivers[i].fd);
        }
        close(senders.fds[i]);
        memcpy(all + n, receivers[i].latencies, (size_t)receivers[i].received * sizeof(double));
        n += receivers[i].received;
        free(receivers[i].latencies);
    }
    out->sent = senders.sent;
    out->received = (uint64_t)n;
    out->p99Us = bare_percentile(all, n, 99);
    out->cpuShare = share;
    free(all);
    free(receivers);
    free(rids);
    free(started);
    free(senders.fds);
    free(senders.ports);
    return result;
}

long bare_resident_kb(void)
{
    FILE* f = fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f != NULL) {
        if (fscanf(f, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}
