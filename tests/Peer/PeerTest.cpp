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
    Hostile hello(port);   // nor does a HELLO with the session's instance get around the limit
    hello.Say(Hostile::Of(VornPeerWire::HELLO, 40, Instance(port)));
    EXPECT_TRUE(hello.Closed());
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

// Whatever a stranger says out of turn closes its own link and makes no player; the session goes on,
// and the next joiner gets an id never given before.
TEST_F(PeerTest, StrangersAreRefusedOnTheirOwnLinkAndTheSessionGoesOn)
{
    LogCapture log;
    const uint16_t port = Session(1);
    const VornPeerGuid instance = Instance(port);
    // Garbage datagrams to the host's port are ignored: a search still gets its answer.
    const SOCKET udp = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = inet_addr("127.0.0.1");
    for (const std::string& junk : {std::string("VP\x01\x06\xFF\xFF\xFF\xFF", 8), std::string(1400, '\xEE'), std::string("VP")})
        sendto(udp, junk.data(), int(junk.size()), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    closesocket(udp);
    EXPECT_TRUE(Instance(port) == instance);

    using namespace VornPeerWire;
    std::string cutName = Hostile::Bytes(Hostile::Of(HELLO, 9, instance));
    cutName[cutName.size() - 2] = 'C';
    struct Case { const char* what; std::string bytes; Type answer; uint32_t refusal; };   // answer DATA: none
    const Case cases[] = {
        {"HELLO without JOIN", Hostile::Bytes(Hostile::Of(HELLO, 7, instance)), DATA, 0},
        {"HELLO pinning the last ids", Hostile::Bytes(Hostile::Of(HELLO, 0xFFFFFFFE, instance)), DATA, 0},
        {"HELLO whose name is not terminated", cutName, DATA, 0},
        {"DATA before JOIN", std::string("VP\x01\x05\x01\x00\x00\x00x", 9), DATA, 0},
        {"WELCOME to the host", Hostile::Bytes(Hostile::Of(WELCOME, 7)), DATA, 0},
        {"ADMIT from a stranger", Hostile::Bytes(Hostile::Of(ADMIT, 7)), DATA, 0},
        {"oversized", std::string("VP\x01\x05\x01\x00\x01\x00", 8), DATA, 0},
        {"unknown type", std::string("VP\x01\x63\x00\x00\x00\x00", 8), DATA, 0},
        {"bad magic", std::string("PV\x01\x05\x00\x00\x00\x00", 8), DATA, 0},
        {"JOIN of another application", Hostile::Bytes(Hostile::Of(JOIN, 0, {9})), REFUSE, uint32_t(VORN_PEER_INVALID_PARAM)},
        {"HELLO after JOIN", Hostile::Bytes(Hostile::Of(JOIN)) + Hostile::Bytes(Hostile::Of(HELLO, 7, instance)), WELCOME, 0},
        {"JOIN twice", Hostile::Bytes(Hostile::Of(JOIN)) + Hostile::Bytes(Hostile::Of(JOIN)), WELCOME, 0},
    };
    for (const Case& c : cases) {
        Hostile stranger(port);
        stranger.Say(c.bytes);
        if (c.answer != DATA) {
            const Hostile::Frame heard = stranger.Hear();
            EXPECT_EQ(c.answer, heard.type) << c.what;
            EXPECT_EQ(c.refusal, heard.result) << c.what;
        }
        EXPECT_TRUE(stranger.Closed()) << c.what;
        EXPECT_TRUE(WaitFor([&] { return host->Players().size() == 2; })) << c.what;
    }
    TestPeer late(L"late");
    ASSERT_EQ(VORN_PEER_OK, late.Join(port));
    EXPECT_TRUE(AllSee({host.get(), j[0].get(), &late}, 3));
    std::vector<uint32_t> created;
    for (const Seen& seen : host->Of(VORN_PEER_MSG_CREATE_PLAYER)) created.push_back(seen.id);
    EXPECT_EQ((std::vector<uint32_t>{1, 2, 3, 4, 5}), created);   // two strangers admitted and dropped, never an id twice
    EXPECT_EQ(11, log.Count(Blue("VornPeer::Link")));                // a line for every link closed, not for the refusal
    ASSERT_EQ(VORN_PEER_OK, j[0]->Send(host->LocalId(), "still here"));
    EXPECT_TRUE(WaitFor([&] { return host->Find(VORN_PEER_MSG_RECEIVE); }));
}

// A member takes as players only those the host announced: a stranger's HELLO waits for an ADMIT
// that never comes and is closed at its deadline; a JOIN is refused, an ADMIT closes the link.
TEST_F(PeerTest, AMemberTakesOnlyPlayersTheHostAnnounced)
{
    const uint16_t port = Session(1);
    VornPeerAddress* mine[4] = {};
    uint32_t count = 4, member = 0, size = 4;
    ASSERT_EQ(VORN_PEER_OK, j[0]->peer->GetLocalHostAddresses(mine, &count));
    mine[0]->GetComponentByName(L"port", &member, &size, nullptr);
    for (uint32_t i = 0; i < count; ++i) mine[i]->Release();
    using namespace VornPeerWire;
    const uint16_t at = uint16_t(member);
    Hostile hello(at), join(at), admit(at);
    hello.Say(Hostile::Of(HELLO, 9, Instance(port)));
    join.Say(Hostile::Of(JOIN));
    admit.Say(Hostile::Of(ADMIT, 9));
    const Hostile::Frame refused = join.Hear();
    EXPECT_EQ(std::make_pair(REFUSE, uint32_t(VORN_PEER_NOT_HOST)), std::make_pair(refused.type, refused.result));
    for (Hostile* h : {&hello, &join, &admit}) EXPECT_TRUE(h->Closed());
    EXPECT_EQ(2u, j[0]->Players().size());
    TestPeer late(L"late");   // the host's own joiner is announced and taken
    ASSERT_EQ(VORN_PEER_OK, late.Join(port));
    EXPECT_TRUE(AllSee({host.get(), j[0].get(), &late}, 3));
}

// A fake host's WELCOME is taken whole or not at all: the joiner makes no player of a bad one.
TEST_F(PeerTest, AJoinerRefusesABadRosterWholeAndMakesNoPlayer)
{
    const uint32_t loop = inet_addr("127.0.0.1");
    struct Case { const char* what; std::vector<std::pair<uint32_t, uint32_t>> roster; uint32_t you, host, max; bool ok; };   // (id, ip)
    const Case cases[] = {
        {"a sound roster", {{1, 0}}, 5, 1, 32, true},
        {"an id listed twice", {{1, 0}, {2, loop}, {2, loop}}, 5, 1, 32, false},
        {"without the host", {{2, loop}}, 5, 1, 32, false},
        {"the joiner listed", {{1, 0}, {5, loop}}, 5, 1, 32, false},
        {"over the limit", {{1, 0}, {2, loop}}, 5, 1, 2, false},
        {"id zero", {{1, 0}, {0, loop}}, 5, 1, 32, false},
        {"two players on the host's link", {{1, 0}, {2, 0}}, 5, 1, 32, false},
        {"the joiner as host", {{5, 0}}, 5, 5, 32, false},
    };
    for (const Case& c : cases) {
        const SOCKET listener = Bound("127.0.0.1", true);
        TestPeer joiner(L"joiner");
        VornPeerResult result = VORN_PEER_OK;
        std::thread joining([&] { result = joiner.Join(PortOf(listener)); });
        Hostile fake(accept(listener, nullptr, nullptr));
        closesocket(listener);
        EXPECT_EQ(VornPeerWire::JOIN, fake.Hear().type) << c.what;
        Hostile::Frame welcome = Hostile::Of(VornPeerWire::WELCOME, c.you);
        welcome.hostId = c.host;
        welcome.nextId = 6;
        std::memcpy(welcome.desc.application.bytes, &kTestApplication, 16);
        welcome.desc.maxPlayers = c.max;
        for (const auto& e : c.roster) welcome.roster.push_back({e.first, e.second, 9, u"p"});
        fake.Say(welcome);
        joining.join();
        EXPECT_EQ(c.ok, result == VORN_PEER_OK) << c.what;
        EXPECT_EQ(c.ok ? 2u : 0u, joiner.Of(VORN_PEER_MSG_CREATE_PLAYER).size()) << c.what;
    }
}

TEST_F(PeerTest, ThreeHundredSilentLinksNeitherLockPlayersOutNorStay)
{
    const uint16_t port = Session(0);
    std::vector<std::unique_ptr<Hostile>> silent;
    for (int i = 0; i < 300; ++i) silent.push_back(std::make_unique<Hostile>(port));
    TestPeer late(L"late");
    EXPECT_EQ(VORN_PEER_OK, late.Join(port));
    EXPECT_TRUE(AllSee({host.get(), &late}, 2));
    for (auto& h : silent)
        if (!h->Closed()) {   // pushed out by later ones, or past the deadline to say who it is
            ADD_FAILURE() << "a silent link stayed";
            break;
        }
}

TEST_F(PeerTest, AQueryFloodGetsNoMoreBytesBackThanItSent)
{
    const uint16_t port = Session(0);
    const SOCKET flood = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const DWORD ms = 2000;
    setsockopt(flood, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = inet_addr("127.0.0.1");
    Hostile::Frame query = Hostile::Of(VornPeerWire::QUERY);
    size_t sent = 0, got = 0, answers = 0;
    for (uint32_t i = 0; i < 2000; ++i) {   // odd tokens padded to the largest answer, even ones bare
        query.token = i;
        query.padding = i % 2 ? uint32_t(VornPeerWire::MAX_ANSWER_SIZE - VornPeerWire::HEADER_SIZE - 20) : 0;
        const std::string bytes = Hostile::Bytes(query);
        sent += bytes.size();
        sendto(flood, bytes.data(), int(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    char buffer[2048];
    for (int n; (n = recv(flood, buffer, sizeof buffer, 0)) > 0; got += size_t(n), ++answers) {
        Hostile::Frame answer;
        ASSERT_TRUE(VornPeerWire::DecodeDatagram(reinterpret_cast<const uint8_t*>(buffer), size_t(n), &answer));
        EXPECT_EQ(1u, answer.token % 2) << "a query smaller than its answer was answered";
    }
    closesocket(flood);
    EXPECT_GT(answers, 0u);
    EXPECT_LE(got, sent);
    TestPeer late(L"late");
    EXPECT_EQ(VORN_PEER_OK, late.Join(port));
}

TEST_F(PeerTest, AfterAMigrationASearchFindsTheNewHostWhereItsJoinersFoundIt)
{
    const uint16_t port = FreePort();
    ASSERT_EQ(VORN_PEER_OK, host->Host(port));
    for (int i = 0; i < 2; ++i) {
        j.push_back(std::make_unique<TestPeer>(L"joiner"));
        ASSERT_EQ(VORN_PEER_OK, j.back()->Join(port, true));   // from the device its search used
    }
    ASSERT_TRUE(AllSee({host.get(), j[0].get(), j[1].get()}, 3));
    host->peer->Close();
    TestPeer* newHost = j[0]->LocalId() < j[1]->LocalId() ? j[0].get() : j[1].get();
    ASSERT_TRUE(WaitFor([&] { return newHost->Find(VORN_PEER_MSG_HOST_MIGRATE); }));
    VornPeerAddress* mine[4] = {};
    uint32_t count = 4, newPort = 0, size = 4;
    ASSERT_EQ(VORN_PEER_OK, newHost->peer->GetLocalHostAddresses(mine, &count));
    mine[0]->GetComponentByName(L"port", &newPort, &size, nullptr);
    for (uint32_t i = 0; i < count; ++i) mine[i]->Release();
    uint32_t players = 0;
    Instance(uint16_t(newPort), &players);
    EXPECT_EQ(2u, players);
}

// Answers that wait while the handler is busy are dropped when their search is cancelled, and each
// says which search it answers.
TEST_F(PeerTest, ACancelledSearchsQueuedAnswersNeverArrive)
{
    const uint16_t port = Session(0);
    TestPeer searcher(L"searcher");
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> held{0};
    searcher.onMessage = [&](TestPeer&, uint32_t message, void*) {
        if (message == VORN_PEER_MSG_ENUM_HOSTS_RESPONSE && held++ == 0) WaitForSingleObject(go, 10000);
    };
    VornPeerAppDesc desc = {sizeof desc, 0, {}, kTestApplication};
    VornPeerAddress* at = TestPeer::Address(L"127.0.0.1", port);
    uintptr_t search = 0;
    ASSERT_EQ(VORN_PEER_OK, searcher.peer->EnumHosts(&desc, at, nullptr, 50, &search));
    at->Release();
    ASSERT_TRUE(WaitFor([&] { return held == 1; }));
    Sleep(500);   // more answers come in and wait
    searcher.peer->CancelAsyncOperation(search);
    SetEvent(go);
    ASSERT_TRUE(WaitFor([&] { return searcher.Find(VORN_PEER_MSG_ASYNC_OP_COMPLETE); }));
    Sleep(300);
    CloseHandle(go);
    ASSERT_EQ(1u, searcher.Of(VORN_PEER_MSG_ENUM_HOSTS_RESPONSE).size());
    EXPECT_EQ(int32_t(search), searcher.Of(VORN_PEER_MSG_ENUM_HOSTS_RESPONSE)[0].result);
}

// Host delivers its own player while the worker is inside the handler: the two never overlap.
TEST_F(PeerTest, HostDeliversItsOwnPlayerInTurnWithTheWorker)
{
    const uint16_t port = Session(0);
    TestPeer peer(L"peer");
    std::atomic<int> inside{0}, overlaps{0};
    std::atomic<bool> searching{false};
    peer.onMessage = [&](TestPeer&, uint32_t message, void*) {
        overlaps += inside++ != 0;
        if (message == VORN_PEER_MSG_ENUM_HOSTS_RESPONSE) searching = true, Sleep(300);
        --inside;
    };
    VornPeerAppDesc desc = {sizeof desc, 0, {}, kTestApplication};
    VornPeerAddress* at = TestPeer::Address(L"127.0.0.1", port);
    uintptr_t search = 0;
    ASSERT_EQ(VORN_PEER_OK, peer.peer->EnumHosts(&desc, at, nullptr, 0, &search));
    at->Release();
    ASSERT_TRUE(WaitFor([&] { return searching.load(); }));
    ASSERT_EQ(VORN_PEER_OK, peer.Host(FreePort()));
    EXPECT_TRUE(peer.Find(VORN_PEER_MSG_CREATE_PLAYER));
    EXPECT_EQ(0, overlaps.load());
}

TEST_F(PeerTest, TheLastReleaseInsideTheHandlerClosesThePeerQuietly)
{
    Session(1);
    host->onMessage = [](TestPeer& self, uint32_t message, void*) {
        if (message != VORN_PEER_MSG_RECEIVE) return;
        self.peer->Release();
        self.peer = nullptr;
    };
    j[0]->Send(host->LocalId(), "bye");
    EXPECT_TRUE(WaitFor([&] { return j[0]->Find(VORN_PEER_MSG_HOST_MIGRATE) && j[0]->Players().size() == 1; }));
}

TEST_F(PeerTest, APlayerThatNeverReadsIsDroppedWhenItsQueueFills)
{
    const uint16_t port = Session(0);
    Hostile slow(port);
    slow.Say(Hostile::Of(VornPeerWire::JOIN));
    const uint32_t id = slow.Hear().id;
    ASSERT_TRUE(WaitFor([&] { return host->Players().size() == 2; }));
    const std::string block(VORN_PEER_MAX_PAYLOAD, 'q');
    int sent = 0;
    while (sent < 4096 && host->Send(id, block) == VORN_PEER_OK) ++sent;
    EXPECT_TRUE(WaitFor([&] { return host->Players().size() == 1; })) << sent;
    EXPECT_EQ(VORN_PEER_INVALID_PLAYER, host->Send(id, "x"));
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
