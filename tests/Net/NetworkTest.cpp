// VornNetwork against peers of the session layer in the same process, which play the other
// players (host or joiner) on 127.0.0.1.
#include "../Peer/PeerSupport.h"
#include "VornNetwork.h"
#include <regex>

using namespace vorntest;

namespace {

class NetworkTest : public NetSuite {
protected:
    void SetUp() override
    {
        used_ = VornMemory::GetUsedSize();
        ASSERT_TRUE(VornNetwork::Initialize());
    }
    void TearDown() override
    {
        VornNetwork::Finalize();
        EXPECT_EQ(used_, VornMemory::GetUsedSize());   // every session, player and buffer freed
    }
    static std::string Status() { return TextOf([](char* t) { VornNetwork::GetStatusText(t); }); }
    static std::string Name(uint32_t i) { return TextOf([i](char* t) { VornNetwork::GetPlayerName(t, i); }); }
    static std::string SessionText(uint32_t i = 0) { return TextOf([i](char* t) { VornNetwork::GetSessionText(t, i); }); }
    static bool Players(int32_t n) { return WaitFor([n] { return VornNetwork::GetPlayerCount() == n; }); }
    // Searches 127.0.0.1:port until one session, and only one, is listed.
    static bool Found(uint16_t port)
    {
        return VornNetwork::SearchSession("127.0.0.1", port) && WaitFor([] { return VornNetwork::GetSessionCount() == 1; });
    }
    uint32_t used_ = 0;
    LogCapture log_;
};

// A port in use is named in the log; the host lists its players in creation order and sends to one
// by index, to all with itself, or to nobody past the end; a second session is refused; its queue
// keeps the last sixteen messages, each cut to 1024 bytes and zero-padded.
TEST_F(NetworkTest, HostingListsPlayersSendsByIndexRefusesAPortInUseOrASecondSessionAndQueuesTheLastSixteen)
{
    const SOCKET taken = Bound("0.0.0.0", true);
    EXPECT_FALSE(VornNetwork::CreateSession("room", "alice", PortOf(taken)));
    closesocket(taken);
    EXPECT_EQ(0, VornNetwork::GetPlayerCount());
    const uint16_t port = FreePort();
    auto bob = std::make_unique<TestPeer>(L"bob");
    TestPeer kana(L"かなかなかなかなかなかなかなかなかな");   // 36 bytes in Shift-JIS
    ASSERT_TRUE(VornNetwork::CreateSession("room", "alice", port));
    ASSERT_EQ(VORN_PEER_OK, bob->Join(port));
    ASSERT_EQ(VORN_PEER_OK, kana.Join(port));
    ASSERT_TRUE(Players(3));
    const std::string suffix = " : " + std::to_string(port);
    EXPECT_TRUE(std::regex_match(Status(), std::regex("Hosting via TCP/IP at [0-9.]+" + suffix + "(, [0-9.]+" + suffix + ")*")))
        << Status();
    const std::string address = TextOf([](char* t) { VornNetwork::GetAddress(t, 0); });
    EXPECT_NAMED({"addresses", VornNetwork::GetAddressCount() >= 1, true}, {"the first in the status", Status().find(address) != std::string::npos, true});
    // The third name cut to 31 bytes on a character boundary; past the players a line of dashes and id 0.
    EXPECT_EQ((std::vector<std::string>{"alice", "bob", "かなかなかなかなかなかなかなか", "-------------"}),
              (std::vector<std::string>{Name(0), Name(1), Name(2), Name(3)}));
    EXPECT_NAMED({"player 1", VornNetwork::GetPlayerId(1), bob->LocalId()}, {"past the players", VornNetwork::GetPlayerId(3), 0u});

    VornNetwork::Send("nobody", 7, 3);
    VornNetwork::Send("bob", 4, 1);
    VornNetwork::Send("all", 4, -1);
    ASSERT_TRUE(WaitFor([&] { return bob->Of(VORN_PEER_MSG_RECEIVE).size() == 2 && kana.Of(VORN_PEER_MSG_RECEIVE).size() == 1; }));
    VornNetworkMessage m;
    ASSERT_TRUE(WaitFor([&] { return VornNetwork::GetReceiveData(&m); }));
    EXPECT_STREQ("all", reinterpret_cast<const char*>(m.data));
    Sleep(300);
    EXPECT_FALSE(VornNetwork::GetReceiveData(&m));
    EXPECT_EQ(std::string("bob", 4), bob->Of(VORN_PEER_MSG_RECEIVE)[0].data);
    EXPECT_EQ(std::string("all", 4), kana.Of(VORN_PEER_MSG_RECEIVE)[0].data);

    EXPECT_FALSE(VornNetwork::CreateSession("again", "eve", FreePort()));
    EXPECT_FALSE(VornNetwork::JoinSession(0, "eve"));

    const std::string big = Pattern(2000, 7);
    for (int i = 1; i <= 15; ++i) bob->Send(0, "message " + std::to_string(i));
    bob->Send(0, big);
    bob->Send(0, "short");
    const uint32_t bobId = bob->LocalId();
    bob.reset();   // its leaving comes after all it sent
    ASSERT_TRUE(Players(2));
    std::vector<VornNetworkMessage> got;
    while (VornNetwork::GetReceiveData(&m)) got.push_back(m);
    ASSERT_EQ(16u, got.size());
    EXPECT_NAMED({"first message", reinterpret_cast<const char*>(got[0].data), "message 2"}, {"sender", got[0].sender, bobId},
                 {"sender's name", got[0].senderName, "bob"});
    EXPECT_EQ(0, std::memcmp(got[14].data, big.data(), 1024));
    EXPECT_EQ(std::string("short") + std::string(1019, '\0'), std::string(reinterpret_cast<const char*>(got[15].data), 1024));

    // A DESTROY without a player record changes nothing; TERMINATE_SESSION ends the status.
    VornPeerMsgDestroyPlayer unknown = {sizeof unknown, 99, nullptr};
    EXPECT_EQ(VORN_PEER_OK, VornNetwork::MessageHandler(nullptr, VORN_PEER_MSG_DESTROY_PLAYER, &unknown));
    EXPECT_EQ(2, VornNetwork::GetPlayerCount());
    VornPeerMsgTerminateSession end = {sizeof end, 0};
    VornNetwork::MessageHandler(nullptr, VORN_PEER_MSG_TERMINATE_SESSION, &end);
    EXPECT_NAMED({"status", Status(), "Not Connect"}, {"addresses", VornNetwork::GetAddressCount(), 0u}, {"host", VornNetwork::IsHost(), false});

    const std::string log = log_.Text();
    EXPECT_EQ(1, CountIn(log, Red("別の適用が指定したポートを既に使用している場合は、異なるポート番号を使用してゲームを作成してみてください")));
    EXPECT_TRUE(InOrder(log, {"　　\"DirectPlay8 TCP/IP Service Provider\"",
                              Blue("VornNetwork::CreateSession"), "PORT [ " + std::to_string(port) + " ] : ",
                              "USER [ alice ] : ", "SESSION [ room ] : ", Green("Success"),
                              Blue("VornNetwork::CreateSession"), Red("セッションは既に開始されています")}));
}

TEST_F(NetworkTest, SearchTextsReplaceEachOtherAndExpire)
{
    const uint16_t free = FreePort(), full = FreePort();
    TestPeer a(L"a");
    auto b = std::make_unique<TestPeer>(L"b");
    ASSERT_EQ(VORN_PEER_OK, a.Host(free, VORN_PEER_SESSION_MIGRATE_HOST, 0, L"部屋"));
    ASSERT_EQ(VORN_PEER_OK, b->Host(full, VORN_PEER_SESSION_MIGRATE_HOST, 32, std::wstring(255, L'部').c_str()));
    ASSERT_TRUE(Found(free));
    EXPECT_TRUE(std::regex_match(SessionText(), std::regex("部屋 \\(1\\) \\([0-9]+ms\\)"))) << SessionText();
    ASSERT_TRUE(Found(full));   // nothing of the first search is left
    // The name cut on a character boundary, the counts kept.
    EXPECT_TRUE(std::regex_match(SessionText(), std::regex("(部){113} \\(1/32\\) \\([0-9]+ms\\)"))) << SessionText();
    b.reset();
    Sleep(3 * VORN_PEER_ENUM_RETRY_MS + 300);
    VornNetwork::ExpireSessions();
    EXPECT_NAMED({"sessions", VornNetwork::GetSessionCount(), 0u}, {"session 0 listed", VornNetwork::GetSession(0) != nullptr, false});
    EXPECT_EQ(2, log_.Count(Blue("VornNetwork::SearchSession") + Green("Success")));
}

TEST_F(NetworkTest, TheFirstJoinerBecomesHostWhenTheHostIsLost)
{
    const uint16_t port = FreePort();
    auto host = std::make_unique<TestPeer>(L"helper");
    ASSERT_EQ(VORN_PEER_OK, host->Host(port));
    ASSERT_TRUE(Found(port));
    ASSERT_TRUE(VornNetwork::JoinSession(0, "dave"));
    ASSERT_TRUE(Players(2));
    Sleep(2 * VORN_PEER_ENUM_RETRY_MS);
    EXPECT_EQ(0u, VornNetwork::GetSessionCount());   // the search ended with the join
    EXPECT_NAMED({"status", Status(), "Connect via TCP/IP to 127.0.0.1 : " + std::to_string(port)}, {"host", VornNetwork::IsHost(), false});
    EXPECT_EQ("helper", TextOf([](char* t) { VornNetwork::GetHostPlayerName(t); }));

    host.reset();
    ASSERT_TRUE(WaitFor([] { return VornNetwork::IsHost(); }));
    // A search finds the new host at the port its status names.
    const std::string status = Status();
    EXPECT_TRUE(Found(uint16_t(std::stoi(status.substr(status.rfind(" : ") + 3))))) << status;
}

// While the host's worker is held inside its handler the join stays open: the layer answers
// "connecting" about every player, and the class waits for a name only briefly.
TEST_F(NetworkTest, APlayerStillConnectingGetsAnEmptyNameAfterShortRetries)
{
    const uint16_t port = FreePort();
    TestPeer host(L"host");
    ASSERT_EQ(VORN_PEER_OK, host.Host(port));
    ASSERT_TRUE(Found(port));
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    host.onMessage = [release](TestPeer&, uint32_t message, void*) {
        if (message == VORN_PEER_MSG_RECEIVE) WaitForSingleObject(release, 10000);
    };
    host.Send(host.LocalId(), "hold");
    ASSERT_TRUE(VornNetwork::JoinSession(0, "dave"));
    VornPeerMsgCreatePlayer created = {sizeof created, 77, nullptr};
    const ULONGLONG start = GetTickCount64();
    VornNetwork::MessageHandler(nullptr, VORN_PEER_MSG_CREATE_PLAYER, &created);
    EXPECT_LT(GetTickCount64() - start, 3000u);
    EXPECT_NAMED({"name", Name(0), ""}, {"id", VornNetwork::GetPlayerId(0), 77u});
    VornPeerMsgDestroyPlayer destroyed = {sizeof destroyed, 77, created.playerContext};
    VornNetwork::MessageHandler(nullptr, VORN_PEER_MSG_DESTROY_PLAYER, &destroyed);
    EXPECT_EQ(0, VornNetwork::GetPlayerCount());
    SetEvent(release);
    EXPECT_TRUE(Players(2));   // the join then goes through
    CloseHandle(release);
}

// A flood of answers of distinct sessions lists 64 of them, with one log line for the search; an
// answer of a session already listed is still taken.
TEST_F(NetworkTest, AFloodOfAnswersListsAtMostSixtyFourSessionsAndSaysSoOnce)
{
    const SOCKET udp = Patient(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP), 10000);   // the hosts' one port
    sockaddr_in from = At("127.0.0.1");
    int n = sizeof from;
    bind(udp, reinterpret_cast<const sockaddr*>(&from), n);
    ASSERT_TRUE(VornNetwork::SearchSession("127.0.0.1", PortOf(udp)));
    char query[2048];
    ASSERT_GE(recvfrom(udp, query, sizeof query, 0, reinterpret_cast<sockaddr*>(&from), &n), 28);
    Hostile::Frame a = Hostile::Of(VornPeerWire::ANSWER);
    std::memcpy(&a.token, query + 24, 4);
    a.desc.application = a.application;
    auto answer = [&](uint32_t instance, const char16_t* name) {
        std::memcpy(a.desc.instance.bytes, &instance, 4);
        a.desc.name = name;
        const std::string bytes = Hostile::Bytes(a);
        sendto(udp, bytes.data(), int(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&from), n);
    };
    for (uint32_t instance = 1; instance <= 3000; ++instance) answer(instance, u"room");
    // The first session, renamed, once what came of the flood is read.
    for (int tries = 0; tries < 1000 && SessionText(VornNetwork::GetSessionCount() - 1).rfind("renamed (", 0) != 0; ++tries) {
        answer(1, u"renamed");
        Sleep(10);
    }
    closesocket(udp);
    EXPECT_NAMED({"sessions", VornNetwork::GetSessionCount(), VornNetwork::SESSIONS_MAX}, {"the first one's name", SessionText(63).substr(0, 9), "renamed ("},
                 {"log lines", log_.Count(Blue("VornNetwork::OnEnumHostsResponse")), 1});
}

