#include "VornSocketServerAsync.h"
#include "Vorn.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <cstring>

namespace {

VornSocketState g_state;
uint8_t g_listening = 0;
HWND g_window = nullptr;
UINT g_message = WM_VORN_SOCKET;
VornAsyncClientRecord* g_clients = nullptr;
int32_t g_clientCount = 0;
VornAsyncClientRecord g_accepted;
VornAsyncClientRecord g_closed;
VornSocketEventCallback g_onAccept = nullptr;
VornSocketEventCallback g_onClose = nullptr;
VornSocketEventCallback g_onRecv = nullptr;
VornSocketEventCallback g_onSend = nullptr;

constexpr long kClientEvents = FD_READ | FD_WRITE | FD_CLOSE;

void CopyInfo(const VornAsyncClientRecord& record, VornHostInfo* host, char* address, size_t addressSize)
{
    if (host) *host = record.host;
    if (address && addressSize) VornSystem::CopyText(address, addressSize, record.addressText);
}

// A result met after some bytes already moved waits for the next call.
int32_t Report(VornAsyncClientRecord* client, uint32_t moved, int32_t result)
{
    if (result == 0 || moved == 0) return moved ? static_cast<int32_t>(moved) : result;
    client->deferred = result;
    return static_cast<int32_t>(moved);
}

// Sends what the socket takes of the client's queued buffer; frees it once all went.
int32_t SendPending(VornAsyncClientRecord* client)
{
    if (!client->writable) return 0;
    bool wouldBlock = false;
    int32_t result = 0;
    const uint32_t moved = VornSocketCommon::SendSome(g_state, client->socket, client->pending + client->sent,
                                                      client->length - client->sent, &wouldBlock, &result);
    if (wouldBlock) client->writable = 0;
    client->sent += moved;
    if (client->sent == client->length) {
        VornMemory::FreeQuiet(client->pending);
        client->pending = nullptr;
        client->sent = 0;
        client->length = 0;
    }
    return Report(client, moved, result);
}

// SendData and RecvData: moves what the socket takes now; a close or error met after some bytes
// is reported by the next call.
int32_t Transfer(bool sending, void* data, uint32_t length, SOCKET socket)
{
    VornAsyncClientRecord* client = VornSocketServerAsync::FindBySocket(socket);
    if (!client) {
        VornSocketCommon::SetError(g_state, WSAENOTSOCK);
        return VornSocketCommon::RESULT_ERROR;
    }
    if (client->deferred) {
        const int32_t result = client->deferred;
        client->deferred = 0;
        return result;
    }
    // Bytes sent beside a queued buffer would overtake it.
    if (sending && client->pending) return data == client->pending ? SendPending(client) : 0;
    uint8_t& ready = sending ? client->writable : client->readable;
    if (!ready) return 0;
    bool wouldBlock = false;
    int32_t result = 0;
    const uint32_t moved = sending ? VornSocketCommon::SendSome(g_state, socket, data, length, &wouldBlock, &result)
                                   : VornSocketCommon::RecvSome(g_state, socket, data, length, &wouldBlock, &result);
    if (wouldBlock) ready = 0;
    return Report(client, moved, result);
}

void Notify(VornSocketEventCallback callback, HWND window, SOCKET socket)
{
    if (callback) callback(window, socket);
}

}  // namespace

bool VornSocketServerAsync::Initialize()
{
    VornLog::Title("VornSocketServerAsyncクラスの初期化");
    VornSocketCommon::Reset(g_state);
    g_listening = 0;
    g_clients = nullptr;
    g_clientCount = 0;
    g_accepted = VornAsyncClientRecord{};
    g_closed = VornAsyncClientRecord{};
    return true;
}

void VornSocketServerAsync::Finalize()
{
    VornLog::Title("VornSocketServerAsyncクラスの解放");
    CloseAll();
}

