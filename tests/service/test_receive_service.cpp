// The receive service with clients of the test's own: every datagram read
// by the client it was sent to, clients spread over the threads allowed,
// ticks while registered, and nothing of a client after Unregister.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "loopback_fixture.h"
#include "service/receiveservice.h"

namespace {

using namespace testsupport;
using zqm::ReceiveService;

// Reads and counts what reaches its socket; can be told to hold its next
// callback until released.
class CountingClient : public zqm::ReceiveClient {
public:
    void OnReadable(int descriptor, int budget) override
    {
        uint8_t buffer[64];
        for (int read = 0; read < budget && recv(descriptor, buffer, sizeof buffer, MSG_DONTWAIT) > 0; ++read) {
            ++datagrams;
        }
        std::unique_lock lock(m_mutex);
        budgets.push_back(budget);
        m_inCallback = true;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return !m_hold; });
        m_inCallback = false;
    }
    void OnTick() override { ++ticks; }

    void Hold()
    {
        std::lock_guard lock(m_mutex);
        m_hold = true;
    }
    bool WaitInCallback()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return m_inCallback; });
    }
    void Release()
    {
        std::lock_guard lock(m_mutex);
        m_hold = false;
        m_changed.notify_all();
    }
    bool InCallback()
    {
        std::lock_guard lock(m_mutex);
        return m_inCallback;
    }

    std::vector<int> Budgets()
    {
        std::lock_guard lock(m_mutex);
        return budgets;
    }

    UdpPeer socket{"127.0.0.2"};
    std::atomic<int> datagrams{0};
    std::atomic<int> ticks{0};

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_hold = false;
    bool m_inCallback = false;
    std::vector<int> budgets;  // of every callback, in order
};

TEST(ReceiveService, EachClientGetsItsDatagramsAndTicksOnTheThreadsAllowed)
{
    constexpr int kClients = 6;
    ReceiveService service(2);
    std::vector<std::unique_ptr<CountingClient>> clients;
    UdpPeer sender;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<CountingClient>());
        const int descriptor = clients.back()->socket.Descriptor();
        ASSERT_TRUE(service.Register(clients.back().get(), {&descriptor, 1}));
        EXPECT_FALSE(service.Register(clients.back().get(), {&descriptor, 1})) << "a descriptor twice";
    }
    EXPECT_EQ(service.ThreadCount(), 2u);
    EXPECT_EQ(service.ClientCount(), static_cast<size_t>(kClients));
    for (int round = 1; round <= 50; ++round) {
        for (int i = 0; i < kClients; ++i) {
            ASSERT_TRUE(sender.SendTo("127.0.0.2", clients[i]->socket.Port(), Bytes(10 + i, 0)));
        }
    }
    for (const auto& client : clients) {
        EXPECT_TRUE(WaitUntil([&] { return client->datagrams.load() == 50 && client->ticks.load() >= 2; }))
            << client->datagrams.load() << " datagrams, " << client->ticks.load() << " ticks";
    }
    for (const auto& client : clients) {
        service.Unregister(client.get());
    }
    EXPECT_EQ(service.ClientCount(), 0u);
    EXPECT_EQ(service.ThreadCount(), 0u) << "the threads end with the last client";
}

// A ready socket is read for one datagram first (a paced stream holds one);
// one still readable after that is read in full, a budget at a time, in
// looks made at once.
TEST(ReceiveService, ABacklogIsReadInFullWithoutWaiting)
{
    constexpr int kQueued = 100;
    ReceiveService service(1);
    CountingClient client;
    UdpPeer sender;
    for (int i = 0; i < kQueued; ++i) {
        ASSERT_TRUE(sender.SendTo("127.0.0.2", client.socket.Port(), Bytes(8, static_cast<uint8_t>(i))));
    }
    // On loopback a send returns with its datagram queued at the receiver.
    const int descriptor = client.socket.Descriptor();
    ASSERT_TRUE(service.Register(&client, {&descriptor, 1}));
    ASSERT_TRUE(WaitUntil([&] { return client.datagrams.load() == kQueued; })) << client.datagrams.load();
    constexpr int kBacklog = ReceiveService::kBacklogBudget;
    EXPECT_EQ(client.Budgets(), (std::vector<int>{1, kBacklog, kBacklog, kBacklog, kBacklog}));
    service.Unregister(&client);
}

TEST(ReceiveService, UnregisterWaitsForARunningCallbackAndEndsEveryCallback)
{
    ReceiveService service(1);
    CountingClient client;
    const int descriptor = client.socket.Descriptor();
    ASSERT_TRUE(service.Register(&client, {&descriptor, 1}));
    client.Hold();
    UdpPeer sender;
    ASSERT_TRUE(sender.SendTo("127.0.0.2", client.socket.Port(), Bytes(4, 1)));
    ASSERT_TRUE(client.WaitInCallback());

    std::atomic<bool> unregistered{false};
    std::thread stopper([&] {
        service.Unregister(&client);
        unregistered = true;
    });
    // The callback is held: Unregister cannot have returned.
    EXPECT_FALSE(WaitUntil([&] { return unregistered.load(); }, 200));
    client.Release();
    stopper.join();
    EXPECT_FALSE(client.InCallback());

    const int ticks = client.ticks.load();
    ASSERT_TRUE(sender.SendTo("127.0.0.2", client.socket.Port(), Bytes(4, 2)));
    EXPECT_TRUE(client.socket.Receive(kWaitMs).size() == 4) << "the datagram stayed for its socket's owner";
    EXPECT_EQ(client.datagrams.load(), 1);
    EXPECT_EQ(client.ticks.load(), ticks);
}

// A client that leaves from its own callback, as a stack stopped by what it
// delivered would.
class LeavingClient : public CountingClient {
public:
    explicit LeavingClient(ReceiveService& service) : m_service(service) {}
    void OnReadable(int descriptor, int budget) override
    {
        CountingClient::OnReadable(descriptor, budget);
        m_service.Unregister(this);
        left = true;
    }
    std::atomic<bool> left{false};

private:
    ReceiveService& m_service;
};

TEST(ReceiveService, ClientMayUnregisterFromItsOwnCallback)
{
    ReceiveService service(1);
    LeavingClient client(service);
    const int descriptor = client.socket.Descriptor();
    ASSERT_TRUE(service.Register(&client, {&descriptor, 1}));
    UdpPeer sender;
    ASSERT_TRUE(sender.SendTo("127.0.0.2", client.socket.Port(), Bytes(4, 1)));
    EXPECT_TRUE(WaitUntil([&] { return client.left.load(); }));
    EXPECT_EQ(service.ClientCount(), 0u);
}

}  // namespace
