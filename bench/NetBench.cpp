// Socket benchmarks inside a booted engine: 64-byte echoes per second with 1, 8 and 32 clients
// for both servers against a plain thread-per-client echo loop, and HttpGet of 10 MB against a
// plain recv loop. Loopback only. Prints figures and ratios; asserts nothing.
#include "BenchClock.h"
#include "GameStubs.h"
#include "Vorn.h"
#include "VornMemory.h"
#include "VornSocket.h"
#include "VornSocketServerAsync.h"
#include "VornSocketServerMT.h"
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kFrame = 64;
constexpr double kSeconds = 1.0;

HANDLE Spawn(std::function<void()>* body)
{
    return CreateThread(nullptr, 0, [](void* p) -> DWORD {
        (*static_cast<std::function<void()>*>(p))();
        return 0;
    }, body, 0, nullptr);
}

uint16_t ListenOn(SOCKET s)
{
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(s, 64);
    int n = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    return ntohs(a.sin_port);
}

uint16_t FreePort()
{
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const uint16_t port = ListenOn(s);
    closesocket(s);
    return port;
}

bool Whole(SOCKET s, char* p, int n, bool send)
{
    for (int k; n > 0; p += k, n -= k)
        if ((k = send ? ::send(s, p, n, 0) : recv(s, p, n, 0)) <= 0) return false;
    return true;
}

// `clients` threads echo frames against port for kSeconds (while pump() runs on this thread);
// returns echoes per second.
double Echoes(uint16_t port, int clients, const std::function<void()>& pump)
{
    std::atomic<long> total{0};
    std::atomic<bool> stop{false};
    std::vector<std::function<void()>> bodies(clients, [&] {
        const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = inet_addr("127.0.0.1");
        char frame[kFrame] = {1};
        long n = 0;
        if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0)
            while (!stop && Whole(s, frame, kFrame, true) && Whole(s, frame, kFrame, false)) ++n;
        total += n;
        closesocket(s);
    });
    std::vector<HANDLE> threads;
    for (auto& body : bodies) threads.push_back(Spawn(&body));
    const double t0 = Now();
    while (Now() - t0 < kSeconds) pump();
    stop = true;
    const double t1 = Now();
    while (WaitForMultipleObjects(DWORD(threads.size()), threads.data(), TRUE, 0) == WAIT_TIMEOUT && Now() - t1 < 10.0) pump();
    for (HANDLE h : threads) CloseHandle(h);
    return double(total) / (t1 - t0);
}

void Idle() { SleepEx(1, TRUE); }

// Where the window's thread spends an echo: fetching messages, handling them (the server's
// receive and send), or waiting for the next one. Under Wine each of these is a request to its
// server process, which the clients' threads share: one for the message fetch and two each for the
// receive and the send (seen with `wineserver -d2`), made one after another on the one thread,
// while the plain loop's threads wait for theirs side by side.
struct PumpTimes {
    double fetch = 0.0, handle = 0.0, wait = 0.0;
    long messages = 0;
} g_pump;

