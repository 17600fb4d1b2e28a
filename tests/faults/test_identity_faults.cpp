// Identities under attack: a peer that replays our own SSRC from another
// transport (RFC 3550, 8.2).
#include <algorithm>
#include <cstdio>
#include <string>

#include "loopback_fixture.h"
#include "zqmrtpsource.h"
#include "zqmrtpstack.h"

namespace faults {
namespace {

using namespace testsupport;
using IdentityFault = LeakCheckedTest;

// Read under the list locks, which a change of SSRC holds.
uint32_t LocalSsrcOf(ZQMRTPStackModule* module)
{
    zqm::SourceListsLock lists;
    return module->GetStack()->GetLocalSource()->m_ssrc;
}

// The sender changes its SSRC once, says goodbye under the old one, and its
// stream goes on under the new one without a gap in sequence numbers.
TEST_F(IdentityFault, PeerReplayingOurSsrcMakesTheSenderChangeItOnceWithAGoodbye)
{
    LoopbackPair pair(PacedSource(5));
    ASSERT_TRUE(pair.connected);
    ASSERT_TRUE(pair.graph.Start());
    ASSERT_TRUE(pair.WaitForMore(5));
    const uint32_t before = LocalSsrcOf(pair.rtpOut);
    const uint16_t lastSeq = pair.sink->GetPackets().back().sequenceNumber;

    UdpPeer attacker("127.0.0.3");
    Bytes replay = Packet(static_cast<uint16_t>(lastSeq + 30000), before);
    std::fill(replay.begin() + 12, replay.end(), 0xEE);
    ASSERT_TRUE(attacker.SendTo("127.0.0.2", pair.inRtp, replay));
    EXPECT_TRUE(WaitUntil([&] { return LocalSsrcOf(pair.rtpOut) != before; }));
    const uint32_t after = LocalSsrcOf(pair.rtpOut);
    // The goodbye leaves with the change; whether the receiver still knows
    // the old SSRC when it arrives depends on which of its threads runs
    // first, so the change's own line is what is checked, once.
    char changed[96];
    std::snprintf(changed, sizeof changed, "SSRC collision: the local source leaves SSRC 0x%x for 0x%x", before, after);
    EXPECT_TRUE(logs.WaitFor(std::string("<--RTPStack--> ") + changed));
    ASSERT_TRUE(pair.WaitForMore(20));
    pair.graph.Stop();

    EXPECT_EQ(LocalSsrcOf(pair.rtpOut), after) << "one change for one collision";
    EXPECT_EQ(logs.CountContaining("SSRC collision"), 1);
    std::vector<uint16_t> stream;
    bool newSsrcSeen = false;
    for (const ZQCapturedPacket& packet : pair.sink->GetPackets()) {
        if (packet.payload.front() == 0xEE) {
            continue;  // the replayed packet itself
        }
        EXPECT_TRUE(packet.ssrc == before || packet.ssrc == after) << packet.ssrc;
        EXPECT_FALSE(newSsrcSeen && packet.ssrc == before) << "the old SSRC after the new one";
        newSsrcSeen = newSsrcSeen || packet.ssrc == after;
        stream.push_back(packet.sequenceNumber);
    }
    EXPECT_TRUE(newSsrcSeen);
    for (size_t i = 1; i < stream.size(); ++i) {
        EXPECT_EQ(stream[i], static_cast<uint16_t>(stream[i - 1] + 1)) << "at " << i;
    }
}

}  // namespace
}  // namespace faults
