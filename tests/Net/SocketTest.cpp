// The plain socket client, the asynchronous one and the threaded server, against peers of their own.
#include "SocketSupport.h"

using namespace vorntest;

namespace {

using SocketTest = NetSuite;
using SocketAsyncIOTest = NetSuite;
using SocketServerMTTest = NetSuite;

std::string Error()
{
    char text[1024];
    return VornSocket::GetLastErrorText(text) ? text : "";
}
int32_t Finish()
{
    WaitFor([] { return VornSocketAsyncIO::Poll(); });
    return VornSocketAsyncIO::GetStatus();
}
std::string Line(uint32_t index) { return TextOf([index](char* t) { VornSocketServerMT::GetLog(index, t); }); }
uint16_t Started(VornSocketConversation callback)
{
    const uint16_t port = FreePort();
    VornSocketServerMT::SetCallback(callback);
    EXPECT_TRUE(VornSocketServerMT::Create() && VornSocketServerMT::Start(port));
    return port;
}

TEST_F(SocketTest, MovesOneMegabyteEachWayThenSeesThePeerCloseShortOfALength)
{
    const std::string out = Pattern(1 << 20);
    TestServer server([](SOCKET s) {
        std::string in((1 << 20) + 60, 'x');
        if (Whole(s, &in[0], 1 << 20, false)) Whole(s, in.data(), in.size(), true);
    });
    Open(server.Port());
    EXPECT_EQ(1 << 20, VornSocket::Send(out.data(), 1 << 20));
    std::string back(1 << 20, '\0');
    EXPECT_EQ(1 << 20, VornSocket::Recv(&back[0], 1 << 20));
    EXPECT_TRUE(out == back);
    EXPECT_EQ("", Error());
    EXPECT_EQ(-2, VornSocket::Recv(&back[0], 100));   // 60 of 100 bytes, then the close
    EXPECT_EQ("回線は切断されました", Error());
    EXPECT_EQ(-1, VornSocket::Recv(&back[0], -5));   // negative lengths move nothing (one check for both ways)
}

// A failed connect keeps the WinSock text and leaves the socket unconnected; a dotted address
// without a reverse name still connects, with no text left of the failed lookup.
TEST_F(SocketTest, ConnectsFailWithTheWinSockTextOrReachADottedAddressWithoutReverseName)
{
    TestServer server([](SOCKET s) { Whole(s, "ok", 2, true); }, "127.0.0.2");
    EXPECT_FALSE(VornSocket::GetHostInfo("127.0.0.2", nullptr));
    const struct { const char* ip; uint16_t port; const char* text; } cases[] = {
        {"127.0.0.1", FreePort(), "接続が拒否された"}, {"no-such-host.invalid", FreePort(), "ホストが見つからない"}, {"127.0.0.2", server.Port(), ""}};
    for (const auto& c : cases) {
        char buffer[2];
        ASSERT_TRUE(VornSocket::Create());
        EXPECT_EQ(!*c.text, VornSocket::Connect(c.ip, c.port)) << c.ip;
        EXPECT_EQ(c.text, Error()) << c.ip;
        EXPECT_EQ(*c.text ? -1 : 2, *c.text ? VornSocket::Send("x", 1) : VornSocket::Recv(buffer, 2)) << c.ip;
    }
}

TEST_F(SocketTest, HostRecordKeepsSixteenEntriesAndCutsTheName)
{
    std::string name(300, 'n'), aliasText[20];
    in_addr addresses[20];
    char *list[21] = {}, *aliases[21] = {};
    for (int i = 0; i < 20; ++i) {
        addresses[i].s_addr = htonl(0x7F000001u + i);
        list[i] = reinterpret_cast<char*>(&addresses[i]);
        aliases[i] = &(aliasText[i] = "alias" + std::to_string(i))[0];
    }
    const hostent entry = {&name[0], aliases, AF_INET, 4, list};
    VornHostInfo info;
    std::memset(&info, 0x55, sizeof info);
    VornSocketCommon::FillHostInfo(entry, &info);
    EXPECT_EQ(std::string(255, 'n'), info.name);
    EXPECT_EQ(std::string("127.0.0.16 alias15 16 16 4"), std::string(info.addresses[15]) + " " + info.aliases[15] + " " +
              std::to_string(info.addressCount) + " " + std::to_string(info.aliasCount) + " " + std::to_string(info.addressLength));
}

// The peer sees the end of the first socket, then stays silent: the close waits for it only so long.
TEST_F(SocketTest, ASecondCreateClosesTheFirstSocketInBoundAgainstASilentPeer)
{
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> end{-1};
    TestServer server([&end, release](SOCKET s) { end = recv(s, reinterpret_cast<char*>(&s), 1, 0), WaitForSingleObject(release, 20000); });
    Open(server.Port());
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(VornSocket::Create());
    EXPECT_LT(GetTickCount64() - start, 3500u);
    EXPECT_TRUE(WaitFor([&] { return end == 0; }, 5000));
    SetEvent(release);
}

// A plain web server: reads one request line, answers by path (an echo of it, 1 MB, or a reset
// after a few bytes) and closes.
void ServeHttp(SOCKET s, std::vector<std::string>* requests)
{
    std::string line;
    for (char c; line.find('\n') == std::string::npos && recv(s, &c, 1, 0) == 1;) line += c;
    requests->push_back(line);
    if (line == "GET /big\n") return (void)Whole(s, Pattern(1 << 20).data(), 1 << 20, true);
    Whole(s, line.data() + 4, line.size() - 4, true);
    const linger hard = {1, 0};
    if (line == "GET /reset\n")
        Sleep(50), setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
}

TEST_F(SocketTest, HttpGetFetchesEachPathOverItsOwnConnection)
{
    std::vector<std::string> requests;   // one connection at a time: no lock needed
    TestServer http([&requests](SOCKET s) { ServeHttp(s, &requests); });
    VornSocket::SetHttpPort(http.Port());
    const std::string tooLong = "/" + std::string(5000, 'x');
    const char* paths[] = {"/a", "/big", "/reset", tooLong.c_str(), "/c"};
    const std::string expected[] = {"/a\n", Pattern(1 << 20), "", "", "/c\n"};
    uint8_t* buffers[5];
    uint32_t sizes[5];
    std::memset(buffers, 0x55, sizeof buffers);
    EXPECT_FALSE(VornSocket::HttpGet("127.0.0.1", paths, buffers, sizes, 5));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(expected[i].empty(), buffers[i] == nullptr) << i;
        EXPECT_TRUE(expected[i] == std::string(reinterpret_cast<char*>(buffers[i]), sizes[i])) << i;
        if (!buffers[i]) continue;
        EXPECT_EQ(sizes[i], VornMemory::GetBlockSize(buffers[i])) << i;   // no slack kept
        VornMemory::FreeQuiet(buffers[i]);
    }
    // The long path never went out; each other one was asked once, exactly.
    EXPECT_EQ((std::vector<std::string>{"GET /a\n", "GET /big\n", "GET /reset\n", "GET /c\n"}), requests);
    EXPECT_TRUE(VornSocket::HttpGet("127.0.0.1", paths, buffers, sizes, 1));
    VornMemory::FreeQuiet(buffers[0]);
    EXPECT_TRUE(VornSocket::HttpGet("127.0.0.1", nullptr, nullptr, nullptr, 0));
    EXPECT_TRUE(WaitFor([&] { return http.accepted_ == 6; }));
}

