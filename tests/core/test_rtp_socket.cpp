// Shared RTP sockets: sharing by port, and faults that must leave the map
// and the process's descriptors as they were.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "log_capture.h"
#include "process_probes.h"
#include "udp_peer.h"
#include "zqmrtpsocket.h"

namespace {

const char* const kPath = "zqmrtpsocket";

using testsupport::FreePort;
using testsupport::OpenDescriptors;

class RTPSocketTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_EQ(zqm::SharedRTPSocketCount(), 0u);
        EXPECT_EQ(OpenDescriptors(), m_descriptors) << "a descriptor leaked";
    }

    int m_descriptors = OpenDescriptors();
    LogCapture m_log;
};

}  // namespace

TEST_F(RTPSocketTest, SharedByPortUntilTheLastRelease)
{
    const std::string port = FreePort("127.0.0.1");
    RTPSocket* first = AcquireRTPSocket("127.0.0.1", port.c_str());
    ASSERT_NE(first, nullptr);
    RTPSocket* second = AcquireRTPSocket("127.0.0.2", port.c_str());  // the address is not compared
    EXPECT_EQ(second, first);
    EXPECT_EQ(first->GetRefCount(), 2u);
    EXPECT_EQ(zqm::FindSharedRTPSocket(std::stoi(port)), first);
    EXPECT_EQ(m_log.Count(kPath, 2, "<--RTPSocket-->Success to bind socket on [127.0.0.1:" + port + "]"), 1);

    ReleaseRTPSocket(&first);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(second->GetRefCount(), 1u);
    EXPECT_EQ(zqm::FindSharedRTPSocket(std::stoi(port)), second);
    ReleaseRTPSocket(&second);
    EXPECT_EQ(second, nullptr);
    ReleaseRTPSocket(&second);  // a stack stopped twice
    ReleaseRTPSocket(nullptr);
}

TEST_F(RTPSocketTest, PortZeroIsNeverShared)
{
    for (const char* port : {"0", "abc"}) {  // atoi reads "abc" as 0
        RTPSocket* first = AcquireRTPSocket("127.0.0.1", port);
        RTPSocket* second = AcquireRTPSocket("127.0.0.1", port);
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        EXPECT_NE(first, second);
        EXPECT_EQ(first->GetPort(), 0);
        EXPECT_EQ(zqm::SharedRTPSocketCount(), 0u);
        ReleaseRTPSocket(&first);
        ReleaseRTPSocket(&second);
        EXPECT_EQ(first, nullptr);
    }
}

TEST_F(RTPSocketTest, FailuresLeaveTheMapAsItWas)
{
    const std::string held = FreePort("127.0.0.1");
    RTPSocket* kept = AcquireRTPSocket("127.0.0.1", held.c_str());
    ASSERT_NE(kept, nullptr);
    ZQCSocket occupier;
    occupier.CreateSocket(ZQCSocket::kDatagram, "127.0.0.1");
    occupier.Bind(ZQCSocket::kDatagram, "127.0.0.1", "0");
    const std::string taken = std::to_string(occupier.GetBoundPort());
    const int descriptors = OpenDescriptors();

    EXPECT_EQ(AcquireRTPSocket("127.0.0.1", taken.c_str()), nullptr);
    EXPECT_EQ(m_log.Count(kPath, 2, "<--RTPSocket-->Failed to bind socket on port " + taken), 1);
    EXPECT_EQ(AcquireRTPSocket("999.1.1.1", FreePort("127.0.0.1").c_str()), nullptr);
    EXPECT_EQ(m_log.Count(kPath, 2, "<--RTPSocket-->Failed to create socket on address 999.1.1.1"), 1);
    EXPECT_EQ(zqm::SharedRTPSocketCount(), 1u);
    EXPECT_EQ(kept->GetRefCount(), 1u);
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_FALSE(IsValidAddress("999.1.1.1"));
    EXPECT_FALSE(IsValidAddress(nullptr));
    EXPECT_TRUE(IsValidAddress("127.0.0.1"));
    ReleaseRTPSocket(&kept);
}

// Stacks starting and stopping on several threads at once share the same
// two ports: every acquisition gets the port's one socket, never a second
// bind that fails, and the last release empties the map.
TEST_F(RTPSocketTest, ConcurrentAcquireAndReleaseShareOneSocketPerPort)
{
    const std::string ports[] = {FreePort("127.0.0.1"), FreePort("127.0.0.1")};
    std::atomic<int> failures{0};
    std::vector<std::thread> stacks;
    for (int t = 0; t < 4; ++t) {
        stacks.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                RTPSocket* socket = AcquireRTPSocket("127.0.0.1", ports[(t + i) % 2].c_str());
                failures += socket == nullptr ? 1 : 0;
                ReleaseRTPSocket(&socket);
            }
        });
    }
    for (std::thread& stack : stacks) {
        stack.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(m_log.CountText("<--RTPSocket-->Failed to bind socket on port " + ports[0]) +
                  m_log.CountText("<--RTPSocket-->Failed to bind socket on port " + ports[1]),
              0);
}
