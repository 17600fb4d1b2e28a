// The receive service with clients of the test's own: every datagram read
// by the client it was sent to, one thread until it is busy and then
// clients handed to another, ticks while registered, never two callbacks of
// a client at once, and nothing of a client after Unregister.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

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
        const Entered entered(*this);
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
    void OnTick() override
    {
        const Entered entered(*this);
        ++ticks;
    }

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

    std::thread::id LastThread()
    {
        std::lock_guard lock(m_mutex);
        return m_lastThread;
    }

    UdpPeer socket{"127.0.0.2"};
    std::atomic<int> datagrams{0};
    std::atomic<int> ticks{0};
    std::atomic<int> overlaps{0};  // callbacks that began while another ran

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Marks a callback running, and notes where and whether another ran.
    struct Entered {
        explicit Entered(CountingClient& client) : m_client(client)
        {
            if (m_client.m_running.fetch_add(1) != 0) {
                ++m_client.overlaps;
            }
            std::lock_guard lock(m_client.m_mutex);
            m_client.m_lastThread = std::this_thread::get_id();
        }
        ~Entered() { m_client.m_running.fetch_sub(1); }
        CountingClient& m_client;
    };

    std::atomic<int> m_running{0};
    std::thread::id m_lastThread;
    bool m_hold = false;
    bool m_inCallback = false;
    std::vector<int> budgets;  // of every callback, in order
};

// Sends `rounds` datagrams to each client and waits until each has them all.
void SendRounds(std::vector<std::unique_ptr<CountingClient>>& clients, int rounds)
{
    UdpPeer sender;
    std::vector<int> before;
    for (const auto& client : clients) {
        before.push_back(client->datagrams.load());
    }
    for (int round = 1; round <= rounds; ++round) {
        for (size_t i = 0; i < clients.size(); ++i) {
            ASSERT_TRUE(sender.SendTo("127.0.0.2", clients[i]->socket.Port(), Bytes(10 + i, 0)));
        }
    }
    for (size_t i = 0; i < clients.size(); ++i) {
        EXPECT_TRUE(WaitUntil([&] { return clients[i]->datagrams.load() == before[i] + rounds; }))
            << clients[i]->datagrams.load() - before[i] << " of " << rounds;
    }
}

TEST(ReceiveService, EachClientGetsItsDatagramsAndTicksOnOneThreadWhileItIsNotBusy)
{
    constexpr int kClients = 6;
    ReceiveService service(2);
    std::vector<std::unique_ptr<CountingClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<CountingClient>());
        const int descriptor = clients.back()->socket.Descriptor();
        ASSERT_TRUE(service.Register(clients.back().get(), {&descriptor, 1}));
        EXPECT_FALSE(service.Register(clients.back().get(), {&descriptor, 1})) << "a descriptor twice";
    }
    EXPECT_EQ(service.ThreadCount(), 1u);
    EXPECT_EQ(service.ClientCount(), static_cast<size_t>(kClients));
    SendRounds(clients, 50);
    for (const auto& client : clients) {
        EXPECT_TRUE(WaitUntil([&] { return client->ticks.load() >= 2; })) << client->ticks.load() << " ticks";
        EXPECT_EQ(client->overlaps.load(), 0);
    }
    EXPECT_EQ(service.ThreadCount(), 1u) << "not busy: one thread serves them all";
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

// With a spread share of 0 the first thread counts as busy after its first
// measured second: it hands every other client to a second thread, which
// serves them from then on, one callback at a time. Clients come and go on
// another thread meanwhile (a hand-over must not lose or keep one).
TEST(ReceiveService, ABusyThreadHandsHalfItsClientsToANewOne)
{
    constexpr int kClients = 6;
    ReceiveService service(2, 0.0);
    std::vector<std::unique_ptr<CountingClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<CountingClient>());
        const int descriptor = clients.back()->socket.Descriptor();
        ASSERT_TRUE(service.Register(clients.back().get(), {&descriptor, 1}));
    }
    ASSERT_EQ(service.ThreadCount(), 1u);
    std::atomic<bool> churning{true};
    std::thread churn([&] {
        UdpPeer sender;
        while (churning.load()) {
            CountingClient passing;
            const int descriptor = passing.socket.Descriptor();
            ASSERT_TRUE(service.Register(&passing, {&descriptor, 1}));
            ASSERT_TRUE(sender.SendTo("127.0.0.2", passing.socket.Port(), Bytes(4, 7)));
            service.Unregister(&passing);
            EXPECT_EQ(passing.overlaps.load(), 0);
        }
    });
    SendRounds(clients, 20);
    const bool spread = WaitUntil([&] { return service.ThreadCount() == 2u; }, 5000);
    churning = false;
    churn.join();
    ASSERT_TRUE(spread);
    EXPECT_EQ(service.ClientCount(), static_cast<size_t>(kClients));
    SendRounds(clients, 20);
    std::set<std::thread::id> threads;
    for (const auto& client : clients) {
        threads.insert(client->LastThread());
        EXPECT_EQ(client->overlaps.load(), 0);
    }
    EXPECT_EQ(threads.size(), 2u) << "the clients are served by both threads";
    // A client registered now goes to the least busy thread; every one
    // leaves as usual.
    clients.push_back(std::make_unique<CountingClient>());
    const int descriptor = clients.back()->socket.Descriptor();
    ASSERT_TRUE(service.Register(clients.back().get(), {&descriptor, 1}));
    SendRounds(clients, 5);
    for (const auto& client : clients) {
        service.Unregister(client.get());
    }
    EXPECT_EQ(service.ThreadCount(), 0u);
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