void PumpWindow()
{
    MSG msg;
    const double t0 = Now();
    const bool got = PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    const double t1 = Now();
    g_pump.fetch += t1 - t0;
    if (!got) {
        MsgWaitForMultipleObjectsEx(0, nullptr, 1, QS_ALLINPUT, MWMO_ALERTABLE);
        g_pump.wait += Now() - t1;
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    g_pump.handle += Now() - t1;
    ++g_pump.messages;
}

// The peer: a plain blocking echo thread per connection.
double PlainEchoes(int clients)
{
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const uint16_t port = ListenOn(listener);
    std::function<void()> acceptor = [&] {
        for (SOCKET s; (s = accept(listener, nullptr, nullptr)) != INVALID_SOCKET;) {
            auto* serve = new std::function<void()>([s] {
                char frame[kFrame];
                while (Whole(s, frame, kFrame, false) && Whole(s, frame, kFrame, true)) {
                }
                closesocket(s);
            });
            CloseHandle(Spawn(serve));   // left to the process end
        }
    };
    HANDLE thread = Spawn(&acceptor);
    const double rate = Echoes(port, clients, Idle);
    closesocket(listener);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    return rate;
}

void EchoMT(SOCKET s)
{
    char frame[kFrame];
    while (VornSocketServerMT::Recv(frame, kFrame, s) == kFrame && VornSocketServerMT::Send(frame, kFrame, s) == kFrame) {
    }
    closesocket(s);
}

double MTEchoes(int clients)
{
    const uint16_t port = FreePort();
    VornSocketServerMT::SetCallback(EchoMT);
    VornSocketServerMT::Create();
    if (!VornSocketServerMT::Start(port)) return 0.0;
    const double rate = Echoes(port, clients, Idle);
    VornSocketServerMT::Close();
    return rate;
}

double AsyncEchoes(int clients)
{
    const uint16_t port = FreePort();
    VornSocketServerAsync::SetRecvCallback([](HWND, SOCKET s) {
        // One frame at a time, as the plain loop reads: a full read ends the server's receive loop
        // without the call that would only report that nothing more is waiting.
        char buffer[kFrame];
        const int32_t n = VornSocketServerAsync::RecvData(buffer, sizeof buffer, s);
        // Queued: a client whose FD_WRITE has not come yet gets it then.
        const VornSocketPacket packet = {0, uint32_t(n > 0 ? n : 0), buffer};
        if (n > 0) VornSocketServerAsync::Send(&packet, s);
    });
    if (!VornSocketServerAsync::Create() || !VornSocketServerAsync::Listen(port)) return 0.0;
    g_pump = PumpTimes();
    const double rate = Echoes(port, clients, PumpWindow);
    VornSocketServerAsync::CloseAll();
    return rate;
}

void BenchHttpGet()
{
    const uint32_t size = 10u << 20;
    std::vector<char> reply(size, 'r');
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const uint16_t port = ListenOn(listener);
    std::function<void()> server = [&] {
        for (SOCKET s; (s = accept(listener, nullptr, nullptr)) != INVALID_SOCKET;) {
            char c;
            while (recv(s, &c, 1, 0) == 1 && c != '\n') {
            }
            Whole(s, reply.data(), int(size), true);
            closesocket(s);
        }
    };
    HANDLE thread = Spawn(&server);
    VornSocket::SetHttpPort(port);
    const char* path = "/ten";
    uint8_t* buffer = nullptr;
    uint32_t got = 0;
    double t0 = Now();
    const bool ok = VornSocket::HttpGet("127.0.0.1", &path, &buffer, &got, 1);
    const double vornTime = Now() - t0;
    VornMemory::FreeQuiet(buffer);

    // The peer: the same request with a plain recv loop into a growing vector.
    t0 = Now();
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = inet_addr("127.0.0.1");
    connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to);
    Whole(s, const_cast<char*>("GET /ten\n"), 9, true);
    std::vector<char> plain;
    char chunk[4096];
    for (int k; (k = recv(s, chunk, sizeof chunk, 0)) > 0;) plain.insert(plain.end(), chunk, chunk + k);
    closesocket(s);
    const double plainTime = Now() - t0;
    closesocket(listener);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
    std::printf("HttpGet 10 MB: %s, %u bytes, %.1f ms (%.0f MB/s); plain recv loop %.1f ms; ratio %.2f\n",
                ok ? "ok" : "FAILED", got, vornTime * 1e3, size / vornTime / 1048576.0, plainTime * 1e3,
                vornTime / plainTime);
}

}  // namespace

int main(int argc, char** argv)
{
    vorntest::SetGameInit([] {
        Vorn::SetMemorySize(0x4000000, false);
        Vorn::SetApplicationName("VornNetBench");
        Vorn::SetScreenInfo(320, 240, true);
        Vorn::SetUseOption(OPTION_SOCKET | OPTION_SOCKET_SERVER_ASYNC | OPTION_SOCKET_SERVER_MT);
        return true;
    });
    setvbuf(stdout, nullptr, _IONBF, 0);
    vorntest::SetGameMain([](int, char**) {
        const double loadStart = MachineLoad();
        std::printf("echoes per second (64-byte frames, %.0f s each):\n", kSeconds);
        for (int clients : {1, 8, 32}) {
            const double plain = PlainEchoes(clients);
            const double mt = MTEchoes(clients);
            const double async = AsyncEchoes(clients);
            std::printf("  %2d clients: ServerMT %8.0f (%.2f of plain), ServerAsync %8.0f (%.2f of plain%s), plain %8.0f\n",
                        clients, mt, mt / plain, async, async / plain,
                        clients == 1 ? "" : async / plain >= 0.8 ? ", goal >= 0.8 met" : ", goal >= 0.8 MISSED", plain);
            const double messages = g_pump.messages > 0 ? double(g_pump.messages) : 1.0;
            const double busy = (g_pump.fetch + g_pump.handle) / messages;
            std::printf("      ServerAsync's window thread: %.0f us a message fetching it, %.0f us handling it (receive and\n"
                        "      send), %.0f%% of its time waiting for the next; %.2f messages an echo; busy %.0f us a\n"
                        "      message, so that this one thread serves at most %.0f echoes a second\n",
                        g_pump.fetch * 1e6 / messages, g_pump.handle * 1e6 / messages,
                        100.0 * g_pump.wait / (g_pump.fetch + g_pump.handle + g_pump.wait),
                        async > 0.0 ? messages / (async * kSeconds) : 0.0, busy * 1e6, busy > 0.0 ? 1.0 / busy : 0.0);
        }
        const double loadEnd = MachineLoad();
        if (loadStart >= 0.0 && loadEnd >= 0.0)
            std::printf("  machine load average (1 min) at the start and the end: %.2f, %.2f\n", loadStart, loadEnd);
        BenchHttpGet();
        std::fflush(stdout);
        Vorn::Finalize();
        return 0;
    });
    return int(Vorn::Boot(GetModuleHandleA(nullptr), argc, argv));
}
