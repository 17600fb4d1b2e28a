// UDP sockets of the core library over loopback, on ports picked at run time.
#include <gtest/gtest.h>

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

// A datagram socket bound to a free loopback port.
std::unique_ptr<ZQCSocket> BoundSocket()
{
    auto socket = std::make_unique<ZQCSocket>();
    EXPECT_GE(socket->CreateSocket(ZQCSocket::kDatagram, kLoopback), 0);
    EXPECT_GE(socket->Bind(ZQCSocket::kDatagram, kLoopback, "0"), 0);
    EXPECT_GE(socket->SetNonBlocking(true), 0);
    EXPECT_NE(socket->GetBoundPort(), 0);
    return socket;
}

ZQCSocketAddress AddressOf(const ZQCSocket& socket)
{
    return ZQCSocketAddress(ZQCSocket::kDatagram, kLoopback, std::to_string(socket.GetBoundPort()).c_str());
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
    const ZQCSocketAddress unresolved(ZQCSocket::kDatagram, "999.1.1.1", "5004");
    EXPECT_TRUE(unresolved.IsEmpty());
    EXPECT_STREQ(unresolved.GetAddress(), "");
    EXPECT_LT(bound->SendTo(buffer, 4, unresolved), 0);
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

// An ICMP error is news for the sender only: the send it reaches answers
// kPeerUnreachable (its datagram still goes), while a reader neither wakes
// for it nor loses the datagrams queued behind it.
TEST(ZQCSocket, IcmpErrorsReachTheSenderAsUnreachableAndNeverTheReader)
{
    auto socket = BoundSocket();
    auto peer = BoundSocket();
    const ZQCSocketAddress closed = AddressOf(*BoundSocket());  // bound, then closed at once
    const char payload[] = "datagram";
    char buffer[16] = {};
    ZQCSocketAddress from;
    ASSERT_EQ(socket->SendTo(payload, sizeof payload, closed), static_cast<int>(sizeof payload));
    EXPECT_EQ(socket->SendTo(payload, sizeof payload, closed), ZQCSocket::kPeerUnreachable);
    EXPECT_EQ(socket->SendTo(payload, sizeof payload, AddressOf(*peer)), static_cast<int>(sizeof payload))
        << "the error named another destination";
    ASSERT_EQ(peer->WaitReadable(5000, nullptr), 1);
    EXPECT_EQ(peer->RecvFrom(buffer, sizeof buffer, from), static_cast<int>(sizeof payload));

    ASSERT_EQ(socket->SendTo(payload, sizeof payload, closed), static_cast<int>(sizeof payload))
        << "the last error was read by the send to the other destination";
    EXPECT_EQ(socket->WaitReadable(0, nullptr), 0) << "an error alone is nothing to read";
    ASSERT_EQ(socket->SendTo(payload, sizeof payload, closed), static_cast<int>(sizeof payload))
        << "the reader dropped the error";
    ASSERT_EQ(peer->SendTo(payload, sizeof payload, AddressOf(*socket)), static_cast<int>(sizeof payload));
    ASSERT_EQ(socket->WaitReadable(5000, nullptr), 1);
    EXPECT_EQ(socket->RecvFrom(buffer, sizeof buffer, from), static_cast<int>(sizeof payload))
        << "the datagram behind the error";
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
