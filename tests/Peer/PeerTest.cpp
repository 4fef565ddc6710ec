// The peer-session layer: several peers of one process over loopback.
#include "PeerSupport.h"

using namespace vorntest;

namespace {

class PeerTest : public NetSuite {
protected:
    void TearDown() override
    {
        j.clear();
        host.reset();
        NetSuite::TearDown();
    }
    // The host on a free port and n joiners, each joined; returns once every peer lists every player.
    uint16_t Session(size_t n, uint32_t flags = VORN_PEER_SESSION_MIGRATE_HOST)
    {
        const uint16_t port = FreePort();
        EXPECT_EQ(VORN_PEER_OK, host->Host(port, flags));
        std::vector<TestPeer*> all = {host.get()};
        for (size_t i = 0; i < n; ++i) {
            j.push_back(std::make_unique<TestPeer>((L"joiner" + std::to_wstring(i)).c_str()));
            EXPECT_EQ(VORN_PEER_OK, j.back()->Join(port));
            all.push_back(j.back().get());
        }
        EXPECT_TRUE(AllSee(all, n + 1));
        return port;
    }
    // The session's instance, from the host's answer to a search (its current players in *players).
    static VornPeerGuid Instance(uint16_t port, uint32_t* players = nullptr)
    {
        TestPeer searcher(L"searcher");
        VornPeerAppDesc desc = {sizeof desc, 0, {}, kTestApplication};
        VornPeerAddress* at = TestPeer::Address(L"127.0.0.1", port);
        uintptr_t search = 0;
        EXPECT_EQ(VORN_PEER_OK, searcher.peer->EnumHosts(&desc, at, nullptr, 0, &search));
        at->Release();
        Seen answer = {};
        EXPECT_TRUE(WaitFor([&] { return searcher.Find(VORN_PEER_MSG_ENUM_HOSTS_RESPONSE, &answer); }));
        EXPECT_EQ("room", answer.data);
        if (players) *players = answer.id;
        searcher.peer->CancelAsyncOperation(search);
        EXPECT_TRUE(WaitFor([&] { return searcher.Find(VORN_PEER_MSG_ASYNC_OP_COMPLETE); }));
        return answer.instance;
    }
    // A raw link that says HELLO as player id: the host lists it (unless the name's terminator is cut).
    static SOCKET RawPlayer(uint16_t port, const VornPeerGuid& instance, uint32_t id, bool cutName = false)
    {
        VornPeerWire::Frame hello;
        hello.type = VornPeerWire::HELLO;
        std::memcpy(hello.instance.bytes, &instance, 16);
        hello.name = u"raw";
        hello.id = id;
        std::vector<uint8_t> frame;
        VornPeerWire::Encode(hello, &frame);
        if (cutName) frame[frame.size() - 2] = 'C';
        const SOCKET raw = ConnectFrom("127.0.0.1", port);
        Whole(raw, frame.data(), frame.size(), true);
        return raw;
    }
    static bool AllSee(const std::vector<TestPeer*>& peers, size_t players)
    {
        return WaitFor([&] {
            for (TestPeer* p : peers)
                if (p->Players().size() != players) return false;
            return true;
        });
    }