bool VornSocketServerAsync::Create()
{
    if (g_state.created) CloseAll();
    g_state.socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (g_state.socket == INVALID_SOCKET) {
        VornSocketCommon::SetLastError(g_state);
        return false;
    }
    g_window = Vorn::GetWindowHandle();
    g_message = WM_VORN_SOCKET;
    if (WSAAsyncSelect(g_state.socket, g_window, g_message, FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE) == SOCKET_ERROR) {
        VornSocketCommon::SetLastError(g_state);
        closesocket(g_state.socket);
        g_state.socket = INVALID_SOCKET;
        return false;
    }
    g_state.created = 1;
    return true;
}

bool VornSocketServerAsync::Listen(uint16_t port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(g_state.socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR ||
        listen(g_state.socket, 64) == SOCKET_ERROR) {
        VornSocketCommon::SetLastError(g_state);
        return false;
    }
    g_listening = 1;
    return true;
}

void VornSocketServerAsync::SetAcceptCallback(VornSocketEventCallback callback) { g_onAccept = callback; }
void VornSocketServerAsync::SetCloseCallback(VornSocketEventCallback callback) { g_onClose = callback; }
void VornSocketServerAsync::SetRecvCallback(VornSocketEventCallback callback) { g_onRecv = callback; }
void VornSocketServerAsync::SetSendCallback(VornSocketEventCallback callback) { g_onSend = callback; }

void VornSocketServerAsync::OnMessage(HWND window, WPARAM wParam, LPARAM lParam)
{
    const SOCKET socket = static_cast<SOCKET>(wParam);
    const uint32_t event = WSAGETSELECTEVENT(lParam);
    const int32_t error = WSAGETSELECTERROR(lParam);
    VornAsyncClientRecord* client = FindBySocket(socket);
    VornSocketCommon::SetError(g_state, error);
    switch (event) {
    case FD_READ:
        if (!client) break;
        client->readable = 1;
        Notify(g_onRecv, window, socket);
        break;
    case FD_WRITE:
        if (!client) break;
        client->writable = 1;
        if (client->pending) SendPending(client);
        else Notify(g_onSend, window, socket);
        break;
    case FD_ACCEPT:
        if (Accept()) {
            Notify(g_onAccept, window, g_accepted.socket);
        } else if (error) {
            VornSocketCommon::SetError(g_state, error);
        }
        break;
    case FD_CLOSE:
        if (!client) break;
        g_closed = *client;
        g_closed.next = nullptr;
        g_closed.pending = nullptr;
        VornSocketCommon::GracefulClose(socket);
        RemoveClient(client);
        Notify(g_onClose, window, socket);
        break;
    default:
        break;
    }
}

bool VornSocketServerAsync::Accept()
{
    sockaddr_in peer = {};
    int length = sizeof peer;
    const SOCKET socket = accept(g_state.socket, reinterpret_cast<sockaddr*>(&peer), &length);
    if (socket == INVALID_SOCKET) {
        const int code = WSAGetLastError();
        // Someone else took the connection first: no client, no error.
        if (code != WSAEWOULDBLOCK) VornSocketCommon::SetError(g_state, code);
        return false;
    }
    if (WSAAsyncSelect(socket, g_window, g_message, kClientEvents) == SOCKET_ERROR) {
        VornSocketCommon::SetLastError(g_state);
        closesocket(socket);
        return false;
    }
    g_accepted = VornAsyncClientRecord{};
    g_accepted.socket = socket;
    g_accepted.peer = peer;
    g_accepted.addressLength = static_cast<uint32_t>(length);
    VornSystem::CopyText(g_accepted.addressText, inet_ntoa(peer.sin_addr));
    if (!GetHostInfo(g_accepted.addressText, &g_accepted.host)) g_accepted.host = VornHostInfo{};
    if (!AddClient(g_accepted)) {
        // An unlisted client would never be served or closed.
        VornSocketCommon::SetNoMemoryText(g_state);
        closesocket(socket);
        return false;
    }
    return true;
}

bool VornSocketServerAsync::Send(const VornSocketPacket* packet, SOCKET socket)
{
    VornAsyncClientRecord* client = FindBySocket(socket);
    if (!client || !packet || client->pending) return false;
    auto* copy = static_cast<uint8_t*>(VORN_ALLOC_ZERO_QUIET(packet->length));
    if (!copy) {
        VornSocketCommon::SetNoMemoryText(g_state);
        return false;
    }
    if (packet->length) std::memcpy(copy, packet->data, packet->length);
    client->pending = copy;
    client->sent = 0;
    client->length = packet->length;
    SendPending(client);
    return true;
}

