#include "SocketSupport.h"
#include "VornSocketServerMT.h"
#include <cstdio>

using namespace vorntest;

namespace {

class SocketServerMTTest : public NetSuite {
protected:
    void SetUp() override { VornSocketServerMT::Initialize(); }
    void TearDown() override { VornSocketServerMT::Finalize(); }
    static std::string Line(uint32_t index)
    {
        char text[VornSocketServerMT::LOG_LENGTH];
        VornSocketServerMT::GetLog(index, text);
        return text;
    }
    static uint16_t Started(VornSocketConversation callback)
    {
        const uint16_t port = FreePort();
        VornSocketServerMT::SetCallback(callback);
        EXPECT_TRUE(VornSocketServerMT::Create());
        EXPECT_TRUE(VornSocketServerMT::Start(port));
        return port;
    }
};

TEST_F(SocketServerMTTest, StartRefusesWithoutCallbackAndWhenStarted)
{
    VornSocketServerMT::SetCallback(nullptr);
    EXPECT_FALSE(VornSocketServerMT::Start(FreePort()));   // not created
    ASSERT_TRUE(VornSocketServerMT::Create());
    EXPECT_FALSE(VornSocketServerMT::Start(FreePort()));
    const std::string last = Line(VornSocketServerMT::GetLogCount() - 1);
    int field[4], prefix = 0;
    EXPECT_EQ(4, sscanf(last.c_str(), "%2d.%2d.%2d.%2d:%n", &field[0], &field[1], &field[2], &field[3], &prefix));
    EXPECT_EQ("12:応答用コールバック関数が設定されていません", std::to_string(prefix) + last.substr(11));
    Started([](SOCKET) {});
    EXPECT_FALSE(VornSocketServerMT::Start(FreePort()));
}

TEST_F(SocketServerMTTest, LogRingDropsTheOldestLine)
{
    for (int i = 0; i < 257; ++i) VornSocketServerMT::Log("line %d", i);
    EXPECT_EQ(256u, VornSocketServerMT::GetLogCount());
    EXPECT_EQ(":line 1", Line(0).substr(11));
    EXPECT_EQ(":line 256", Line(255).substr(11));
    EXPECT_EQ("", Line(256));
}

TEST_F(SocketServerMTTest, EightClientsEchoAThousandFramesEach)
{
    const uint16_t port = Started([](SOCKET s) {
        char frame[64];
        while (VornSocketServerMT::Recv(frame, 64, s) == 64 && VornSocketServerMT::Send(frame, 64, s) == 64) {
        }
        closesocket(s);
    });
    std::atomic<int> exact{0};
    std::vector<std::thread> clients;
    for (uint32_t c = 0; c < 8; ++c) {
        clients.emplace_back([&exact, port, c] {
            const SOCKET s = ConnectFrom("127.0.0.1", port);
            const std::string all = Pattern(64 * 1000, c + 1);
            std::string back(64, '\0');
            size_t at = 0;
            while (at < all.size() && Whole(s, &all[at], 64, true) && Whole(s, &back[0], 64, false) &&
                   back == all.substr(at, 64))
                at += 64;
            closesocket(s);
            exact += at == all.size();
        });
    }
    for (std::thread& t : clients) t.join();
    EXPECT_EQ(8, exact.load());
}

std::atomic<int> g_blocked{0}, g_ended[4];

TEST_F(SocketServerMTTest, CloseEndsClientsBlockedInRecvAndFreesTheirRecords)
{
    const uint32_t used = VornMemory::GetUsedSize();
    const uint16_t port = Started([](SOCKET s) {
        char c;
        const int slot = g_blocked++;
        g_ended[slot] = VornSocketServerMT::Recv(&c, 1, s);
    });
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c) clients.emplace_back([port] {
            const SOCKET s = ConnectFrom("127.0.0.1", port);
            RecvToEnd(s);
            closesocket(s);
        });
    ASSERT_TRUE(WaitFor([] { return g_blocked == 4 && VornSocketServerMT::GetClientCount() == 4; }));

    // The caller's host record is filled beside the address; past the count nothing is written.
    VornHostInfo host = {};
    char address[64] = "keep", untouched[64] = "keep";
    ASSERT_TRUE(VornSocketServerMT::GetClientInfo(0, &host, address));
    EXPECT_STREQ("127.0.0.1", address);
    EXPECT_STREQ("localhost", host.name);
    EXPECT_FALSE(VornSocketServerMT::GetClientInfo(4, &host, untouched));
    EXPECT_STREQ("keep", untouched);

    const ULONGLONG start = GetTickCount64();
    VornSocketServerMT::Close();
    EXPECT_LT(GetTickCount64() - start, 1900u);   // below one close drain
    for (std::atomic<int>& end : g_ended) EXPECT_TRUE(end == -1 || end == -2) << end;
    EXPECT_EQ(0u, VornSocketServerMT::GetClientCount());
    EXPECT_EQ(used, VornMemory::GetUsedSize());
    for (std::thread& t : clients) t.join();
}

}  // namespace
