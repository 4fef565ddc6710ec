// A peer of the session layer in a process of its own, for the network tests: "host PORT" hosts a
// session (host migration allowed), "join PORT" joins the one on 127.0.0.1. It prints "ready" once
// in the session and sends every message it gets back to its sender. The test kills it; on its own
// it quits after a minute without closing anything.
#include "VornPeer.h"
#include <winsock2.h>
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

VornPeer* g_peer = nullptr;
volatile LONG g_ready = 0;

VornPeerResult Handler(void*, uint32_t message, void* body)
{
    if (message == VORN_PEER_MSG_CONNECT_COMPLETE) g_ready = static_cast<VornPeerMsgConnectComplete*>(body)->result == VORN_PEER_OK;
    if (message == VORN_PEER_MSG_RECEIVE) {
        const auto* m = static_cast<VornPeerMsgReceive*>(body);
        const VornPeerBufferDesc echo = {m->dataSize, m->data};
        g_peer->SendTo(m->sender, &echo, 1);
    }
    return VORN_PEER_OK;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    WSADATA data;
    WSAStartup(MAKEWORD(2, 0), &data);
    VornPeer::Create(&g_peer);
    g_peer->Initialize(nullptr, Handler, 0);
    wchar_t name[] = L"helper";
    const VornPeerPlayerInfo info = {sizeof info, VORN_PEER_INFO_NAME, name, nullptr, 0, 0};
    g_peer->SetPeerInfo(&info);
    uint32_t port = uint32_t(std::atoi(argv[2]));
    VornPeerAddress* address = nullptr;
    VornPeerAddress::Create(&address);
    address->SetSP(VORN_PEER_SP_TCPIP);
    address->AddComponent(L"port", &port, sizeof port, VORN_PEER_TYPE_DWORD);
    address->AddComponent(L"hostname", L"127.0.0.1", 20, VORN_PEER_TYPE_STRING);
    VornPeerAppDesc desc = {sizeof desc, VORN_PEER_SESSION_MIGRATE_HOST};
    desc.application = {0x12345678, 0x1234, 0x5678, {0x01, 0x12, 0x23, 0x34, 0x45, 0x56, 0x67, 0x78}};
    desc.maxPlayers = 32;
    desc.sessionName = name;
    uintptr_t handle = 0;
    if (std::strcmp(argv[1], "host") == 0) g_ready = g_peer->Host(&desc, &address, 1) == VORN_PEER_OK;
    else g_peer->Connect(&desc, address, nullptr, &handle);
    address->Release();
    for (int wait = 0; !g_ready && wait < 1000; ++wait) Sleep(10);
    if (!g_ready) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    Sleep(60000);
    return 0;
}