int32_t VornSocketServerAsync::SendData(const void* data, uint32_t length, SOCKET socket)
{
    return Transfer(true, const_cast<void*>(data), length, socket);
}

int32_t VornSocketServerAsync::RecvData(void* buffer, uint32_t length, SOCKET socket)
{
    return Transfer(false, buffer, length, socket);
}

void VornSocketServerAsync::GetAcceptedClientInfo(VornHostInfo* host, char* address, size_t addressSize)
{
    CopyInfo(g_accepted, host, address, addressSize);
}

void VornSocketServerAsync::GetClosedClientInfo(VornHostInfo* host, char* address, size_t addressSize)
{
    CopyInfo(g_closed, host, address, addressSize);
}

int32_t VornSocketServerAsync::GetClientCount() { return g_clientCount; }

bool VornSocketServerAsync::GetClientInfo(int32_t index, char* hostName, char* address, size_t size)
{
    const VornAsyncClientRecord* client = FindByIndex(index);
    if (!client) return false;
    if (hostName) VornSystem::CopyText(hostName, size, client->host.name[0] ? client->host.name : "Unknown");
    if (address)
        VornSystem::CopyText(address, size, client->host.addressCount ? client->host.addresses[0] : client->addressText);
    return true;
}

bool VornSocketServerAsync::AddClient(const VornAsyncClientRecord& record)
{
    auto* copy = static_cast<VornAsyncClientRecord*>(VORN_ALLOC_ZERO_QUIET(sizeof(VornAsyncClientRecord)));
    if (!copy) return false;
    *copy = record;
    copy->sent = 0;
    copy->length = 0;
    copy->pending = nullptr;
    copy->deferred = 0;
    copy->next = nullptr;
    VornAsyncClientRecord** at = &g_clients;
    while (*at) at = &(*at)->next;
    *at = copy;
    ++g_clientCount;
    return true;
}

void VornSocketServerAsync::RemoveClient(VornAsyncClientRecord* record)
{
    for (VornAsyncClientRecord** at = &g_clients; *at; at = &(*at)->next) {
        if (*at == record) {
            *at = record->next;
            --g_clientCount;
            VornMemory::FreeQuiet(record->pending);
            VornMemory::FreeQuiet(record);
            return;
        }
    }
}

VornAsyncClientRecord* VornSocketServerAsync::FindBySocket(SOCKET socket)
{
    for (VornAsyncClientRecord* c = g_clients; c; c = c->next)
        if (c->socket == socket) return c;
    return nullptr;
}

VornAsyncClientRecord* VornSocketServerAsync::FindByIndex(int32_t index)
{
    if (index < 0) return nullptr;
    VornAsyncClientRecord* c = g_clients;
    for (int32_t i = 0; c && i < index; ++i) c = c->next;
    return c;
}

void VornSocketServerAsync::CloseAll()
{
    while (g_clients) {
        VornAsyncClientRecord* client = g_clients;
        VornSocketCommon::GracefulClose(client->socket);
        RemoveClient(client);
    }
    g_clientCount = 0;
    if (g_listening) {
        VornSocketCommon::GracefulClose(g_state.socket);
    } else if (g_state.created && g_state.socket != INVALID_SOCKET) {
        closesocket(g_state.socket);
    }
    g_state.socket = INVALID_SOCKET;
    g_state.created = 0;
    g_listening = 0;
}

bool VornSocketServerAsync::GetHostInfo(const char* host, VornHostInfo* out) { return VornSocketCommon::GetHostInfo(g_state, host, out); }

void VornSocketServerAsync::GetLocalHostName(char* out, size_t outSize) { VornSocketCommon::GetLocalHostName(out, outSize); }

bool VornSocketServerAsync::GetLastErrorText(char* out, size_t outSize) { return VornSocketCommon::GetLastErrorText(g_state, out, outSize); }

void VornSocketServerAsync::SetError(int32_t code) { VornSocketCommon::SetError(g_state, code); }
