// The plain socket client, the asynchronous one and the threaded server, against peers of their own.
#include "SocketSupport.h"

using namespace vorntest;

namespace {

using SocketTest = NetSuite;
using SocketAsyncIOTest = NetSuite;
using SocketServerMTTest = NetSuite;

std::string Error() { return TextOf([](char* t) { VornSocket::GetLastErrorText(t); }); }   // "" when there is none
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
    EXPECT_TRUE(VornSocketServerMT::Create());
    EXPECT_TRUE(VornSocketServerMT::Start(port)) << port;
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
    EXPECT_BYTES_EQ(out.data(), back.data(), out.size());
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
    EXPECT_NAMED({"the 16th address", info.addresses[15], "127.0.0.16"}, {"the 16th alias", info.aliases[15], "alias15"},
                 {"addresses", info.addressCount, 16}, {"aliases", info.aliasCount, 16}, {"address length", info.addressLength, 4});
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
        SCOPED_TRACE(std::string(paths[i]).substr(0, 10));
        EXPECT_NAMED({"fetched", buffers[i] != nullptr, !expected[i].empty()}, {"size", sizes[i], expected[i].size()});
        if (!buffers[i]) continue;
        EXPECT_BYTES_EQ(expected[i].data(), buffers[i], std::min<size_t>(sizes[i], expected[i].size()));
        EXPECT_EQ(sizes[i], VornMemory::GetBlockSize(buffers[i]));   // no slack kept
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
    // Idle polls return at once: a hundred take far less than a 50 ms wait each would (5 s).
    const ULONGLONG start = GetTickCount64();
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(VornSocketAsyncIO::Poll()) << "poll " << i;
    EXPECT_LT(GetTickCount64() - start, 2500u);

    char out[10] = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}, in[100] = {};
    using IO = VornSocketAsyncIO;
    const int64_t send = IO::Send(out, 10), pending = IO::GetStatus(), refused = IO::Recv(in, sizeof in), sent = Finish(),
                  recv = IO::Recv(in, sizeof in), received = Finish(), length = IO::GetTransferred(),
                  last = IO::Recv(in, sizeof in), closed = Finish();   // in this order
    EXPECT_NAMED({"Send", send, 0}, {"status while it is pending", pending, -3}, {"a Recv meanwhile", refused, -3},
                 {"the send's end", sent, 0}, {"Recv of the answer", recv, 0}, {"its end", received, 0}, {"its length", length, 10},
                 {"Recv at the peer's close", last, 0}, {"its end", closed, -2});
    EXPECT_BYTES_EQ(out, in, 10);
}

TEST_F(SocketAsyncIOTest, CloseWithAReceivePendingEndsItAndFreesTheBuffer)
{
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    TestServer server([release](SOCKET) { WaitForSingleObject(release, 20000); });
    Open<VornSocketAsyncIO>(server.Port());
    char hello[] = "hello";
    // The send and its end (5 bytes: the count the aborted receive's completion replaces).
    const int32_t send = VornSocketAsyncIO::Send(hello, 5), sent = Finish();
    ASSERT_NAMED({"Send", send, 0}, {"its end", sent, 0});
    std::string buffer(64, 'k');
    ASSERT_EQ(0, VornSocketAsyncIO::Recv(&buffer[0], 64));
    EXPECT_FALSE(VornSocketAsyncIO::Poll());   // it does not wait for the receive the peer never answers
    VornSocketAsyncIO::Close();
    // Its completion ran inside Close (0 bytes), not later into a buffer the caller has let go.
    const bool idle = VornSocketAsyncIO::Poll();
    EXPECT_NAMED({"bytes", VornSocketAsyncIO::GetTransferred(), 0}, {"status", VornSocketAsyncIO::GetStatus(), -1}, {"Poll", idle, true});
    EXPECT_EQ(std::string(64, 'k'), buffer);
    SetEvent(release);
}

TEST_F(SocketServerMTTest, TheLogRingDropsTheOldestLineStartRefusesWithoutCallbackAndWhenStartedAndCloseDoesNotDrainTheListener)
{
    for (int i = 0; i < 257; ++i) VornSocketServerMT::Log("line %d", i);
    EXPECT_NAMED({"the oldest line", Line(0).substr(11), ":line 1"}, {"the newest", Line(255).substr(11), ":line 256"},
                 {"past the count", Line(256), ""});
    VornSocketServerMT::SetCallback(nullptr);
    EXPECT_FALSE(VornSocketServerMT::Start(FreePort()));   // not created
    ASSERT_TRUE(VornSocketServerMT::Create());
    EXPECT_FALSE(VornSocketServerMT::Start(FreePort()));
    const std::string last = Line(VornSocketServerMT::GetLogCount() - 1);
    int field[4], prefix = 0;
    EXPECT_EQ(4, sscanf(last.c_str(), "%2d.%2d.%2d.%2d:%n", &field[0], &field[1], &field[2], &field[3], &prefix));
    EXPECT_NAMED({"time prefix length", prefix, 12}, {"text", last.substr(11), ":応答用コールバック関数が設定されていません"});
    Started([](SOCKET) {});
    EXPECT_FALSE(VornSocketServerMT::Start(FreePort()));
    // The listening socket has no peer to wait for: its close is not held by a drain (2 s).
    const ULONGLONG start = GetTickCount64();
    VornSocketServerMT::Close();
    EXPECT_LT(GetTickCount64() - start, 1900u);
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
    ASSERT_TRUE(WaitFor([&] { return exact == 8 && VornSocketServerMT::GetClientCount() == 8; }))
        << exact << " clients echoed exactly, " << VornSocketServerMT::GetClientCount() << " listed";

    // The caller's host record is filled beside the address; past the count nothing is written.
    VornHostInfo host = {};
    char address[64] = "keep", untouched[64] = "keep";
    ASSERT_TRUE(VornSocketServerMT::GetClientInfo(0, &host, address));
    EXPECT_NAMED({"address", address, "127.0.0.1"}, {"host name", host.name, "localhost"});
    EXPECT_FALSE(VornSocketServerMT::GetClientInfo(8, &host, untouched));
    EXPECT_STREQ("keep", untouched);

    VornSocketServerMT::Close();   // every client thread has ended when it returns
    for (std::atomic<int>& end : g_results) EXPECT_TRUE(end == -1 || end == -2) << end;
    EXPECT_NAMED({"clients", VornSocketServerMT::GetClientCount(), 0}, {"work area used", VornMemory::GetUsedSize(), used});
    for (std::thread& t : clients) t.join();
}

// A client socket its owner made non-blocking: the whole-length receive waits for the rest of a
// length that comes in two parts, rather than report a part as the whole or fail and lose it.
TEST_F(SocketServerMTTest, TheWholeLoopsWaitOnASocketMadeNonBlocking)
{
    const std::string out = Pattern(100);
    HANDLE returned = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    TestServer peer([&out, returned](SOCKET s) {
        Whole(s, out.data(), 60, true);
        WaitForSingleObject(returned, 1000);   // the rest only after Recv returned, or a second later
        Whole(s, &out[60], 40, true);
    });
    const SOCKET s = ConnectFrom("127.0.0.1", peer.Port());
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    std::string in(100, '\0');
    EXPECT_EQ(100, VornSocketServerMT::Recv(&in[0], 100, s));
    SetEvent(returned);
    EXPECT_BYTES_EQ(out.data(), in.data(), 100);
    closesocket(s);
}

}  // namespace
