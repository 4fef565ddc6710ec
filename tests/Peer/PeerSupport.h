// Peers of the session layer for tests, on 127.0.0.1 and ports found free at run time: each keeps
// what its handler saw, in order.
#pragma once
#include "../Net/SocketSupport.h"
#include "VornPeer.h"
#include "VornPeerWire.h"
#include <memory>
#include <mutex>

namespace vorntest {

constexpr VornPeerGuid kTestApplication = {0x12345678, 0x1234, 0x5678, {0x01, 0x12, 0x23, 0x34, 0x45, 0x56, 0x67, 0x78}};

struct Seen
{
    uint32_t message;
    uint32_t id;          // player, new host, or the session's current players (enum answers)
    int32_t result;
    std::string data;     // payload, or the session name of an enum answer
    VornPeerGuid instance;
};

class TestPeer {
public:
    explicit TestPeer(const wchar_t* name)
    {
        VornPeer::Create(&peer);
        peer->Initialize(this, Handler, 0);
        VornPeerPlayerInfo info = {sizeof info, VORN_PEER_INFO_NAME, const_cast<wchar_t*>(name), nullptr, 0, 0};
        peer->SetPeerInfo(&info);
    }
    ~TestPeer()
    {
        if (!peer) return;   // released inside its handler
        peer->Close();
        peer->Release();
    }
    static VornPeerAddress* Address(const wchar_t* host, uint32_t port)
    {
        VornPeerAddress* a = nullptr;
        VornPeerAddress::Create(&a);
        a->SetSP(VORN_PEER_SP_TCPIP);
        if (host) a->AddComponent(L"hostname", host, uint32_t((wcslen(host) + 1) * 2), VORN_PEER_TYPE_STRING);
        if (port) a->AddComponent(L"port", &port, 4, VORN_PEER_TYPE_DWORD);
        return a;
    }
    VornPeerResult Host(uint16_t port, uint32_t flags = VORN_PEER_SESSION_MIGRATE_HOST, uint32_t maxPlayers = 32,
                        const wchar_t* session = L"room")
    {
        VornPeerAppDesc desc = {sizeof desc, flags, {}, kTestApplication, maxPlayers, 0, const_cast<wchar_t*>(session)};
        VornPeerAddress* device = Address(nullptr, port);
        const VornPeerResult r = peer->Host(&desc, &device, 1);
        device->Release();
        return r;
    }
    // Connects to 127.0.0.1:port (from the device's port, when given) and waits for CONNECT_COMPLETE: its result.
    VornPeerResult Join(uint16_t port, uint16_t device = 0)
    {
        VornPeerAppDesc desc = {sizeof desc, 0, {}, kTestApplication};
        VornPeerAddress *host = Address(L"127.0.0.1", port), *from = device ? Address(nullptr, device) : nullptr;
        uintptr_t handle = 0;
        const VornPeerResult r = peer->Connect(&desc, host, from, &handle);
        host->Release();
        if (from) from->Release();
        if (r != VORN_PEER_PENDING) return r;
        Seen done = {};
        return WaitFor([&] { return Find(VORN_PEER_MSG_CONNECT_COMPLETE, &done); }) ? done.result : VORN_PEER_FAILED;
    }
    // Starts a search of 127.0.0.1:port (from the device's port, when given), asked again every retryMs: its handle.
    uintptr_t Search(uint16_t port, uint32_t retryMs = 0, uint16_t device = 0)
    {
        VornPeerAppDesc desc = {sizeof desc, 0, {}, kTestApplication};
        VornPeerAddress *at = Address(L"127.0.0.1", port), *from = device ? Address(nullptr, device) : nullptr;
        uintptr_t search = 0;
        EXPECT_EQ(VORN_PEER_OK, peer->EnumHosts(&desc, at, from, retryMs, &search));
        at->Release();
        if (from) from->Release();
        return search;
    }
    // The port it listens on (0 when it has none).
    uint16_t ListenPort()
    {
        VornPeerAddress* mine[4] = {};
        uint32_t count = 4, port = 0, size = 4;
        if (peer->GetLocalHostAddresses(mine, &count) != VORN_PEER_OK || !count) return 0;
        mine[0]->GetComponentByName(L"port", &port, &size, nullptr);
        for (uint32_t i = 0; i < count; ++i) mine[i]->Release();
        return uint16_t(port);
    }
    VornPeerResult Send(uint32_t to, const std::string& data)
    {
        VornPeerBufferDesc b = {uint32_t(data.size()), reinterpret_cast<const uint8_t*>(data.data())};
        return peer->SendTo(to, &b, 1);
    }
    uint32_t LocalId() const { return localId_; }
    std::vector<Seen> Events()
    {
        std::lock_guard<std::mutex> hold(lock_);
        return seen_;
    }
    std::vector<Seen> Of(uint32_t message)
    {
        std::vector<Seen> out = Events();
        out.erase(std::remove_if(out.begin(), out.end(), [&](const Seen& s) { return s.message != message; }), out.end());
        return out;
    }
    bool Find(uint32_t message, Seen* out = nullptr)
    {
        for (const Seen& s : Events())
            if (s.message == message) return out && (*out = s, true), true;
        return false;
    }
    // The ids of the players created and not destroyed, in order.
    std::vector<uint32_t> Players()
    {
        std::vector<uint32_t> out;
        for (const Seen& s : Events()) {
            if (s.message == VORN_PEER_MSG_CREATE_PLAYER) out.push_back(s.id);
            if (s.message == VORN_PEER_MSG_DESTROY_PLAYER) out.erase(std::remove(out.begin(), out.end(), s.id), out.end());
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    std::function<void(TestPeer&, uint32_t, void*)> onMessage;   // runs inside the handler
    VornPeer* peer = nullptr;

private:
    static VornPeerResult Handler(void* context, uint32_t message, void* body)
    {
        auto* self = static_cast<TestPeer*>(context);
        Seen s = {message, 0, 0, {}, {}};
        switch (message) {
        case VORN_PEER_MSG_CREATE_PLAYER: {
            auto* m = static_cast<VornPeerMsgCreatePlayer*>(body);
            s.id = m->id;
            m->playerContext = self;
            uint64_t buffer[160];
            uint32_t size = sizeof buffer;
            auto* info = reinterpret_cast<VornPeerPlayerInfo*>(buffer);
            if (self->peer->GetPeerInfo(m->id, info, &size) == VORN_PEER_OK) {
                for (const wchar_t* c = info->name; *c; ++c) s.data.push_back(char(*c));
                s.result = int32_t(info->playerFlags);
                if (info->playerFlags & VORN_PEER_PLAYER_LOCAL) self->localId_ = m->id;
            }
            break;
        }
        case VORN_PEER_MSG_DESTROY_PLAYER:
            s.id = static_cast<VornPeerMsgDestroyPlayer*>(body)->id;
            break;
        case VORN_PEER_MSG_RECEIVE: {
            auto* m = static_cast<VornPeerMsgReceive*>(body);
            s.id = m->sender;
            s.result = m->playerContext == self;   // created before it spoke
            s.data.assign(reinterpret_cast<const char*>(m->data), m->dataSize);
            break;
        }
        case VORN_PEER_MSG_HOST_MIGRATE:
            s.id = static_cast<VornPeerMsgHostMigrate*>(body)->newHost;
            break;
        case VORN_PEER_MSG_ENUM_HOSTS_RESPONSE: {
            auto* m = static_cast<VornPeerMsgEnumHostsResponse*>(body);
            s.id = m->desc->currentPlayers;
            s.instance = m->desc->instance;
            s.result = int32_t(m->search);
            for (const wchar_t* c = m->desc->sessionName; *c; ++c) s.data.push_back(char(*c));
            break;
        }
        case VORN_PEER_MSG_CONNECT_COMPLETE:
            s.result = static_cast<VornPeerMsgConnectComplete*>(body)->result;
        }
        if (self->onMessage) self->onMessage(*self, message, body);
        std::lock_guard<std::mutex> hold(self->lock_);
        self->seen_.push_back(s);
        return VORN_PEER_OK;
    }

    std::mutex lock_;
    std::vector<Seen> seen_;
    std::atomic<uint32_t> localId_{0};
};

// s, its reads giving up after ms.
inline SOCKET Patient(SOCKET s, DWORD ms)
{
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
    return s;
}

// A stranger that speaks the wire by hand on a raw link to a peer's port (from a loopback address),
// or on one a peer made to its listener. Every read gives up after 15 s.
struct Hostile
{
    using Frame = VornPeerWire::Frame;
    struct Accepting { SOCKET listener; };
    explicit Hostile(uint16_t port, const char* from = "127.0.0.1") : s(Patient(ConnectFrom(from, port), 15000)) {}
    explicit Hostile(Accepting a) : s(Patient(accept(a.listener, nullptr, nullptr), 15000)) {}
    ~Hostile() { closesocket(s); }
    static std::string Bytes(const Frame& f)
    {
        std::vector<uint8_t> b;
        EXPECT_TRUE(VornPeerWire::Encode(f, &b));
        return std::string(b.begin(), b.end());
    }
    static Frame Of(VornPeerWire::Type type, uint32_t id = 0, const VornPeerGuid& guid = kTestApplication)
    {
        Frame f;
        f.type = type, f.id = id, f.name = u"stranger";
        std::memcpy(type == VornPeerWire::HELLO ? f.instance.bytes : f.application.bytes, &guid, 16);
        return f;
    }
    bool Say(const std::string& bytes) { return Whole(s, bytes.data(), bytes.size(), true); }
    bool Say(const Frame& f) { return Say(Bytes(f)); }
    // The next frame (type DATA with no payload when the link closed or said nothing decodable).
    Frame Hear()
    {
        Frame f;
        size_t used = 0;
        body.clear();
        for (char c; recv(s, &c, 1, 0) == 1;)
            if (body += c, VornPeerWire::Decode(reinterpret_cast<const uint8_t*>(body.data()), body.size(), &f, &used) !=
                               VornPeerWire::Status::NeedMore)
                break;
        return f;
    }
    // Whether the other side closed the link (rather than the wait running out).
    bool Closed()
    {
        WSASetLastError(0);
        RecvToEnd(s);
        return WSAGetLastError() != WSAETIMEDOUT;
    }
    SOCKET s;
    std::string body;
};

}  // namespace vorntest
