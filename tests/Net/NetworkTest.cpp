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
    EXPECT_TRUE(VornNetwork::GetAddressCount() >= 1 && Status().find(address) != std::string::npos);
    // The third name cut to 31 bytes on a character boundary; past the players a line of dashes and id 0.
    EXPECT_EQ((std::vector<std::string>{"alice", "bob", "かなかなかなかなかなかなかなか", "-------------"}),
              (std::vector<std::string>{Name(0), Name(1), Name(2), Name(3)}));
    EXPECT_EQ(std::make_pair(bob->LocalId(), 0u), std::make_pair(VornNetwork::GetPlayerId(1), VornNetwork::GetPlayerId(3)));

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

    EXPECT_FALSE(VornNetwork::CreateSession("again", "eve", FreePort()) || VornNetwork::JoinSession(0, "eve"));

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
    EXPECT_EQ(std::make_tuple(std::string("message 2"), bobId, std::string("bob")),
              std::make_tuple(std::string(reinterpret_cast<const char*>(got[0].data)), got[0].sender, std::string(got[0].senderName)));
    EXPECT_EQ(0, std::memcmp(got[14].data, big.data(), 1024));
    EXPECT_EQ(std::string("short") + std::string(1019, '\0'), std::string(reinterpret_cast<const char*>(got[15].data), 1024));

    // A DESTROY without a player record changes nothing; TERMINATE_SESSION ends the status.
    VornPeerMsgDestroyPlayer unknown = {sizeof unknown, 99, nullptr};
    EXPECT_EQ(VORN_PEER_OK, VornNetwork::MessageHandler(nullptr, VORN_PEER_MSG_DESTROY_PLAYER, &unknown));
    EXPECT_EQ(2, VornNetwork::GetPlayerCount());
    VornPeerMsgTerminateSession end = {sizeof end, 0};
    VornNetwork::MessageHandler(nullptr, VORN_PEER_MSG_TERMINATE_SESSION, &end);
    EXPECT_EQ(std::make_tuple(std::string("Not Connect"), 0u, false), std::make_tuple(Status(), VornNetwork::GetAddressCount(), VornNetwork::IsHost()));

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
    EXPECT_TRUE(VornNetwork::GetSessionCount() == 0 && VornNetwork::GetSession(0) == nullptr) << VornNetwork::GetSessionCount();
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
    EXPECT_EQ(std::make_pair("Connect via TCP/IP to 127.0.0.1 : " + std::to_string(port), false), std::make_pair(Status(), VornNetwork::IsHost()));
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
    EXPECT_EQ(std::make_pair(std::string(), 77u), std::make_pair(Name(0), VornNetwork::GetPlayerId(0)));
    VornPeerMsgDestroyPlayer destroyed = {sizeof destroyed, 77, created.playerContext};
    VornNetwork::MessageHandler(nullptr, VORN_PEER_MSG_DESTROY_PLAYER, &destroyed);
    EXPECT_EQ(0, VornNetwork::GetPlayerCount());
    SetEvent(release);
    EXPECT_TRUE(Players(2));   // the join then goes through
    CloseHandle(release);
}

}  // namespace
