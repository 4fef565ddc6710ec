// A peer of the session layer in a process of its own, for the network tests: "peer_helper PORT"
// hosts a session as "helper" (host migration allowed), prints "ready" once it is in, and sends every
// message it gets back to its sender. The test kills it; on its own it quits after a minute without
// closing anything.
#include "../Peer/PeerSupport.h"
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    WSADATA data;
    WSAStartup(MAKEWORD(2, 0), &data);
    auto* helper = new vorntest::TestPeer(L"helper");   // never closed
    helper->onMessage = [](vorntest::TestPeer& self, uint32_t message, void* body) {
        if (message != VORN_PEER_MSG_RECEIVE) return;
        const auto* m = static_cast<VornPeerMsgReceive*>(body);
        const VornPeerBufferDesc echo = {m->dataSize, m->data};
        self.peer->SendTo(m->sender, &echo, 1);
    };
    if (helper->Host(static_cast<uint16_t>(std::atoi(argv[1])), VORN_PEER_SESSION_MIGRATE_HOST, 32, L"helper") != VORN_PEER_OK) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    Sleep(60000);
    return 0;
}
