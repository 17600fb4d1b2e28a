// The statistics interface's reception figures: what the receiving stack
// counted of a remote source as its packets arrived.
#include <array>

#include "../inputrtpstack/input_stack_fixture.h"
#include "zqirtpstackstatistics.h"

namespace inputtest {
namespace {

// received, payload octets, expected, lost, late or duplicate
using Figures = std::array<int64_t, 5>;

class ReceptionStatisticsTest : public InputStackTest {
protected:
    // Through the interface, as a host reads them; nullopt when refused.
    std::optional<Figures> Read(uint32_t ssrc, bool isLocal)
    {
        void* found = nullptr;
        EXPECT_TRUE(module->QueryInterface(IID_ZQIRTPStackStatistics, &found));
        uint32_t received = 0, octets = 0, expected = 0, lateOrDuplicate = 0;
        int32_t lost = 0;
        float jitterMs = 0;
        if (!static_cast<ZQIRTPStackStatistics*>(found)->GetReceptionStatistics(
                ssrc, isLocal, &received, &octets, &expected, &lost, &lateOrDuplicate, &jitterMs)) {
            return std::nullopt;
        }
        return Figures{received, octets, expected, lost, lateOrDuplicate};
    }
};

TEST_F(ReceptionStatisticsTest, FiguresComeFromThePacketsThatArrived)
{
    struct Case {
        const char* what;
        std::vector<uint16_t> seqs;
        Figures figures;  // every packet carries 4 payload octets
    };
    const Case cases[] = {
        {"a duplicate counts twice: lost goes below zero", {10, 11, 12, 12}, {4, 16, 3, -1, 1}},
        {"a late packet is received, not lost", {10, 11, 13, 12}, {4, 16, 4, 0, 1}},
        {"a gap is lost", {10, 11, 14}, {3, 12, 5, 2, 0}},
        {"late and duplicate together", {10, 11, 13, 12, 13}, {5, 20, 4, -1, 2}},
        {"across the wrap", {65534, 65535, 0, 2}, {4, 16, 5, 1, 0}},
    };
    uint32_t ssrc = kSsrc;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ++ssrc;  // a new source for each case
        for (const uint16_t seq : c.seqs) {
            Process(Packet(seq, ssrc));
        }
        EXPECT_EQ(Read(ssrc, false), c.figures);
    }
}

TEST_F(ReceptionStatisticsTest, OnlyRemoteSourcesAnswer)
{
    ASSERT_TRUE(Process(Packet(1)));
    uint32_t ownSsrc = 0;
    {
        zqm::SourceListsLock lock;
        ownSsrc = stack->GetLocalSource()->m_ssrc;
    }
    EXPECT_TRUE(Read(kSsrc, false).has_value());
    EXPECT_FALSE(Read(kSsrc, true).has_value()) << "asked as a local source";
    EXPECT_FALSE(Read(kSsrc + 1, false).has_value()) << "unknown SSRC";
    EXPECT_FALSE(Read(ownSsrc, true).has_value()) << "the stack's own source only sends";
}

}  // namespace
}  // namespace inputtest
