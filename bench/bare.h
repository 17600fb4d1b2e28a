#pragma once
/* The baselines, in plain C over plain sockets: what a bare UDP sender and
 * receiver reach on this machine, measured with the same datagrams (a 12-byte
 * RTP header and a 160-byte payload) as the stack's benchmarks. */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { BARE_HEADER_BYTES = 12, BARE_PAYLOAD_BYTES = 160, BARE_DATAGRAM_BYTES = 172 };
enum { BARE_RECEIVE_BUFFER_BYTES = 4 * 1024 * 1024 };

uint64_t bare_now_ns(void);          /* monotonic clock (the steady clock) */
uint64_t bare_thread_cpu_ns(void);   /* CPU of the calling thread */
uint64_t bare_process_cpu_ns(void);  /* CPU of the whole process */

/* A 172-byte datagram: RTP header with `seq`, payload stamped with `stampNs`
 * in its first 8 bytes, then `seq` again (big-endian) and a pattern of it. */
void bare_fill_datagram(uint8_t* datagram, uint16_t seq, uint64_t stampNs);
void bare_fill_payload(uint8_t* payload, uint16_t seq, uint64_t stampNs);
/* The number a payload was filled with; -1 when it is not such a payload. */
int bare_payload_number(const uint8_t* payload, int size);
uint64_t bare_payload_stamp(const uint8_t* payload);

/* A UDP socket bound to 127.0.0.1 on a free port, with a 4 MB receive
 * buffer; -1 on failure. */
int bare_bound_socket(int* port);

/* A thread that reads and counts datagrams on its own socket until stopped. */
struct bare_reader;
struct bare_reader* bare_reader_start(int* port);
uint64_t bare_reader_stop(struct bare_reader* reader); /* datagrams read */

/* Send: one thread sends `count` datagrams as fast as it can to a reading
 * receiver. */
struct bare_send_result {
    double perSecond;
    double cpuNsPerPacket;
    uint64_t sent;
    uint64_t read;
};
int bare_send_rate(uint64_t count, struct bare_send_result* out);
/* The same with send() on a socket connected to the receiver. */
int bare_connected_send_rate(uint64_t count, struct bare_send_result* out);
/* Sends `count` datagrams to 127.0.0.1:port as fast as possible; answers
 * the sending thread's CPU. */
uint64_t bare_blast(int port, uint64_t count);

/* Receive: a bare sender thread blasts `count` datagrams at a bare receiver
 * (blocking reads, order checked). */
struct bare_receive_result {
    double cpuNsPerDatagram; /* process CPU minus the sender's, per datagram */
    uint64_t delivered;
    uint64_t lost;
    uint64_t outOfOrder;
};
int bare_receive(uint64_t count, struct bare_receive_result* out);

/* Latency: `count` datagrams at `rate` per second; the receiver waits with
 * poll() (pollMode 1) or sleeps 10 ms between non-blocking reads (0). */
struct bare_latency_result {
    double p50Us;
    double p99Us;
    uint64_t received;
};
int bare_latency(int count, int rate, int pollMode, struct bare_latency_result* out);
/* p-th percentile (0..100) of `n` values, sorted in place. */
double bare_percentile(double* values, int n, double p);

/* Idle: `threads` threads each waiting on a quiet socket with poll() and a
 * `waitMs` time-out, for `seconds`; answers the share of one core used. */
double bare_idle(int threads, int waitMs, double seconds);

/* The host's media clock for many streams: one thread, woken every
 * millisecond, calls send(context, stream, k) for every packet k that is due;
 * stream i starts i/pairs of a period after stream 0. Returns when all
 * `perPair` packets of every stream are sent. */
void bare_pace_streams(int pairs, int rate, int perPair, uint64_t start, void (*send)(void* context, int stream, int k),
                       void* context);

/* Scale: `pairs` streams paced by one thread into `pairs` receiver threads at
 * `rate` packets/s each for `seconds`. */
struct bare_scale_result {
    double cpuShare;
    double p99Us;
    uint64_t sent;
    uint64_t received;
};
int bare_scale(int pairs, int rate, double seconds, struct bare_scale_result* out);

/* Resident memory of the process, in KB. */
long bare_resident_kb(void);

#ifdef __cplusplus
}
#endif
