// The peer-session layer on loopback: messages a second from one peer to another (64 and 1,024
// bytes) and the round trip of a 64-byte message bounced between two handlers, each against a plain
// TCP socket pair doing the same between two threads, and the time 8 peers take to join one
// session. Each figure is taken in ROUNDS short rounds, alternating with plain TCP, and printed as
// the median ratio and its range (the machine may be shared). Prints figures; asserts nothing.
#include "GameStubs.h"
#include "VornPeer.h"
#include <winsock2.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

constexpr VornPeerGuid kApplication = {0x5650BE01, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

uint16_t FreePort()
{
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int n = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    closesocket(s);
    return ntohs(a.sin_port);
}

constexpr int ROUNDS = 15;

// "median m (range a-b)" of the ratios.
void PrintRatios(std::vector<double> r, const char* goal)
{
    std::sort(r.begin(), r.end());
    std::printf("   ratio median %.2f (range %.2f-%.2f over %d rounds; goal %s)\n", r[r.size() / 2], r.front(), r.back(), int(r.size()), goal);
}

// A peer that counts what it receives and, when asked, sends each message straight back (until
// `bounces` have come back, then it signals `done`).
struct Peer
{
    VornPeer* peer = nullptr;
    std::atomic<uint32_t> received{0}, players{0}, connected{0};
    bool echo = false;
    uint32_t bounces = 0;
    HANDLE done = CreateEventA(nullptr, FALSE, FALSE, nullptr);

    Peer()
    {
        VornPeer::Create(&peer);
        peer->Initialize(this, Handler, 0);
    }
    ~Peer()
    {
        peer->Close();
        peer->Release();
        CloseHandle(done);
    }
    static VornPeerResult Handler(void* context, uint32_t message, void* body)
    {
        Peer* self = static_cast<Peer*>(context);
        if (message == VORN_PEER_MSG_CREATE_PLAYER) ++self->players;
        if (message == VORN_PEER_MSG_CONNECT_COMPLETE) self->connected = 1;
        if (message != VORN_PEER_MSG_RECEIVE) return VORN_PEER_OK;
        const auto* m = static_cast<VornPeerMsgReceive*>(body);
        const uint32_t n = ++self->received;
        if (self->echo && (!self->bounces || n < self->bounces)) {
            const VornPeerBufferDesc b = {m->dataSize, m->data};
            self->peer->SendTo(m->sender, &b, 1);
        } else if (self->bounces && n == self->bounces) {
            SetEvent(self->done);
        }
        return VORN_PEER_OK;
    }
    VornPeerAddress* Address(uint32_t port, bool host)
    {
        VornPeerAddress* a = nullptr;
        VornPeerAddress::Create(&a);
        a->SetSP(VORN_PEER_SP_TCPIP);
        if (host) a->AddComponent(L"hostname", L"127.0.0.1", 20, VORN_PEER_TYPE_STRING);
        a->AddComponent(L"port", &port, 4, VORN_PEER_TYPE_DWORD);
        return a;
    }
    void Host(uint16_t port)
    {
        VornPeerAppDesc desc = {sizeof desc, VORN_PEER_SESSION_MIGRATE_HOST};
        desc.application = kApplication;
        desc.maxPlayers = 32;
        desc.sessionName = const_cast<wchar_t*>(L"bench");
        VornPeerAddress* device = Address(port, false);
        peer->Host(&desc, &device, 1);
        device->Release();
    }
    void Join(uint16_t port)
    {
        VornPeerAppDesc desc = {sizeof desc};
        desc.application = kApplication;
        VornPeerAddress* host = Address(port, true);
        uintptr_t handle = 0;
        peer->Connect(&desc, host, nullptr, &handle);
        host->Release();
        while (!connected) Sleep(0);
    }
};

// Waits without taking the processor from the peers' workers.
void Wait(const std::atomic<uint32_t>& counter, uint32_t n)
{
    while (counter < n) Sleep(1);
}

// A connected loopback TCP pair (no Nagle), the plain peer of the layer.
void Pair(SOCKET* a, SOCKET* b)
{
    const SOCKET l = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(l, reinterpret_cast<sockaddr*>(&at), sizeof at);
    listen(l, 1);
    int n = sizeof at;
    getsockname(l, reinterpret_cast<sockaddr*>(&at), &n);
    *a = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    connect(*a, reinterpret_cast<sockaddr*>(&at), sizeof at);
    *b = accept(l, nullptr, nullptr);
    closesocket(l);
    BOOL on = TRUE;
    for (SOCKET s : {*a, *b}) setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

bool Whole(SOCKET s, char* p, int n, bool sending)
{
    for (int k; n > 0; p += k, n -= k)
        if ((k = sending ? send(s, p, n, 0) : recv(s, p, n, 0)) <= 0) return false;
    return true;
}

double RawRate(int size, int count)
{
    SOCKET a, b;
    Pair(&a, &b);
    std::vector<char> frame(size_t(size) + 4);
    const double start = Now();
    std::thread reader([&] {
        std::vector<char> in(frame.size());
        for (int i = 0; i < count; ++i) Whole(b, in.data(), int(in.size()), false);
    });
    for (int i = 0; i < count; ++i) Whole(a, frame.data(), int(frame.size()), true);
    reader.join();
    const double rate = count / (Now() - start);
    closesocket(a);
    closesocket(b);
    return rate;
}

double RawRoundTripUs(int count)
{
    SOCKET a, b;
    Pair(&a, &b);
    std::thread echo([&] {
        char m[68];
        for (int i = 0; i < count; ++i) Whole(b, m, 68, false), Whole(b, m, 68, true);
    });
    char m[68] = {};
    const double start = Now();
    for (int i = 0; i < count; ++i) Whole(a, m, 68, true), Whole(a, m, 68, false);
    const double us = (Now() - start) / count * 1e6;
    echo.join();
    closesocket(a);
    closesocket(b);
    return us;
}

}  // namespace

int main()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 0), &data);
    const uint16_t port = FreePort();
    Peer host, joiner;
    host.Host(port);
    joiner.Join(port);
    Wait(host.players, 2);

    for (int size : {64, 1024}) {
        const int count = size == 64 ? 20000 : 10000;
        std::vector<uint8_t> payload(size_t(size), 0x5A);
        const VornPeerBufferDesc b = {uint32_t(size), payload.data()};
        double rate = 0, raw = 0;
        std::vector<double> ratios;
        for (int round = 0; round < ROUNDS; ++round) {
            const uint32_t before = host.received;
            const double start = Now();
            for (int i = 0; i < count; ++i) {
                joiner.peer->SendTo(1, &b, 1);
                // A sender far ahead of its reader is dropped once its queue fills: stay within 4,000.
                if (i % 1000 == 999 && i >= 4000) Wait(host.received, before + uint32_t(i - 4000));
            }
            Wait(host.received, before + uint32_t(count));
            rate = count / (Now() - start);
            raw = RawRate(size, count);
            ratios.push_back(rate / raw);
        }
        std::printf("messages of %4d bytes: %9.0f/s   plain TCP %9.0f/s (last round)", size, rate, raw);
        PrintRatios(ratios, size == 64 ? "at least 0.95" : "none");
    }

    const int trips = 500;
    host.echo = true;
    joiner.echo = true;
    const std::vector<uint8_t> ping(64, 1);
    const VornPeerBufferDesc b = {64, ping.data()};
    double us = 0, raw = 0;
    std::vector<double> ratios;
    for (int round = 0; round < ROUNDS; ++round) {
        joiner.received = 0;
        joiner.bounces = trips;
        const double start = Now();
        joiner.peer->SendTo(1, &b, 1);
        WaitForSingleObject(joiner.done, INFINITE);
        us = (Now() - start) / trips * 1e6;
        raw = RawRoundTripUs(trips);
        ratios.push_back(us / raw);
    }
    host.echo = joiner.echo = false;
    std::printf("round trip of 64 bytes: %7.1f us   plain TCP %7.1f us (last round)", us, raw);
    PrintRatios(ratios, "at most 1.2");

    const uint16_t joinPort = FreePort();
    std::vector<std::unique_ptr<Peer>> peers;
    const double joinStart = Now();
    peers.push_back(std::make_unique<Peer>());
    peers[0]->Host(joinPort);
    for (int i = 1; i < 8; ++i) {
        peers.push_back(std::make_unique<Peer>());
        peers.back()->Join(joinPort);
    }
    for (auto& p : peers) Wait(p->players, 8);
    std::printf("8 peers joined one session in %.1f ms (full mesh, every peer sees 8 players)\n", (Now() - joinStart) * 1e3);
    return 0;
}
