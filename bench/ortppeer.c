/* oRTP's sender, measured like the bare one: one thread, a reading receiver. */
#include "ortppeer.h"

#ifdef ZQ_BENCH_NO_ORTP

int ortp_send_rate(uint64_t count, struct bare_send_result* out)
{
    (void)count;
    (void)out;
    return -1;
}

#else

#include <ortp/ortp.h>

int ortp_send_rate(uint64_t count, struct bare_send_result* out)
{
    ortp_init();
    ortp_set_log_level_mask(NULL, ORTP_ERROR | ORTP_FATAL);
    int port = 0;
    struct bare_reader* reader = bare_reader_start(&port);
    if (reader == NULL) {
        return -1;
    }
    RtpSession* session = rtp_session_new(RTP_SESSION_SENDONLY);
    rtp_session_set_scheduling_mode(session, 0);
    rtp_session_set_blocking_mode(session, 0);
    rtp_session_set_remote_addr(session, "127.0.0.1", port);
    rtp_session_set_payload_type(session, 8);
    uint8_t payload[BARE_PAYLOAD_BYTES];
    const uint64_t t0 = bare_now_ns();
    const uint64_t cpu0 = bare_thread_cpu_ns();
    for (uint64_t k = 0; k < count; ++k) {
        bare_fill_payload(payload, (uint16_t)k, 0);
        rtp_session_send_with_ts(session, payload, BARE_PAYLOAD_BYTES, (uint32_t)(160u * k));
    }
    const uint64_t cpu = bare_thread_cpu_ns() - cpu0;
    const uint64_t elapsed = bare_now_ns() - t0;
    out->read = bare_reader_stop(reader);
    out->sent = count;
    out->perSecond = (double)count * 1e9 / (double)elapsed;
    out->cpuNsPerPacket = (double)cpu / (double)count;
    rtp_session_destroy(session);
    return 0;
}

#endif
