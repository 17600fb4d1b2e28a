// Threads creating and deleting sources on a few shared SSRCs (so that
// collisions of every kind happen) while others read statistics, set the
// simulation and walk the lists. Also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "log_capture.h"
#include "zqmrtpsource.h"

namespace {

constexpr uint32_t kSSRCs = 8;
constexpr int kRounds = 300;

void CreateAndDelete(uint32_t seed)
{
    for (int round = 0; round < kRounds; ++round) {
        const uint32_t ssrc = (seed + static_cast<uint32_t>(round)) % kSSRCs;
        auto local = std::make_unique<ZQMRTPSource>(nullptr, ssrc, static_cast<uint16_t>(round), true);
        auto remote = std::make_unique<ZQMRTPSource>(nullptr, ssrc, 0, false);
        // What the stacks do to their own sources on their packet paths.
        local->m_octets += 100;
        local->m_packetCount += 1;
        remote->m_jitter = static_cast<float>(round);
        remote->m_mediaType = 0x40001;
        local->StoreCNAME("127.0.0.1-4711");
        local->TakeSSRCChangeRequest();
        (void)local->CanSendPacket();
    }
}

void ReadUntil(const std::atomic<bool>& done)
{
    uint32_t value = 0;
    float jitter = 0;
    bool isLocal = false;
    for (int i = 0; i < 200 || !done.load(); ++i) {
        const uint32_t ssrc = static_cast<uint32_t>(i) % kSSRCs;
        const bool local = (i & 1) != 0;
        ZQMRTPSource::GetStatistics(ssrc, local, &value, &value, &value, &value, &value, &value, &jitter, &value,
                                    &value);
        ZQMRTPSource::SetPacketLossPercent(ssrc, local, static_cast<uint32_t>(i % 100));
        ZQMRTPSource::SetSimulatePacketLoss(ssrc, local, (i & 2) != 0);
        ZQMRTPSource::GetSourceAt(i % 6, &value, &isLocal);
        zqm::SourceListsLock lock;  // walk the lists as RTCP processing does
        for (const ZQMRTPSourceList* list : {&zqm::LocalSourceList(), &zqm::RemoteSourceList()}) {
            for (const auto& [key, source] : *list) {
                EXPECT_EQ(source->m_ssrc, key);
                EXPECT_EQ(source->m_local, list == &zqm::LocalSourceList());
            }
        }
    }
}

}  // namespace

TEST(SourceConcurrency, CreatingDeletingAndReadingInParallel)
{
    LogCapture log;  // the collisions are expected; keep them off stderr
    std::atomic<bool> done{false};
    std::vector<std::thread> readers, creators;
    for (int r = 0; r < 2; ++r) {
        readers.emplace_back(ReadUntil, std::cref(done));
    }
    for (uint32_t c = 0; c < 3; ++c) {
        creators.emplace_back(CreateAndDelete, c * 3);
    }
    for (std::thread& creator : creators) {
        creator.join();
    }
    done = true;
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_FALSE(ZQMRTPSource::GetSourceAt(0, nullptr, nullptr)) << "every source left its list";
}
