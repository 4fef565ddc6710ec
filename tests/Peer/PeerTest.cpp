// The peer-session layer: several peers of one process over loopback.
#include "PeerSupport.h"

using namespace vorntest;

namespace {

class PeerTest : public NetSuite {
protected:
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
    // The session's instance, from the host's answer to a search.
    static VornPeerGuid Instance(uint16_t port)
    {
        TestPeer searcher(L"searcher");
        searcher.Search(port);
        Seen answer = {};
        EXPECT_TRUE(WaitFor([&] { return searcher.Find(VORN_PEER_MSG_ENUM_HOSTS_RESPONSE, &answer); }));
        EXPECT_EQ("room", answer.data);
        return answer.instance;
    }
    static bool AllSee(const std::vector<TestPeer*>& peers, size_t players)
    {
        return WaitFor([&] { return std::all_of(peers.begin(), peers.end(), [&](TestPeer* p) { return p->Players().size() == players; }); });
    }

    std::unique_ptr<TestPeer> host = std::make_unique<TestPeer>(L"host");
    std::vector<std::unique_ptr<TestPeer>> j;
};

TEST_F(PeerTest, HostAndTwoJoinersSeeTheSamePlayersAndIdsAndIdZeroReachesEachOnce)
{
    Session(2);
    const std::vector<uint32_t> ids = host->Players(), first = j[0]->Players(), second = j[1]->Players();
    EXPECT_NAMED({"joiner0's players", first, ids}, {"joiner1's players", second, ids},
                 {"ids of 0", std::count(ids.begin(), ids.end(), 0u), 0}, {"the host's id", host->LocalId(), ids[0]});
    // The host's own player is created (local and host) before Host returns; names and flags
    // are the same everywhere.
    EXPECT_EQ(int32_t(VORN_PEER_PLAYER_LOCAL | VORN_PEER_PLAYER_HOST), host->Of(VORN_PEER_MSG_CREATE_PLAYER)[0].result);
    for (auto& peer : j)
        for (const Seen& s : peer->Of(VORN_PEER_MSG_CREATE_PLAYER)) {
            SCOPED_TRACE("player " + std::to_string(s.id));
            const std::string want = s.id == ids[0] ? "host" : s.id == j[0]->LocalId() ? "joiner0" : "joiner1";
            EXPECT_NAMED({"name", s.data, want}, {"host flag", (s.result & int32_t(VORN_PEER_PLAYER_HOST)) != 0, s.id == ids[0]},
                         {"local flag", (s.result & int32_t(VORN_PEER_PLAYER_LOCAL)) != 0, s.id == peer->LocalId()});
        }
    // To id 0: everyone, the sender included, once.
    ASSERT_EQ(VORN_PEER_OK, j[0]->Send(0, "to all"));
    EXPECT_TRUE(WaitFor([&] { return host->Find(VORN_PEER_MSG_RECEIVE) && j[0]->Find(VORN_PEER_MSG_RECEIVE) && j[1]->Find(VORN_PEER_MSG_RECEIVE); }));
    Sleep(200);
    for (TestPeer* p : {host.get(), j[0].get(), j[1].get()}) {
        const std::vector<Seen> got = p->Of(VORN_PEER_MSG_RECEIVE);
        EXPECT_NAMED({"messages", got.size(), 1u}, {"sender", got.empty() ? 0u : got[0].id, j[0]->LocalId()});
    }
    EXPECT_EQ(VORN_PEER_TOO_LARGE, j[0]->Send(0, std::string(VORN_PEER_MAX_PAYLOAD + 1, 'x')));
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

TEST_F(PeerTest, TheHostLeavingMigratesToTheLowestIdWhichAnswersSearchesAndTakesJoins)
{
    Session(3);
    host->peer->Close();
    TestPeer* newHost = j[0].get();   // the lowest id left
    ASSERT_LT(j[0]->LocalId(), std::min(j[1]->LocalId(), j[2]->LocalId()));
    for (auto& p : j) {
        Seen migrated = {};
        ASSERT_TRUE(WaitFor([&] { return p->Find(VORN_PEER_MSG_HOST_MIGRATE, &migrated); }));
        EXPECT_EQ(newHost->LocalId(), migrated.id);
    }
    // It answers searches and joins on its own port. A joiner takes over the port its search came from.
    Instance(newHost->ListenPort());
    TestPeer late(L"late");
    const uint16_t searched = FreePort();
    late.Search(newHost->ListenPort(), 0, searched);
    ASSERT_EQ(VORN_PEER_OK, late.Join(newHost->ListenPort(), searched));
    EXPECT_NAMED({"port", late.ListenPort(), searched}, {"search ended", late.Find(VORN_PEER_MSG_ASYNC_OP_COMPLETE), true});
    EXPECT_TRUE(AllSee({&late, j[0].get(), j[1].get(), j[2].get()}, 4));
}

// Whatever a stranger says out of turn closes its own link and makes no player (a member takes only
// players the host announced); a flood of queries gets no more bytes back than it sent; the session
// goes on. (The fuzz target says every frame out of turn, and every answer's size.)
TEST_F(PeerTest, StrangersAreRefusedOnTheirOwnLinkAQueryFloodGetsNoMoreBytesBackThanItSentAndTheSessionGoesOn)
{
    LogCapture log;
    const uint16_t port = Session(1);
    const VornPeerGuid instance = Instance(port);
    // Of 2000 queries, odd tokens padded to the largest answer and even ones bare, only padded ones
    // are answered; a search still gets its answer.
    const SOCKET udp = Patient(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP), 2000);
    const sockaddr_in to = At("127.0.0.1", port);
    size_t sent = 0, got = 0, answers = 0;
    Hostile::Frame query = Hostile::Of(VornPeerWire::QUERY);
    for (uint32_t i = 0; i < 2000; ++i) {
        query.token = i;
        query.padding = i % 2 ? uint32_t(VornPeerWire::MAX_ANSWER_SIZE - VornPeerWire::HEADER_SIZE - 20) : 0;
        const std::string bytes = Hostile::Bytes(query);
        sent += bytes.size();
        sendto(udp, bytes.data(), int(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    char buffer[2048];
    for (int n; (n = recv(udp, buffer, sizeof buffer, 0)) > 0; got += size_t(n), ++answers) {
        Hostile::Frame answer;
        ASSERT_TRUE(VornPeerWire::DecodeDatagram(reinterpret_cast<const uint8_t*>(buffer), size_t(n), &answer));
        EXPECT_EQ(1u, answer.token % 2) << "a query smaller than its answer was answered";
    }
    closesocket(udp);
    EXPECT_GT(answers, 0u);
    EXPECT_LE(got, sent) << answers << " answers";
    EXPECT_TRUE(Instance(port) == instance);

    using namespace VornPeerWire;
    struct Case { const char* what; Hostile::Frame frame; uint32_t refusal; uint16_t to; };   // refusal 0: none heard
    const Case cases[] = {
        {"HELLO without JOIN", Hostile::Of(HELLO, 7, instance), 0, port},
        {"JOIN of another application", Hostile::Of(JOIN, 0, {9}), uint32_t(VORN_PEER_INVALID_PARAM), port},
        {"JOIN to a member", Hostile::Of(JOIN), uint32_t(VORN_PEER_NOT_HOST), j[0]->ListenPort()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Hostile stranger(c.to);
        stranger.Say(c.frame);
        if (c.refusal) {
            const Hostile::Frame heard = stranger.Hear();
            EXPECT_NAMED({"type", int(heard.type), int(REFUSE)}, {"result", heard.result, c.refusal});
        }
        EXPECT_TRUE(stranger.Closed());
        EXPECT_TRUE(WaitFor([&] { return host->Players().size() == 2; }));
    }
    TestPeer late(L"late");
    ASSERT_EQ(VORN_PEER_OK, late.Join(port));
    EXPECT_TRUE(AllSee({host.get(), j[0].get(), &late}, 3));   // the host's own joiner is announced and taken
    EXPECT_EQ(1, log.Count(Blue("VornPeer::Link")));   // a line for every link closed, not for the refusals
    ASSERT_EQ(VORN_PEER_OK, j[0]->Send(host->LocalId(), "still here"));
    EXPECT_TRUE(WaitFor([&] { return host->Find(VORN_PEER_MSG_RECEIVE); }));
}

// The 32nd player still gets in past 300 silent links from 60 addresses (past the cap on links, whose
// oldest silent ones make room); the 33rd is refused.
TEST_F(PeerTest, ThreeHundredSilentLinksNeitherLockPlayersOutNorStayAndTheThirtyThirdJoinIsRefused)
{
    LogCapture log;
    const uint16_t port = Session(30);
    std::vector<std::unique_ptr<Hostile>> silent;
    for (int i = 0; i < 300; ++i) silent.push_back(std::make_unique<Hostile>(port, ("127.0.1." + std::to_string(1 + i % 60)).c_str()));
    TestPeer late(L"late"), full(L"full");
    EXPECT_EQ(VORN_PEER_OK, late.Join(port));
    EXPECT_TRUE(AllSee({host.get(), &late}, 32));
    // Each pushed out by later ones, or past the deadline to say who it is.
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](const std::unique_ptr<Hostile>& h) { return h->Closed(); }));
    EXPECT_EQ(VORN_PEER_SESSION_FULL, full.Join(port));
    EXPECT_EQ(VORN_PEER_NO_CONNECTION, TestPeer(L"lost").Join(FreePort()));   // nobody there
    EXPECT_NAMED({"the refused joiner's players", full.Players().size(), 0u}, {"the host's players", host->Players().size(), 32u},
                 {"links pushed out at the cap", log.Count(" too many links not yet identified: closed") > 0, true});
}

// Answers that wait while the handler is busy are dropped when their search is cancelled, and each
// says which search it answers; Host, called while the worker is inside the handler, delivers its own
// player in turn with it (the two never overlap).
TEST_F(PeerTest, ACancelledSearchsQueuedAnswersNeverArriveAndHostDeliversInTurnWithTheWorker)
{
    const uint16_t port = Session(0);
    TestPeer searcher(L"searcher");
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> held{0}, inside{0}, overlaps{0};
    searcher.onMessage = [&](TestPeer&, uint32_t message, void*) {
        overlaps += inside++ != 0;
        if (message == VORN_PEER_MSG_ENUM_HOSTS_RESPONSE && held++ == 0) WaitForSingleObject(go, 10000);
        --inside;
    };
    const uintptr_t search = searcher.Search(port, 50);
    ASSERT_TRUE(WaitFor([&] { return held == 1; }));   // answers that come meanwhile wait
    searcher.peer->CancelAsyncOperation(search);
    std::thread hosting([&] { EXPECT_EQ(VORN_PEER_OK, searcher.Host(FreePort())); });
    ASSERT_TRUE(WaitFor([&] { return searcher.ListenPort() != 0; }));   // Host is on its way to deliver
    SetEvent(go);
    hosting.join();
    CloseHandle(go);
    EXPECT_NAMED({"own player delivered", searcher.Find(VORN_PEER_MSG_CREATE_PLAYER), true}, {"overlapping calls", overlaps.load(), 0});
    // A message to itself comes after anything still queued.
    ASSERT_TRUE(WaitFor([&] { return searcher.Find(VORN_PEER_MSG_ASYNC_OP_COMPLETE); }));
    searcher.Send(searcher.LocalId(), "last");
    ASSERT_TRUE(WaitFor([&] { return searcher.Find(VORN_PEER_MSG_RECEIVE); }));
    ASSERT_EQ(1u, searcher.Of(VORN_PEER_MSG_ENUM_HOSTS_RESPONSE).size());
    EXPECT_EQ(int32_t(search), searcher.Of(VORN_PEER_MSG_ENUM_HOSTS_RESPONSE)[0].result);
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

// Close is refused inside the handler, where the last Release closes the peer quietly; outside, Close
// tells of every player and the handler is never called again.
TEST_F(PeerTest, CloseIsRefusedInsideTheHandlerWhereTheLastReleaseClosesQuietlyAndOutsideTellsEveryPlayer)
{
    Session(2);
    std::atomic<VornPeerResult> inside{VORN_PEER_OK};
    host->onMessage = [&](TestPeer& self, uint32_t message, void*) {
        if (message != VORN_PEER_MSG_RECEIVE) return;
        inside = self.peer->Close();
        self.peer->Release();
        self.peer = nullptr;
    };
    j[0]->Send(host->LocalId(), "bye");
    EXPECT_TRUE(WaitFor([&] { return j[0]->Find(VORN_PEER_MSG_HOST_MIGRATE) && j[0]->Players().size() == 2; }));
    EXPECT_EQ(VORN_PEER_INVALID_CALL, inside.load());
    const VornPeerResult closed = j[1]->peer->Close();
    EXPECT_NAMED({"Close", closed, VORN_PEER_OK}, {"players left", j[1]->Players().size(), 0u});
    const size_t seen = j[1]->Events().size();
    j[0]->Send(0, "after close");
    Sleep(200);
    EXPECT_EQ(seen, j[1]->Events().size());   // the handler is never called again
}

// A stranger that knows the instance and the next id says HELLO to a member before the joiner: it is
// closed for want of the host's token, and the joiner is the player there, under its own name.
TEST_F(PeerTest, AStrangersHelloWithTheNextIdIsClosedAndTheJoinerIsThePlayerAtTheMember)
{
    const uint16_t port = Session(1);
    Hostile stranger(j[0]->ListenPort());
    stranger.Say(Hostile::Of(VornPeerWire::HELLO, 3, Instance(port)));
    TestPeer late(L"late");
    ASSERT_EQ(VORN_PEER_OK, late.Join(port));
    EXPECT_TRUE(stranger.Closed());
    ASSERT_EQ(VORN_PEER_OK, late.Send(j[0]->LocalId(), "from late"));
    Seen got = {};
    ASSERT_TRUE(WaitFor([&] { return j[0]->Find(VORN_PEER_MSG_RECEIVE, &got); }));
    EXPECT_NAMED({"sender", got.id, late.LocalId()}, {"the last player the member made", j[0]->Of(VORN_PEER_MSG_CREATE_PLAYER).back().data, "late"});
}

// The host's ADMIT reaching a member after the joiner's HELLO: the member takes the joiner under its
// name and greets it. (The host is the test's own, on a raw link.)
TEST_F(PeerTest, AHelloThatWaitsForItsAdmitKeepsThePlayersName)
{
    using namespace VornPeerWire;
    const SOCKET listener = Bound("127.0.0.1", true);
    TestPeer member(L"member");
    std::thread joining([&] { EXPECT_EQ(VORN_PEER_OK, member.Join(PortOf(listener))); });
    Hostile host(Hostile::Accepting{listener});
    Frame welcome = Hostile::Of(WELCOME, 2), hello = Hostile::Of(HELLO, 3, {}), admit = Hostile::Of(ADMIT, 3);
    welcome.hostId = 1;
    welcome.desc.application = host.Hear().application;
    welcome.roster = {{1, 0, 1, u"host"}};
    hello.name = u"late";
    hello.admission.bytes[0] = admit.admission.bytes[0] = 5;
    host.Say(welcome);
    joining.join();
    EXPECT_EQ(READY, host.Hear().type);
    Hostile joiner(member.ListenPort());
    joiner.Say(hello);
    for (size_t n = 1; n <= 2; ++n) {   // two messages through the member's worker: it read the HELLO first
        host.Say(Hostile::Of(DATA));
        ASSERT_TRUE(WaitFor([&] { return member.Of(VORN_PEER_MSG_RECEIVE).size() == n; }));
    }
    host.Say(admit);
    EXPECT_EQ(GREET, joiner.Hear().type);
    ASSERT_TRUE(WaitFor([&] { return member.Players().size() == 3; }));
    EXPECT_EQ("late", member.Of(VORN_PEER_MSG_CREATE_PLAYER).back().data);
    closesocket(listener);
}

// A joiner that cannot reach a player the host lists fails its join, and leaves the host's players.
TEST_F(PeerTest, AJoinerThatCannotReachAListedPlayerFailsItsJoin)
{
    const uint16_t port = Session(1);
    Hostile stranger(port);
    Hostile::Frame join = Hostile::Of(VornPeerWire::JOIN);
    join.port = FreePort();   // nobody listens there
    stranger.Say(join);
    ASSERT_EQ(VornPeerWire::WELCOME, stranger.Hear().type);
    TestPeer late(L"late");
    EXPECT_EQ(VORN_PEER_NO_CONNECTION, late.Join(port));
    EXPECT_TRUE(WaitFor([&] { return host->Players().size() == 3; }));
    EXPECT_EQ(0u, late.Players().size());
}

}  // namespace
