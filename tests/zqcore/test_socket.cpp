// UDP sockets of the core library over loopback (127.0.0.1 and ::1), on
// ports picked at run time.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>

#include "zqcsocket.h"
#include "zqcsocketaddress.h"
#include "zqcwakeevent.h"

namespace {

constexpr const char* kLoopback = "127.0.0.1";
constexpr const char* kLoopbackV6 = "::1";

// A datagram socket bound to a free loopback port.
std::unique_ptr<ZQCSocket> BoundSocket(const char* loopback = kLoopback)
{
    auto socket = std::make_unique<ZQCSocket>();
    EXPECT_GE(socket->CreateSocket(ZQCSocket::kDatagram, loopback), 0);
    EXPECT_GE(socket->Bind(ZQCSocket::kDatagram, loopback, "0"), 0);
    EXPECT_GE(socket->SetNonBlocking(true), 0);
    EXPECT_NE(socket->GetBoundPort(), 0);
    return socket;
}

ZQCSocketAddress AddressOf(const ZQCSocket& socket, const char* loopback = kLoopback)
{
    return ZQCSocketAddress(ZQCSocket::kDatagram, loopback, std::to_string(socket.GetBoundPort()).c_str());
}

int IntOption(const ZQCSocket& socket, int level, int name)
{
    int value = -1;
    socklen_t length = sizeof value;
    return getsockopt(socket.GetDescriptor(), level, name, &value, &length) == 0 ? value : -1;
}

TEST(ZQCSocket, UnusableCallsAndATakenPortAnswerFailure)
{
    auto first = BoundSocket();
    ZQCSocket second;
    ASSERT_GE(second.CreateSocket(ZQCSocket::kDatagram, kLoopback), 0);
    EXPECT_LT(second.Bind(ZQCSocket::kDatagram, kLoopback, std::to_string(first->GetBoundPort()).c_str()), 0);

    ZQCSocket socket;
    char buffer[8] = {};
    ZQCSocketAddress from;
    EXPECT_LT(socket.Bind(ZQCSocket::kDatagram, kLoopback, "0"), 0) << "not created yet";
    EXPECT_LT(socket.RecvFrom(buffer, sizeof buffer, from), 0);
    EXPECT_LT(socket.CreateSocket(2, kLoopback), 0) << "only datagram sockets";
    EXPECT_LT(socket.CreateSocket(ZQCSocket::kDatagram, "a b"), 0);

    auto bound = BoundSocket();
    EXPECT_LT(bound->SendTo(buffer, 4, ZQCSocketAddress()), 0);
    EXPECT_LT(bound->SendTo(buffer, 4, ZQCSocketAddress(ZQCSocket::kDatagram, "999.1.1.1", "5004")), 0)
        << "an address that did not resolve";
}

// Datagrams travel over loopback with their sender. A connected socket still
// sends to any address, and its peer's refusal (an ICMP port unreachable)
// fails a later send once, as on an unconnected one.
TEST(ZQCSocket, ConnectedSocketReachesEveryAddressAndReportsItsPeersRefusal)
{
    auto sender = BoundSocket();
    auto peer = BoundSocket();
    auto other = BoundSocket();
    ASSERT_EQ(sender->Connect(AddressOf(*peer)), 0);
    const char payload[] = "\x80\x60\x00\x01 rtp";
    char buffer[16] = {};
    ZQCSocketAddress from;
    for (ZQCSocket* receiver : {peer.get(), other.get()}) {
        ASSERT_EQ(sender->SendTo(payload, sizeof payload, AddressOf(*receiver)), static_cast<int>(sizeof payload));
        ASSERT_EQ(receiver->WaitReadable(5000, nullptr), 1);
        ASSERT_EQ(receiver->RecvFrom(buffer, sizeof buffer, from), static_cast<int>(sizeof payload));
        EXPECT_EQ(std::memcmp(buffer, payload, sizeof payload), 0);
        EXPECT_STREQ(from.GetAddress(), kLoopback);
        EXPECT_EQ(std::string(from.GetPort()), std::to_string(sender->GetBoundPort()));
        EXPECT_LE(receiver->RecvFrom(buffer, sizeof buffer, from), 0) << "nothing more waits";
    }

    const ZQCSocketAddress gone = AddressOf(*peer);
    peer.reset();  // its port answers "port unreachable" from now on
    int refused = 0;
    for (int attempt = 0; attempt < 100 && refused == 0; ++attempt) {
        refused = sender->SendTo(payload, sizeof payload, gone) < 0 ? 1 : 0;
    }
    EXPECT_EQ(refused, 1) << "the refusal never reached a send";
    EXPECT_EQ(sender->SendTo(payload, sizeof payload, AddressOf(*other)), static_cast<int>(sizeof payload))
        << "a refusal fails one send, not the socket";

    ZQCSocket unopened;
    EXPECT_LT(unopened.Connect(gone), 0);
    EXPECT_LT(sender->Connect(ZQCSocketAddress()), 0);
    const ZQCSocketAddress portZero(ZQCSocket::kDatagram, kLoopback, "0");
    EXPECT_LT(sender->Connect(portZero), 0);
    EXPECT_LT(sender->SendTo(payload, sizeof payload, portZero), 0) << "port 0 stays an error";
}

// An ICMP error (ICMPv6 alike) is news for the sender only: the send it
// reaches answers kPeerUnreachable (its datagram still goes), while a reader
// neither wakes for it nor loses the datagrams queued behind it.
TEST(ZQCSocket, IcmpErrorsReachTheSenderAsUnreachableAndNeverTheReader)
{
    for (const char* loopback : {kLoopback, kLoopbackV6}) {
        SCOPED_TRACE(loopback);
        auto socket = BoundSocket(loopback);
        auto peer = BoundSocket(loopback);
        const ZQCSocketAddress closed = AddressOf(*BoundSocket(loopback), loopback);  // bound, then closed at once
        const char payload[] = "datagram";
        char buffer[16] = {};
        ZQCSocketAddress from;
        ASSERT_EQ(socket->SendTo(payload, sizeof payload, closed), static_cast<int>(sizeof payload));
        EXPECT_EQ(socket->SendTo(payload, sizeof payload, closed), ZQCSocket::kPeerUnreachable);
        EXPECT_EQ(socket->SendTo(payload, sizeof payload, AddressOf(*peer, loopback)), static_cast<int>(sizeof payload))
            << "the error named another destination";
        ASSERT_EQ(peer->WaitReadable(5000, nullptr), 1);
        EXPECT_EQ(peer->RecvFrom(buffer, sizeof buffer, from), static_cast<int>(sizeof payload));

        ASSERT_EQ(socket->SendTo(payload, sizeof payload, closed), static_cast<int>(sizeof payload))
            << "the last error was read by the send to the other destination";
        EXPECT_EQ(socket->WaitReadable(0, nullptr), 0) << "an error alone is nothing to read";
        ASSERT_EQ(socket->SendTo(payload, sizeof payload, closed), static_cast<int>(sizeof payload))
            << "the reader dropped the error";
        ASSERT_EQ(peer->SendTo(payload, sizeof payload, AddressOf(*socket, loopback)),
                  static_cast<int>(sizeof payload));
        ASSERT_EQ(socket->WaitReadable(5000, nullptr), 1);
        EXPECT_EQ(socket->RecvFrom(buffer, sizeof buffer, from), static_cast<int>(sizeof payload))
            << "the datagram behind the error";
    }
}

// A socket takes the family of its address (none: IPv4); datagrams travel
// over ::1 with their sender, a connected socket sends to its peer, and an
// address of the other family is refused at every step without harm.
TEST(ZQCSocket, IPv6SocketsCarryDatagramsAndRefuseTheOtherFamily)
{
    ZQCSocket any;
    ASSERT_EQ(any.CreateSocket(ZQCSocket::kDatagram, ""), 0);
    EXPECT_EQ(any.GetFamily(), AF_INET);
    EXPECT_LT(any.Bind(ZQCSocket::kDatagram, kLoopbackV6, "0"), 0) << "an IPv4 socket binds no IPv6 address";

    auto sender = BoundSocket(kLoopbackV6);
    auto receiver = BoundSocket(kLoopbackV6);
    auto receiverV4 = BoundSocket(kLoopback);
    EXPECT_EQ(sender->GetFamily(), AF_INET6);
    ZQCSocket unbound;
    ASSERT_EQ(unbound.CreateSocket(ZQCSocket::kDatagram, kLoopbackV6), 0);
    EXPECT_LT(unbound.Bind(ZQCSocket::kDatagram, kLoopback, "0"), 0) << "an IPv6 socket binds no IPv4 address";
    EXPECT_EQ(unbound.Bind(ZQCSocket::kDatagram, "", "0"), 0) << "empty: the IPv6 any address";

    const char payload[] = "over ::1";
    char buffer[16] = {};
    ZQCSocketAddress from;
    ASSERT_EQ(sender->Connect(AddressOf(*receiver, "[::1]")), 0);
    ASSERT_EQ(sender->SendTo(payload, sizeof payload, AddressOf(*receiver, kLoopbackV6)),
              static_cast<int>(sizeof payload));
    ASSERT_EQ(receiver->WaitReadable(5000, nullptr), 1);
    ASSERT_EQ(receiver->RecvFrom(buffer, sizeof buffer, from), static_cast<int>(sizeof payload));
    EXPECT_EQ(std::memcmp(buffer, payload, sizeof payload), 0);
    EXPECT_EQ(from.GetFamily(), AF_INET6);
    EXPECT_STREQ(from.GetAddress(), kLoopbackV6);
    EXPECT_EQ(std::string(from.GetPort()), std::to_string(sender->GetBoundPort()));
    ASSERT_EQ(receiver->SendTo(payload, sizeof payload, from), static_cast<int>(sizeof payload))
        << "back to the sender as received";
    ASSERT_EQ(sender->WaitReadable(5000, nullptr), 1);
    EXPECT_EQ(sender->RecvFrom(buffer, sizeof buffer, from), static_cast<int>(sizeof payload));

    EXPECT_EQ(sender->SendTo(payload, sizeof payload, AddressOf(*receiverV4)), ZQCSocket::kSendFailed);
    EXPECT_EQ(receiverV4->SendTo(payload, sizeof payload, AddressOf(*receiver, kLoopbackV6)),
              ZQCSocket::kSendFailed);
    EXPECT_LT(receiverV4->Connect(AddressOf(*receiver, kLoopbackV6)), 0);
    EXPECT_EQ(receiverV4->WaitReadable(0, nullptr), 0) << "nothing crossed families";
}

// The traffic class and the multicast hop limit are IPv6's TOS and TTL.
TEST(ZQCSocket, TosAndTtlOfAnIPv6SocketGoToItsOwnOptions)
{
    auto v6 = BoundSocket(kLoopbackV6);
    EXPECT_EQ(v6->SetIPTOS(0xB8), 0);
    EXPECT_EQ(IntOption(*v6, IPPROTO_IPV6, IPV6_TCLASS), 0xB8);
    EXPECT_EQ(v6->SetMulticastTileToLive(7), 0);
    EXPECT_EQ(IntOption(*v6, IPPROTO_IPV6, IPV6_MULTICAST_HOPS), 7);
}

TEST(WaitReadable, CancelEndsTheWaitPromptlyAndStaysSignalledUntilReset)
{
    std::unique_ptr<ZQCSocket> socket = BoundSocket();
    ZQCWakeEvent cancel;
    EXPECT_EQ(socket->WaitReadable(0, nullptr), 0) << "nothing waits";
    std::promise<void> waiting;
    auto waiter = std::async(std::launch::async, [&] {
        waiting.set_value();
        return socket->WaitReadable(60000, &cancel);
    });
    waiting.get_future().wait();
    cancel.Signal();
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "cancel did not wake the wait";
    EXPECT_EQ(waiter.get(), -1);
    EXPECT_EQ(socket->WaitReadable(60000, &cancel), -1) << "still signalled";
    cancel.Reset();
    EXPECT_FALSE(cancel.IsSignaled());
    EXPECT_EQ(socket->WaitReadable(10, &cancel), 0);
}

}  // namespace