    std::unique_ptr<TestPeer> host = std::make_unique<TestPeer>(L"host");
    std::vector<std::unique_ptr<TestPeer>> j;
};

TEST_F(PeerTest, HostAndTwoJoinersSeeTheSamePlayersAndIds)
{
    Session(2);
    const std::vector<uint32_t> ids = host->Players();
    EXPECT_EQ(ids, j[0]->Players());
    EXPECT_EQ(ids, j[1]->Players());
    EXPECT_EQ(0u, std::count(ids.begin(), ids.end(), 0u));
    EXPECT_EQ(ids[0], host->LocalId());
    // The host's own player is created (local and host) before Host returns; names and flags
    // are the same everywhere.
    const std::vector<Seen> created = host->Of(VORN_PEER_MSG_CREATE_PLAYER);
    EXPECT_EQ(int32_t(VORN_PEER_PLAYER_LOCAL | VORN_PEER_PLAYER_HOST), created[0].result);
    for (auto& peer : j) {
        for (const Seen& s : peer->Of(VORN_PEER_MSG_CREATE_PLAYER)) {
            const std::string want = s.id == ids[0] ? "host" : s.id == j[0]->LocalId() ? "joiner0" : "joiner1";
            EXPECT_EQ(want, s.data);
            EXPECT_EQ(s.id == ids[0], (s.result & int32_t(VORN_PEER_PLAYER_HOST)) != 0);
            EXPECT_EQ(s.id == peer->LocalId(), (s.result & int32_t(VORN_PEER_PLAYER_LOCAL)) != 0);
        }
    }
}

TEST_F(PeerTest, TheThirtyThirdJoinIsRefused)
{
    const uint16_t port = Session(31);
    TestPeer late(L"late");
    EXPECT_EQ(VORN_PEER_SESSION_FULL, late.Join(port));
    EXPECT_EQ(VORN_PEER_NO_CONNECTION, TestPeer(L"lost").Join(FreePort()));   // nobody there
    EXPECT_TRUE(late.Players().empty());
    EXPECT_EQ(32u, host->Players().size());
}

TEST_F(PeerTest, AThousandMessagesFromEachOfTwoSendersArriveWholeAndInOrder)
{
    Session(2);
    auto message = [](int sender, int i) { return std::to_string(i) + ":" + Pattern(size_t(i * 37 % 3000), uint32_t(sender * 10000 + i)); };
    std::thread senders[2];
    for (int s = 0; s < 2; ++s)
        senders[s] = std::thread([&, s] {
            for (int i = 0; i < 1000; ++i) j[s]->Send(host->LocalId(), message(s, i));
        });
    for (std::thread& t : senders) t.join();
    ASSERT_TRUE(WaitFor([&] { return host->Of(VORN_PEER_MSG_RECEIVE).size() == 2000; }));
    int next[2] = {0, 0};
    for (const Seen& s : host->Of(VORN_PEER_MSG_RECEIVE)) {
        const int sender = s.id == j[0]->LocalId() ? 0 : 1;
        ASSERT_EQ(message(sender, next[sender]), s.data);
        EXPECT_EQ(1, s.result);
        ++next[sender];
    }
}

TEST_F(PeerTest, IdZeroReachesEveryoneTheSenderIncludedOnce)
{
    Session(2);
    ASSERT_EQ(VORN_PEER_OK, j[0]->Send(0, "to all"));
    for (TestPeer* p : {host.get(), j[0].get(), j[1].get()})
        EXPECT_TRUE(WaitFor([&] { return p->Of(VORN_PEER_MSG_RECEIVE).size() == 1; }));
    Sleep(200);
    for (TestPeer* p : {host.get(), j[0].get(), j[1].get()}) {
        ASSERT_EQ(1u, p->Of(VORN_PEER_MSG_RECEIVE).size());
        EXPECT_EQ(j[0]->LocalId(), p->Of(VORN_PEER_MSG_RECEIVE)[0].id);
    }
    EXPECT_EQ(VORN_PEER_TOO_LARGE, j[0]->Send(0, std::string(VORN_PEER_MAX_PAYLOAD + 1, 'x')));
    EXPECT_EQ(VORN_PEER_INVALID_PLAYER, j[0]->Send(999, "nobody"));
}

TEST_F(PeerTest, TheHostLeavingMigratesToTheLowestIdAndTheNewHostTakesJoins)
{
    Session(3);
    const uint32_t oldHost = host->LocalId();
    host->peer->Close();
    EXPECT_EQ(0u, host->Players().size());   // Close told of every player
    const uint32_t lowest = std::min({j[0]->LocalId(), j[1]->LocalId(), j[2]->LocalId()});
    for (auto& p : j) {
        ASSERT_TRUE(WaitFor([&] { return p->Find(VORN_PEER_MSG_HOST_MIGRATE); }));
        const std::vector<Seen> seen = p->Events();
        const auto destroyed = std::find_if(seen.begin(), seen.end(), [&](const Seen& s) {
            return s.message == VORN_PEER_MSG_DESTROY_PLAYER && s.id == oldHost;
        });
        const auto migrated = std::find_if(seen.begin(), seen.end(), [](const Seen& s) { return s.message == VORN_PEER_MSG_HOST_MIGRATE; });
        EXPECT_LT(destroyed, migrated);
        EXPECT_EQ(lowest, migrated->id);
    }
    // The new host answers joins on its own port.
    TestPeer* newHost = j[0]->LocalId() == lowest ? j[0].get() : j[1]->LocalId() == lowest ? j[1].get() : j[2].get();
    VornPeerAddress* mine[4] = {};
    uint32_t count = 4;
    ASSERT_EQ(VORN_PEER_OK, newHost->peer->GetLocalHostAddresses(mine, &count));
    uint32_t port = 0, size = 4;
    mine[0]->GetComponentByName(L"port", &port, &size, nullptr);
    for (uint32_t i = 0; i < count; ++i) mine[i]->Release();
    TestPeer late(L"late");
    ASSERT_EQ(VORN_PEER_OK, late.Join(uint16_t(port)));
    EXPECT_TRUE(AllSee({&late, j[0].get(), j[1].get(), j[2].get()}, 4));
    const std::vector<uint32_t> ids = late.Players();
    EXPECT_EQ(0u, std::count(ids.begin(), ids.end(), oldHost));   // ids are never reused
}

TEST_F(PeerTest, WithoutTheMigrateFlagTheHostLeavingEndsTheSession)
{
    Session(1, 0);
    host.reset();
    ASSERT_TRUE(WaitFor([&] { return j[0]->Find(VORN_PEER_MSG_TERMINATE_SESSION); }));
    EXPECT_FALSE(j[0]->Find(VORN_PEER_MSG_HOST_MIGRATE));
    EXPECT_TRUE(WaitFor([&] { return j[0]->Players().empty(); }));
    EXPECT_EQ(VORN_PEER_NO_CONNECTION, j[0]->Send(0, "x"));
}

// A raw link that says HELLO with the session's instance, then sends bad bytes: the host drops it
// (DESTROY_PLAYER) and goes on. The instance comes from the host's answer to a search.
TEST_F(PeerTest, BadFramesDropTheSenderAndTheSessionGoesOn)
{
    const uint16_t port = Session(1);
    // Garbage datagrams to the host's port are ignored: a search still gets its answer.
    const SOCKET udp = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = inet_addr("127.0.0.1");
    for (const std::string& junk : {std::string("VP\x01\x06\xFF\xFF\xFF\xFF", 8), std::string(1400, '\xEE'), std::string("VP")})
        sendto(udp, junk.data(), int(junk.size()), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    closesocket(udp);
    uint32_t players = 0;
    const VornPeerGuid instance = Instance(port, &players);
    EXPECT_EQ(2u, players);

    // A listed player sending a bad frame is dropped.
    struct Case { const char* what; std::string bytes; bool endAfter; };
    const Case cases[] = {
        {"truncated", std::string("VP\x01\x05\x64\x00\x00\x00" "0123456789", 18), true},
        {"oversized", std::string("VP\x01\x05\x01\x00\x01\x00", 8), false},
        {"unknown type", std::string("VP\x01\x63\x00\x00\x00\x00", 8), false},
        {"bad magic", std::string("PV\x01\x05\x00\x00\x00\x00", 8), false},
    };
    uint32_t id = 100;
    for (const Case& c : cases) {
        const SOCKET raw = RawPlayer(port, instance, ++id);
        ASSERT_TRUE(WaitFor([&] { return host->Players().size() == 3; })) << c.what;
        Whole(raw, c.bytes.data(), c.bytes.size(), true);
        if (c.endAfter) shutdown(raw, SD_SEND);
        EXPECT_TRUE(WaitFor([&] { return host->Players().size() == 2; })) << c.what;
        EXPECT_EQ("", RecvToEnd(raw)) << c.what;   // closed by the host
        closesocket(raw);
    }
    // A HELLO whose name is not terminated never makes a player.
    const SOCKET raw = RawPlayer(port, instance, 200, true);
    EXPECT_EQ("", RecvToEnd(raw));
    closesocket(raw);
    EXPECT_EQ(2u, host->Players().size());
    ASSERT_EQ(VORN_PEER_OK, j[0]->Send(host->LocalId(), "still here"));
    EXPECT_TRUE(WaitFor([&] { return host->Find(VORN_PEER_MSG_RECEIVE); }));
}

TEST_F(PeerTest, APlayerThatNeverReadsIsDroppedWhenItsQueueFills)
{
    const uint16_t port = Session(0);
    const SOCKET raw = RawPlayer(port, Instance(port), 50);
    ASSERT_TRUE(WaitFor([&] { return host->Players().size() == 2; }));
    const std::string block(VORN_PEER_MAX_PAYLOAD, 'q');
    int sent = 0;
    while (sent < 4096 && host->Send(50, block) == VORN_PEER_OK) ++sent;
    EXPECT_TRUE(WaitFor([&] { return host->Players().size() == 1; })) << sent;
    EXPECT_EQ(VORN_PEER_INVALID_PLAYER, host->Send(50, "x"));
    closesocket(raw);
}

TEST_F(PeerTest, CloseIsRefusedInsideTheHandlerAndTellsEveryPlayerOutside)
{
    Session(1);
    std::atomic<VornPeerResult> inside{VORN_PEER_OK};
    host->onMessage = [&](TestPeer& self, uint32_t message, void*) {
        if (message == VORN_PEER_MSG_RECEIVE) inside = self.peer->Close();
    };
    j[0]->Send(host->LocalId(), "close now");
    ASSERT_TRUE(WaitFor([&] { return host->Find(VORN_PEER_MSG_RECEIVE); }));
    EXPECT_EQ(VORN_PEER_INVALID_CALL, inside.load());
    host->onMessage = nullptr;
    EXPECT_EQ(VORN_PEER_OK, host->peer->Close());
    EXPECT_TRUE(host->Players().empty());
    const size_t seen = host->Events().size();
    j[0]->Send(0, "after close");
    Sleep(200);
    EXPECT_EQ(seen, host->Events().size());   // the handler is never called again
}

}  // namespace
