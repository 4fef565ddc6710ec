#include "VornSocket.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <cstdio>
#include <cstring>

namespace {

VornSocketState g_state;
uint16_t g_httpPort = 80;
constexpr uint32_t kWorkSize = 4096;

// Fetches one path over a connection of its own into *buffer / *size. False leaves null and 0.
bool FetchPath(const char* host, const char* path, char* work, uint8_t** buffer, uint32_t* size)
{
    const int line = path ? std::snprintf(work, kWorkSize, "GET %s\n", path) : -1;
    if (line < 0 || line >= static_cast<int>(kWorkSize)) {
        VornSocketCommon::SetError(g_state, WSAEMSGSIZE);
        return false;
    }
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        VornSocketCommon::SetLastError(g_state);
        return false;
    }
    if (!VornSocketCommon::Connect(g_state, socket, host, g_httpPort, false)) {
        closesocket(socket);
        return false;
    }
    bool ok = VornSocketCommon::SendAll(g_state, socket, work, line) == line;
    uint8_t* data = ok ? static_cast<uint8_t*>(VornMemory::AllocQuiet(0, VornMemory::DEFAULT_TAG, __FILE__, __LINE__)) : nullptr;
    uint32_t used = 0;
    if (ok && !data) {
        VornSocketCommon::SetNoMemoryText(g_state);
        ok = false;
    }
    while (ok) {
        const int n = recv(socket, work, kWorkSize, 0);
        if (n == 0) break;
        if (n == SOCKET_ERROR) {
            VornSocketCommon::SetLastError(g_state);
            ok = false;
            break;
        }
        // Grown to exactly what has come, as the caller gets it: never more than the reply.
        void* bigger = static_cast<uint32_t>(n) <= UINT32_MAX - used
                           ? VornMemory::ReallocQuiet(data, used + static_cast<uint32_t>(n), __FILE__, __LINE__)
                           : nullptr;
        if (!bigger) {
            VornSocketCommon::SetNoMemoryText(g_state);
            ok = false;
            break;
        }
        data = static_cast<uint8_t*>(bigger);
        std::memcpy(data + used, work, static_cast<size_t>(n));
        used += static_cast<uint32_t>(n);
    }
    VornSocketCommon::GracefulClose(socket);
    if (!ok) {
        VornMemory::FreeQuiet(data);
        return false;
    }
    *buffer = data;
    *size = used;
    return true;
}

}  // namespace

bool VornSocket::Initialize()
{
    VornLog::Title("VornSocketクラスの初期化");
    VornSocketCommon::Reset(g_state);
    return true;
}

void VornSocket::Finalize()
{
    VornLog::Title("VornSocketクラスの解放");
    Close();
}

bool VornSocket::Create()
{
    if (g_state.created) Close();
    g_state.socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (g_state.socket == INVALID_SOCKET) {
        VornSocketCommon::SetLastError(g_state);
        return false;
    }
    g_state.created = 1;
    return true;
}

bool VornSocket::GetHostInfo(const char* host, VornHostInfo* out) { return VornSocketCommon::GetHostInfo(g_state, host, out); }

void VornSocket::GetLocalHostName(char* out, size_t outSize) { VornSocketCommon::GetLocalHostName(out, outSize); }

bool VornSocket::Connect(const char* host, uint16_t port)
{
    if (!VornSocketCommon::Connect(g_state, g_state.socket, host, port, false)) return false;
    g_state.connected = 1;
    return true;
}

int32_t VornSocket::Send(const void* data, int32_t length) { return VornSocketCommon::SendAll(g_state, g_state.socket, data, length); }

int32_t VornSocket::Recv(void* buffer, int32_t length) { return VornSocketCommon::RecvAll(g_state, g_state.socket, buffer, length); }

void VornSocket::Close() { VornSocketCommon::Close(g_state); }

bool VornSocket::GetLastErrorText(char* out, size_t outSize) { return VornSocketCommon::GetLastErrorText(g_state, out, outSize); }

void VornSocket::SetError(int32_t code) { VornSocketCommon::SetError(g_state, code); }

void VornSocket::SetHttpPort(uint16_t port) { g_httpPort = port; }

bool VornSocket::HttpGet(const char* host, const char* const* paths, uint8_t** buffers, uint32_t* sizes, int32_t count)
{
    if (count < 0 || (count > 0 && (!paths || !buffers || !sizes))) {
        VornSocketCommon::SetError(g_state, WSAEINVAL);
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        buffers[i] = nullptr;
        sizes[i] = 0;
    }
    char* work = static_cast<char*>(VornMemory::AllocQuiet(kWorkSize, VornMemory::DEFAULT_TAG, __FILE__, __LINE__));
    if (!work) {
        VornSocketCommon::SetNoMemoryText(g_state);
        return false;
    }
    bool all = true;
    if (count == 0) {
        // Nothing to fetch: the server is reached once and left.
        const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        all = socket != INVALID_SOCKET && VornSocketCommon::Connect(g_state, socket, host, g_httpPort, false);
        if (socket == INVALID_SOCKET) VornSocketCommon::SetLastError(g_state);
        if (all) VornSocketCommon::GracefulClose(socket);
        else if (socket != INVALID_SOCKET) closesocket(socket);
    }
    for (int32_t i = 0; i < count; ++i) {
        if (!FetchPath(host, paths[i], work, &buffers[i], &sizes[i])) all = false;
    }
    VornMemory::FreeQuiet(work);
    return all;
}
