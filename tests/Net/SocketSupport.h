// The socket tests' own peers, on loopback only (127.0.0.1 and 127.0.0.2), ports chosen free at
// run time.
#pragma once
#include "EngineFixture.h"
#include "VornSocket.h"
#include "VornSocketAsyncIO.h"
#include "VornSocketServerMT.h"
#include <winsock2.h>
#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

namespace vorntest {

inline uint16_t PortOf(SOCKET s)
{
    sockaddr_in a = {};
    int n = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    return ntohs(a.sin_port);
}

inline sockaddr_in At(const char* ip, uint16_t port = 0)
{
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = inet_addr(ip);
    return a;
}

// A TCP socket bound to ip and a free port, listening when asked.
inline SOCKET Bound(const char* ip, bool listening = false)
{
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const sockaddr_in a = At(ip);
    bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a);
    if (listening) listen(s, 16);
    return s;
}

// A port free for TCP and UDP on every address (what a peer host binds), and none this process was
// handed before (two calls in a row may otherwise get one port back).
inline uint16_t FreePort()
{
    static std::vector<uint16_t> given;
    for (int tries = 0;; ++tries) {
        const SOCKET s = Bound("0.0.0.0");
        const uint16_t port = PortOf(s);
        const SOCKET u = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        const sockaddr_in a = At("0.0.0.0", port);
        const bool udpFree = bind(u, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
        closesocket(u);
        closesocket(s);
        if (tries == 100 || (udpFree && std::find(given.begin(), given.end(), port) == given.end())) {
            given.push_back(port);
            return port;
        }
    }
}

// A client from ip connected to 127.0.0.1:port (INVALID_SOCKET when it failed).
inline SOCKET ConnectFrom(const char* ip, uint16_t port)
{
    SOCKET s = Bound(ip);
    const sockaddr_in to = At("127.0.0.1", port);
    if (connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) closesocket(s), s = INVALID_SOCKET;
    return s;
}

// Sends or receives the whole buffer; false on an error or the peer's close.
inline bool Whole(SOCKET s, const void* data, size_t n, bool sending)
{
    char* p = const_cast<char*>(static_cast<const char*>(data));
    for (int k; n; p += k, n -= size_t(k))
        if ((k = sending ? send(s, p, int(n), 0) : recv(s, p, int(n), 0)) <= 0) return false;
    return true;
}

inline std::string RecvToEnd(SOCKET s)
{
    std::string out;
    char buffer[4096];
    for (int k; (k = recv(s, buffer, sizeof buffer, 0)) > 0;) out.append(buffer, size_t(k));
    return out;
}

inline std::string Pattern(size_t n, uint32_t seed = 1)
{
    std::string v(n, '\0');
    for (char& c : v) c = char((seed = seed * 1103515245u + 12345u) >> 16);
    return v;
}

// A listener on ip serving each connection with `serve` on a thread of its own, then closing it.
class TestServer {
public:
    explicit TestServer(std::function<void(SOCKET)> serve, const char* ip = "127.0.0.1")
        : listener_(Bound(ip, true)), acceptor_([this, serve] {
              for (SOCKET s; (s = accept(listener_, nullptr, nullptr)) != INVALID_SOCKET;) {
                  ++accepted_;
                  clients_.emplace_back([serve, s] { serve(s), closesocket(s); });
              }
          })
    {
    }
    ~TestServer()
    {
        closesocket(listener_);
        acceptor_.join();
        for (std::thread& t : clients_) t.join();
    }
    uint16_t Port() const { return PortOf(listener_); }
    std::atomic<int> accepted_{0};

private:
    SOCKET listener_;
    std::vector<std::thread> clients_;
    std::thread acceptor_;
};

// The work area and WinSock for a suite of socket tests; each case starts the socket classes afresh.
class NetSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        StartServices();
        WSADATA data;
        WSAStartup(MAKEWORD(2, 0), &data);
    }
    void SetUp() override { VornSocket::Initialize(), VornSocketAsyncIO::Initialize(), VornSocketServerMT::Initialize(); }
    void TearDown() override { VornSocketServerMT::Finalize(), VornSocketAsyncIO::Finalize(), VornSocket::Finalize(); }
};

// A client of the class connected to 127.0.0.1:port.
template <class Client = VornSocket> void Open(uint16_t port)
{
    ASSERT_TRUE(Client::Create());
    ASSERT_TRUE(Client::Connect("127.0.0.1", port));
}

// The text a getter writes into the buffer it is given (room for a server log line or more).
inline std::string TextOf(const std::function<void(char*)>& get)
{
    char text[VornSocketServerMT::LOG_LENGTH] = {};
    get(text);
    return text;
}

// Waits (bounded, alertable, dispatching the thread's window messages) for done(); false when time ran out.
inline bool WaitFor(const std::function<bool()>& done, DWORD ms = 10000)
{
    MSG msg;
    for (const ULONGLONG end = GetTickCount64() + ms; !done();) {
        if (GetTickCount64() > end) return false;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        else SleepEx(1, TRUE);
    }
    return true;
}

}  // namespace vorntest
