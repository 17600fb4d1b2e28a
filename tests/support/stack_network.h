#pragma once
// One stack module's network settings in one call: PCMA enabled, the local
// address and ports, the remote address and ports, and the I/O mode of the
// run: with ZQ_SHARED_IO=1 in the environment every stack set up here reads
// through the shared receive service (the same tests then cover both modes).
// Free of gtest: the soak program uses it too.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "module/zqmrtpstackmodule.h"

namespace testsupport {

constexpr int32_t kAudioPCMA = 0x40001;  // payload type 8

inline bool SetNetwork(ZQMRTPStackModule* module, const char* local, const std::string& rtp, const std::string& rtcp,
                       const char* remote, const std::string& remoteRtp, const std::string& remoteRtcp)
{
    if (!module->EnableMediaType(kAudioPCMA)) {
        return false;
    }
    const char* sharedIO = std::getenv("ZQ_SHARED_IO");
    module->SetSharedIO(sharedIO != nullptr && std::string(sharedIO) == "1" ? 1 : 0);
    module->SetLocalIPAddress(local);
    module->SetLocalRTPPort(rtp.c_str());
    module->SetLocalRTCPPort(rtcp.c_str());
    module->SetRemoteRTPAddress(remote);
    module->SetRemoteRTPPort(remoteRtp.c_str());
    module->SetRemoteRTCPAddress(remote);
    module->SetRemoteRTCPPort(remoteRtcp.c_str());
    return true;
}

}  // namespace testsupport
