#pragma once
#include "zqcexport.h"

class ZQFModule;

enum ZQFNotifyCode {
    NOTIFY_INSERT_HEADER = 2,
    NOTIFY_SUPPORT_PAYLOAD = 5,
    NOTIFY_MEDIATYPES_CHANGED = 13,
    NOTIFY_FRACTION_LOST = 14,
    NOTIFY_VIDEO_LIPSYNC_DELAY = 25,
    NOTIFY_AUDIO_LIPSYNC_DELAY = 26,
    NOTIFY_SEQNUM_OFFSET = 31,
};

struct ZQFNotifyInfo {
    int code = 0;
    int param = 0;
    ZQFModule* sender = nullptr;
};
