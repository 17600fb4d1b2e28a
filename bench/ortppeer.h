#pragma once
/* oRTP as a peer: its sender pushing the same 160-byte payloads as fast as
 * it can to a bare reading receiver. */
#include <stdint.h>

#include "bare.h"

#ifdef __cplusplus
extern "C" {
#endif

/* 0 on success; -1 when oRTP is not available in this build. */
int ortp_send_rate(uint64_t count, struct bare_send_result* out);

#ifdef __cplusplus
}
#endif
