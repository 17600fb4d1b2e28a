// Addresses of both families in the RTP core: how endpoints compare, the
// endpoint several threads read, the stacks' address rules and the shared
// sockets, one per family and port.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "inputrtpstack/rtcpreportdestination.h"
#include "log_capture.h"
#include "udp_peer.h"
#include "zqmatomicendpoint.h"
#include "zqmrtpsocket.h"
#include "zqmrtpsource.h"

namespace {

using zqm::Endpoint;

Endpoint EndpointOf(const char* address, const char* port)
{
    return Endpoint::Of(ZQCSocketAddress(ZQCSocket::kDatagram, address, port));
}

// An IPv4 peer heard through an IPv6 socket (::ffff:a.b.c.d) is the same
// peer; a zone counts only where the address needs one; an endpoint goes
// back out in the family it came in.
TEST(Endpoint, MappedAddressesMatchTheirIPv4FormAndZonesCountOnlyWhereNeeded)
{
    EXPECT_EQ(EndpointOf("127.0.0.1", "5004"), EndpointOf("::ffff:127.0.0.1", "5004"));
    EXPECT_NE(EndpointOf("127.0.0.1", "5004"), EndpointOf("127.0.0.1", "5005"));
    EXPECT_NE(EndpointOf("127.0.0.1", "5004"), EndpointOf("::1", "5004"));
    EXPECT_EQ(EndpointOf("::1%lo", "5004"), EndpointOf("::1", "5004"));
    EXPECT_NE(EndpointOf("fe80::1%lo", "5004"), EndpointOf("fe80::1", "5004"));
    EXPECT_TRUE(EndpointOf("999.1.1.1", "5004").IsNone());
    for (const char* text : {"127.0.0.1", "::ffff:127.0.0.1", "fe80::1%lo"}) {
        const ZQCSocketAddress original(ZQCSocket::kDatagram, text, "6000");
        ZQCSocketAddress back;
        Endpoint::Of(original).ToSocketAddress(&back);
        EXPECT_EQ(back.GetFamily(), original.GetFamily()) << text;
        EXPECT_STREQ(back.GetAddress(), original.GetAddress()) << text;
    }
    // Reports learned from IPv6 traffic go to the next port, in IPv6.
    const Endpoint learned = zqm::LearnedReportDestination(EndpointOf("::1", "5004"), Endpoint());
    EXPECT_EQ(learned, EndpointOf("::1", "5005"));
    EXPECT_EQ(learned.family, AF_INET6);

    // A sending stack's own packets heard back in the mapped form, or from
    // a stack bound to any address, are its own.
    ZQMRTPSource local(nullptr, 0x5EED0001, 0, true);
    local.SetSendingTransport(EndpointOf("127.0.0.1", "5004"));
    EXPECT_TRUE(local.SendsFrom(EndpointOf("::ffff:127.0.0.1", "5004")));
    EXPECT_FALSE(local.SendsFrom(EndpointOf("::ffff:127.0.0.2", "5004")));
    local.SetSendingTransport(EndpointOf("::", "5004"));
    EXPECT_TRUE(local.SendsFrom(EndpointOf("::1", "5004")));
}

// A reader never sees half of one endpoint and half of another.
TEST(AtomicEndpoint, ReadersSeeWholeEndpointsWhileWritersChangeThem)
{
    const Endpoint first = EndpointOf("fe80::1%lo", "5004");
    const Endpoint second = EndpointOf("10.1.2.3", "40000");
    zqm::AtomicEndpoint shared;
    EXPECT_TRUE(shared.Load().IsNone());
    shared.Store(first);
    std::atomic<bool> done{false};
    const auto write = [&](const Endpoint& endpoint) {
        while (!done.load()) {
            shared.Store(endpoint);
        }
    };
    std::thread writeFirst(write, first);
    std::thread writeSecond(write, second);
    int torn = 0;
    for (int read = 0; read < 200000; ++read) {
        const Endpoint seen = shared.Load();
        torn += seen == first || seen == second ? 0 : 1;
    }
    done = true;
    writeFirst.join();
    writeSecond.join();
    EXPECT_EQ(torn, 0);
}

// "Our own address" compares addresses, not spellings (names are not looked
// up); a remote of the other family is refused naming the setting.
TEST(AddressRules, SameAddressIsFamilyAwareAndOtherFamiliesAreRefused)
{
    EXPECT_TRUE(zqm::IsSameAddress("127.0.0.1", "::ffff:127.0.0.1"));
    EXPECT_TRUE(zqm::IsSameAddress("::1", "[0:0::1]"));
    EXPECT_TRUE(zqm::IsSameAddress("localhost", "localhost"));
    EXPECT_FALSE(zqm::IsSameAddress("localhost", "127.0.0.1"));
    EXPECT_FALSE(zqm::IsSameAddress("fe80::1%lo", "fe80::1"));
    EXPECT_FALSE(zqm::IsSameAddress("", "127.0.0.1"));

    LogCapture log;
    EXPECT_TRUE(zqm::CheckAddressFamilies("::1", "::1", ""));
    EXPECT_TRUE(zqm::CheckAddressFamilies("::1", "999.1.1.1", "::1")) << "the address check reports that one";
    EXPECT_TRUE(zqm::CheckAddressFamilies("", "127.0.0.1", "")) << "no local address: IPv4";
    EXPECT_FALSE(zqm::CheckAddressFamilies("127.0.0.1", "::1", "::1"));
    EXPECT_FALSE(zqm::CheckAddressFamilies("", "127.0.0.1", "::1"));
    EXPECT_EQ(log.Texts("zqmrtpsocket"),
              (std::vector<std::string>{
                  "<--RTPSocket-->RemoteIPAddress [::1] is an IPv6 address but LocalIPAddress [127.0.0.1] is IPv4: "
                  "both must be of one family.",
                  "<--RTPSocket-->remote RTCP address [::1] is an IPv6 address but LocalIPAddress [] is IPv4: both "
                  "must be of one family.",
              }));
}

// One port number, two families: two sockets, each shared within its family
// and released on its own.
TEST(SharedSocketFamilies, EachFamilyHasItsOwnSocketOnAPort)
{
    LogCapture log;
    std::string port;
    for (int attempt = 0; attempt < 20 && port.empty(); ++attempt) {
        const std::string candidate = testsupport::FreePort("127.0.0.1");
        ZQCSocket probe;
        if (probe.CreateSocket(ZQCSocket::kDatagram, "::1") == 0 &&
            probe.Bind(ZQCSocket::kDatagram, "::1", candidate.c_str()) == 0) {
            port = candidate;
        }
    }
    ASSERT_FALSE(port.empty()) << "no port free on both loopbacks";
    RTPSocket* v4 = AcquireRTPSocket("127.0.0.1", port.c_str());
    RTPSocket* v6 = AcquireRTPSocket("::1", port.c_str());
    RTPSocket* v6again = AcquireRTPSocket("[::1]", port.c_str());
    ASSERT_NE(v4, nullptr);
    ASSERT_NE(v6, nullptr);
    EXPECT_NE(v4, v6);
    EXPECT_EQ(v6again, v6);
    EXPECT_EQ(v6->GetFamily(), AF_INET6);
    EXPECT_EQ(zqm::FindSharedRTPSocket(AF_INET6, std::stoi(port)), v6);
    EXPECT_EQ(zqm::FindSharedRTPSocket(std::stoi(port)), v4);
    ReleaseRTPSocket(&v4);
    EXPECT_EQ(zqm::FindSharedRTPSocket(std::stoi(port)), v6) << "the IPv6 one stays";
    ReleaseRTPSocket(&v6);
    ReleaseRTPSocket(&v6again);
    EXPECT_EQ(zqm::SharedRTPSocketCount(), 0u);
    EXPECT_EQ(log.CountContaining("Not in map"), 0);
}

}  // namespace
