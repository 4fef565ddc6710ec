// The socket classes and VornNetwork inside a booted engine: the boot and finalize rows, the window
// procedure's WM_VORN_SOCKET routing (WaitFor dispatches to it) and the frame sleep's alertable wait.
#include "../Peer/PeerSupport.h"
#include "../Runtime/BootRun.h"
#include "VornNetwork.h"
#include "VornSocketServerAsync.h"

using namespace vorntest;

namespace {

// A client from ip that reads to the end after idling (or leaves at once) into *got.
std::thread Client(const char* ip, uint16_t port, std::string* got = nullptr, DWORD idleMs = 0)
{
    return std::thread([=] {
        const SOCKET s = ConnectFrom(ip, port);
        Sleep(idleMs);
        if (got) *got = RecvToEnd(s);
        closesocket(s);
    });
}

int g_accepts = 0, g_closes = 0, g_sendReady = 0;
SOCKET g_last = INVALID_SOCKET;
bool g_firstSend = false, g_secondSend = true;
int32_t g_besideQueued = -9;
const std::string g_eight = Pattern(8 << 20);

// Every socket class boots and ends in its row. The asynchronous server lists its clients, CloseAll
// ends them, and a buffer queued at accept goes out whole at FD_WRITE; the asynchronous client
// completes in the frame sleep. VornNetwork starts in Vorn::Start and its session ends in
// Vorn::Finalize.
TEST(SocketBoot, EveryClassBootsAndEndsAndTheAsynchronousOnesRunOnTheWindowAndTheFrameSleep)
{
    int32_t status = -9;   // status * 100 + bytes
    const uint32_t all = OPTION_SOCKET | OPTION_SOCKET_ASYNCIO | OPTION_SOCKET_SERVER_ASYNC | OPTION_SOCKET_SERVER_MT | OPTION_DIRECTPLAY;
    WSADATA data;
    WSAStartup(MAKEWORD(2, 0), &data);   // the joiner outlives the engine's WinSock
    std::unique_ptr<TestPeer> joiner;
    EXPECT_EQ(0u, BootRunning(all, [] { VornLog::SetFileName("VornSocketBootLog"), Vorn::SetFrameRate(60); }, [&] {
        ASSERT_TRUE(Vorn::Start());
        VornSocketServerAsync::SetAcceptCallback([](HWND, SOCKET) { ++g_accepts; });
        VornSocketServerAsync::SetCloseCallback([](HWND, SOCKET) { ++g_closes; });
        const uint16_t port = FreePort();
        ASSERT_TRUE(VornSocketServerAsync::Create());
        ASSERT_TRUE(VornSocketServerAsync::Listen(port)) << port;
        std::vector<std::thread> clients;
        std::string got[3];
        const char* rows[][2] = {{"127.0.0.1", "localhost"}, {"127.0.0.2", "Unknown"}, {"127.0.0.1", "localhost"}, {"keep", "keep"}};
        for (int i = 0; i < 3; ++i) {
            clients.push_back(Client(rows[i][0], port, &got[i]));
            ASSERT_TRUE(WaitFor([i] { return VornSocketServerAsync::GetClientCount() == i + 1; })) << "client " << i << " not listed";
        }
        for (int i = 0; i < 4; ++i) {
            char name[256] = "keep", address[256] = "keep";
            const bool listed = VornSocketServerAsync::GetClientInfo(i, name, address);
            SCOPED_TRACE("client " + std::to_string(i));
            EXPECT_NAMED({"listed", listed, i < 3}, {"address", address, rows[i][0]}, {"name", name, rows[i][1]});
        }
        // A packet the work area cannot copy is refused with the memory text.
        const VornSocketPacket huge = {0, 0xF0000000u, g_eight.data()};
        char text[1024] = {};
        EXPECT_FALSE(VornSocketServerAsync::Send(&huge, VornSocketServerAsync::FindByIndex(0)->socket));
        const bool hasText = VornSocketServerAsync::GetLastErrorText(text);
        EXPECT_NAMED({"a text", hasText, true}, {"the text", text, "作業用メモリが確保できませんでした"});
        // A client that leaves at once: its record becomes the closed one.
        clients.push_back(Client("127.0.0.2", port));
        ASSERT_TRUE(WaitFor([] { return g_closes == 1; }));
        char address[1088];
        VornSocketServerAsync::GetClosedClientInfo(nullptr, address);
        EXPECT_NAMED({"the closed client's address", address, "127.0.0.2"}, {"accepts", g_accepts, 4});
        VornSocketServerAsync::CloseAll();
        EXPECT_EQ(0, VornSocketServerAsync::GetClientCount());
        for (std::thread& t : clients) t.join();

        // A buffer queued at accept goes out whole at FD_WRITE (CloseAll closed the listener too).
        const uint16_t again = FreePort();
        ASSERT_TRUE(VornSocketServerAsync::Create());
        ASSERT_TRUE(VornSocketServerAsync::Listen(again)) << again;
        VornSocketServerAsync::SetAcceptCallback([](HWND, SOCKET s) {
            const VornSocketPacket packet = {0, uint32_t(g_eight.size()), g_eight.data()};
            g_last = s;
            g_firstSend = VornSocketServerAsync::Send(&packet, s);
            g_secondSend = VornSocketServerAsync::Send(&packet, s);
            g_besideQueued = VornSocketServerAsync::SendData("zz", 2, s);
        });
        VornSocketServerAsync::SetSendCallback([](HWND, SOCKET) { ++g_sendReady; });
        std::string whole;
        std::thread client = Client("127.0.0.1", again, &whole, 300);
        ASSERT_TRUE(WaitFor([] {
            const VornAsyncClientRecord* c = VornSocketServerAsync::FindBySocket(g_last);
            return c && c->writable && !c->pending;
        }));
        // Queued whole, a second one refused, nothing sent beside it, no send-ready call for it.
        EXPECT_NAMED({"the first Send", g_firstSend, true}, {"a second Send", g_secondSend, false},
                     {"SendData beside it", g_besideQueued, 0}, {"send-ready calls", g_sendReady, 0});
        VornSocketServerAsync::CloseAll();
        client.join();
        ASSERT_EQ(whole.size(), g_eight.size());
        EXPECT_BYTES_EQ(g_eight.data(), whole.data(), whole.size());

        TestServer server([](SOCKET s) { Sleep(100), Whole(s, "0123456789", 10, true); });
        char in[64];
        Open<VornSocketAsyncIO>(server.Port());
        ASSERT_EQ(0, VornSocketAsyncIO::Recv(in, sizeof in));
        for (int frame = 0; frame < 120 && VornSocketAsyncIO::GetStatus() == -3; ++frame) Vorn::SyncFrame();
        status = VornSocketAsyncIO::GetStatus() * 100 + int32_t(VornSocketAsyncIO::GetTransferred());
        const uint16_t session = FreePort();
        ASSERT_TRUE(VornNetwork::CreateSession("room", "alice", session));
        joiner = std::make_unique<TestPeer>(L"bob");
        ASSERT_EQ(VORN_PEER_OK, joiner->Join(session));
        EndRun();
        Vorn::Finalize();
    }));
    EXPECT_EQ(10, status);
    ASSERT_TRUE(joiner);
    EXPECT_TRUE(WaitFor([&] { return joiner->Players().size() == 1 && joiner->Find(VORN_PEER_MSG_HOST_MIGRATE); }))
        << joiner->Players().size() << " players left; no host migration came";
    const std::string log = ReadFile("VornSocketBootLog.html");   // in the module's folder, boot's current one
    EXPECT_TRUE(InOrder(log, {"VornSocketクラスの初期化", "VornSocketAsyncIOクラスの初期化", "VornSocketServerAsyncクラスの初期化",
                              "VornSocketServerMTクラスの初期化", "VornSocketServerMTクラスの解放", "VornSocketServerAsyncクラスの解放",
                              "VornSocketAsyncIOクラスの解放", "VornSocketクラスの解放"}));
    EXPECT_TRUE(InOrder(log, {"VornNetworkクラスの初期化", Green("Success"), "VornNetworkクラスの解放"}));
}

}  // namespace
