#pragma once
// The thread of a receiving stack that listens on its input RTCP socket and
// hands each compound to the stack's RTCP processing.
#include <array>
#include <cstddef>
#include <cstdint>

#include "zqfthread.h"

class ZQMInputRTPStack;

class ZQMInputRTPStackRTCPListeningThread : public ZQFThread {
public:
    static constexpr size_t kReceiveBufferBytes = 32768;

    explicit ZQMInputRTPStackRTCPListeningThread(ZQMInputRTPStack* owner);
    // Stops the thread while this object is still whole: the thread runs
    // code of this class.
    ~ZQMInputRTPStackRTCPListeningThread() override;

    // Reused for every datagram.
    uint8_t* GetReceiveBuffer() { return m_receiveBuffer.data(); }

protected:
    int ThreadFunc(void* param) override;

private:
    ZQMInputRTPStack* m_owner;  // not owned
    std::array<uint8_t, kReceiveBufferBytes> m_receiveBuffer{};
};
