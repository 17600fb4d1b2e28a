#include "outputrtpstack/zqmoutputrtpstackrtcplisteningthread.h"

#include "outputrtpstack/zqmoutputrtpstack.h"

ZQMOutputRTPStackRTCPListeningThread::ZQMOutputRTPStackRTCPListeningThread(ZQMOutputRTPStack* owner)
    : m_owner(owner)
{
}

// The thread runs this object's ThreadFunc: it must have ended before this
// part of the object goes. Waits as long as the thread takes, as the base
// destructor's join would.
ZQMOutputRTPStackRTCPListeningThread::~ZQMOutputRTPStackRTCPListeningThread() { StopThread(-1, 1); }

int ZQMOutputRTPStackRTCPListeningThread::ThreadFunc(void*) { return m_owner->RTCPEntryPoint(); }