TEST_F(SocketAsyncIOTest, OperationsReportStatusAndLength)
{
    // The peer takes 10 bytes, answers them and closes.
    TestServer server([](SOCKET s) {
        char ten[10];
        if (Whole(s, ten, 10, false)) Whole(s, ten, 10, true);
    });
    Open<VornSocketAsyncIO>(server.Port());
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(VornSocketAsyncIO::Poll());
    EXPECT_LT(GetTickCount64() - start, 50u);

    char out[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}, in[100] = {};
    using IO = VornSocketAsyncIO;
    // The send, its status while pending, a receive refused meanwhile, the send's end; a receive of the
    // answer, its end and its length; a receive that meets the close (in this order).
    EXPECT_EQ((std::vector<int64_t>{0, -3, -3, 0, 0, 0, 10, 0, -2}),
              (std::vector<int64_t>{IO::Send(out, 10), IO::GetStatus(), IO::Recv(in, sizeof in), Finish(),
                                    IO::Recv(in, sizeof in), Finish(), IO::GetTransferred(), IO::Recv(in, sizeof in), Finish()}));
    EXPECT_EQ(0, memcmp(out, in, 10));
}

TEST_F(SocketAsyncIOTest, CloseWithAReceivePendingEndsItAndFreesTheBuffer)
{
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    TestServer server([release](SOCKET) { WaitForSingleObject(release, 20000); });
    Open<VornSocketAsyncIO>(server.Port());
    char hello[] = "hello";
    // The send and its end (5 bytes: the count the aborted receive's completion replaces).
    ASSERT_EQ((std::vector<int32_t>{0, 0}), (std::vector<int32_t>{VornSocketAsyncIO::Send(hello, 5), Finish()}));
    std::string buffer(64, 'k');
    ASSERT_EQ(0, VornSocketAsyncIO::Recv(&buffer[0], 64));
    VornSocketAsyncIO::Close();
    // Its completion ran inside Close (0 bytes), not later into a buffer the caller has let go.
    EXPECT_EQ(std::make_tuple(0u, -1, true),
              (std::tuple<uint32_t, int32_t, bool>{VornSocketAsyncIO::GetTransferred(), VornSocketAsyncIO::GetStatus(), VornSocketAsyncIO::Poll()}));
    EXPECT_EQ(std::string(64, 'k'), buffer);
    SetEvent(release);
}

