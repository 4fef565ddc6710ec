// Peers of the session layer for tests, on 127.0.0.1 and ports found free at run time: each keeps
// what its handler saw, in order.
#pragma once
#include "../Net/SocketSupport.h"
#include "VornPeer.h"
#include "VornPeerWire.h"
#include <algorithm>
#include <cstring>
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
    // Connects and waits for CONNECT_COMPLETE: its result.
    VornPeerResult Join(uint16_t port)
    {
        VornPeerAppDesc desc = {sizeof desc, 0, {}, kTestApplication};
        VornPeerAddress* host = Address(L"127.0.0.1", port);
        uintptr_t handle = 0;
        const VornPeerResult r = peer->Connect(&desc, host, nullptr, &handle);
        host->Release();
        if (r != VORN_PEER_PENDING) return r;
        Seen done = {};
        return WaitFor([&] { return Find(VORN_PEER_MSG_CONNECT_COMPLETE, &done); }) ? done.result : VORN_PEER_FAILED;
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
        std::vector<Seen> out;
        for (const Seen& s : Events())
            if (s.message == message) out.push_back(s);
        return out;
    }
    bool Find(uint32_t message, Seen* out = nullptr)
    {
        const std::vector<Seen> seen = Of(message);
        if (out && !seen.empty()) *out = seen[0];
        return !seen.empty();
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
            uint32_t size = 0;
            if (self->peer->GetPeerInfo(m->id, nullptr, &size) == VORN_PEER_BUFFER_TOO_SMALL) {
                std::vector<uint8_t> buffer(size);
                auto* info = reinterpret_cast<VornPeerPlayerInfo*>(buffer.data());
                if (self->peer->GetPeerInfo(m->id, info, &size) == VORN_PEER_OK) {
                    for (const wchar_t* c = info->name; *c; ++c) s.data.push_back(char(*c));
                    s.result = int32_t(info->playerFlags);
                    if (info->playerFlags & VORN_PEER_PLAYER_LOCAL) self->localId_ = m->id;
                }
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
            for (const wchar_t* c = m->desc->sessionName; *c; ++c) s.data.push_back(char(*c));
            break;
        }
        case VORN_PEER_MSG_CONNECT_COMPLETE:
            s.result = static_cast<VornPeerMsgConnectComplete*>(body)->result;
            break;
        case VORN_PEER_MSG_ASYNC_OP_COMPLETE:
            s.result = static_cast<VornPeerMsgAsyncOpComplete*>(body)->result;
            break;
        default:
            break;
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

}  // namespace vorntest