// The handler on three threads at once while the application reads: every message taken out is
// whole. (With the handler's lock taken out, 10 runs of 10 tore messages.)
TEST_F(NetworkTest, ConcurrentReceivesAndReadsNeverTearAMessage)
{
    ASSERT_TRUE(VornNetwork::CreateSession("room", "alice", FreePort()));
    constexpr uint32_t THREADS = 3, EACH = 20000;
    std::atomic<uint32_t> running{THREADS};
    std::vector<std::thread> handlers;
    for (uint32_t t = 0; t < THREADS; ++t)
        handlers.emplace_back([&running, t] {
            uint8_t body[VornNetwork::DATA_MAX];
            for (uint32_t seq = t << 24; seq < (t << 24 | EACH); ++seq) {
                std::memset(body, uint8_t(seq), sizeof body);
                std::memcpy(body, &seq, 4);
                VornPeerMsgReceive m = {sizeof m, VornNetwork::GetPlayerId(0), nullptr, body, sizeof body, 0};
                VornNetwork::MessageHandler(nullptr, VORN_PEER_MSG_RECEIVE, &m);
            }
            --running;
        });
    uint32_t taken = 0, torn = 0, seq;
    VornNetworkMessage m;
    for (bool more = true; more;)
        for (more = running > 0; VornNetwork::GetReceiveData(&m); ++taken) {
            std::memcpy(&seq, m.data, 4);
            torn += seq >> 24 >= THREADS || std::strcmp(m.senderName, "alice") != 0 ||
                    std::count(m.data + 4, std::end(m.data), uint8_t(seq)) != ptrdiff_t(sizeof m.data - 4);
        }
    for (std::thread& h : handlers) h.join();
    EXPECT_NAMED({"torn", torn, 0u}, {"taken", taken > 0, true});
}

}  // namespace
