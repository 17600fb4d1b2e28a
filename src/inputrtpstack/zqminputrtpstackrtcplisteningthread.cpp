#include "inputrtpstack/zqminputrtpstackrtcplisteningthread.h"

#include "inputrtpstack/zqminputrtpstack.h"

ZQMInputRTPStackRTCPListeningThread::ZQMInputRTPStackRTCPListeningThread(ZQMInputRTPStack* owner) : m_owner(owner) {}

ZQMInputRTPStackRTCPListeningThread::~ZQMInputRTPStackRTCPListeningThread() { StopThread(-1, 1); }

int ZQMInputRTPStackRTCPListeningThread::ThreadFunc(void*) { return m_owner->RTCPEntryPoint(this); }