TEST_F(SocketServerMTTest, TheLogRingDropsTheOldestLineAndStartRefusesWithoutCallbackAndWhenStarted)
{
    for (int i = 0; i < 257; ++i) VornSocketServerMT::Log("line %d", i);
    EXPECT_EQ((std::vector<std::string>{":line 1", ":line 256", ""}),
              (std::vector<std::string>{Line(0).substr(11), Line(255).substr(11), Line(256)}));
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

std::atomic<int> g_ended{0}, g_results[8];

// Eight clients each have a thousand frames echoed, then wait for the server's end: Close ends the
// threads blocked in Recv for the next frame, in bound, and frees their records.
TEST_F(SocketServerMTTest, EightClientsEchoAThousandFramesEachAndCloseEndsThoseBlockedInRecv)
{
    const uint32_t used = VornMemory::GetUsedSize();
    const uint16_t port = Started([](SOCKET s) {
        char frame[64];
        int32_t got;
        while ((got = VornSocketServerMT::Recv(frame, 64, s)) == 64 && VornSocketServerMT::Send(frame, 64, s) == 64) {
        }
        g_results[g_ended++] = got;
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
            exact += at == all.size();
            RecvToEnd(s);
            closesocket(s);
        });
    }
    ASSERT_TRUE(WaitFor([&] { return exact == 8 && VornSocketServerMT::GetClientCount() == 8; })) << exact;

    // The caller's host record is filled beside the address; past the count nothing is written.
    VornHostInfo host = {};
    char address[64] = "keep", untouched[64] = "keep";
    ASSERT_TRUE(VornSocketServerMT::GetClientInfo(0, &host, address));
    EXPECT_EQ((std::vector<std::string>{"127.0.0.1", "localhost"}), (std::vector<std::string>{address, host.name}));
    EXPECT_FALSE(VornSocketServerMT::GetClientInfo(8, &host, untouched));
    EXPECT_STREQ("keep", untouched);

    const ULONGLONG start = GetTickCount64();
    VornSocketServerMT::Close();
    EXPECT_LT(GetTickCount64() - start, 1900u);   // below one close drain
    for (std::atomic<int>& end : g_results) EXPECT_TRUE(end == -1 || end == -2) << end;
    EXPECT_EQ(std::make_pair(0u, used), std::make_pair(VornSocketServerMT::GetClientCount(), VornMemory::GetUsedSize()));
    for (std::thread& t : clients) t.join();
}

}  // namespace
