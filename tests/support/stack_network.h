#pragma once
// One stack module's network settings in one call: PCMA enabled, the local
// address and ports, the remote address and ports. Free of gtest: the soak
// program uses it too.
#include <cstdint>
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
