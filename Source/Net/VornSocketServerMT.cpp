#include "VornSocketServerMT.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

VornSocketState g_state;
uint8_t g_listening = 0;
HANDLE g_acceptThread = nullptr;
DWORD g_acceptThreadId = 0;
VornSocketConversation g_callback = nullptr;

VornSystem::CriticalSection g_clientLock;
VornMTClientRecord* g_clients = nullptr;
volatile uint32_t g_clientCount = 0;
volatile LONG g_clientThreads = 0;   // client threads started and not yet ended

VornSystem::CriticalSection g_logLock;
char g_log[VornSocketServerMT::LOG_LINES][VornSocketServerMT::LOG_LENGTH];
uint32_t g_logCount = 0;

SOCKET Resolve(SOCKET socket) { return socket == INVALID_SOCKET ? g_state.socket : socket; }

void LogError()
{
    char text[VornSocketState::ERROR_MAX] = {};
    VornSocketCommon::GetLastErrorText(g_state, text, sizeof text);
    VornSocketServerMT::Log("%s", text);
}

unsigned Hex(SOCKET socket) { return static_cast<unsigned>(socket); }

}  // namespace

bool VornSocketServerMT::Initialize()
{
    VornLog::Title("VornSocketServerMTクラスの初期化");
    VornSocketCommon::Reset(g_state);
    g_listening = 0;
    g_callback = nullptr;
    return true;
}

void VornSocketServerMT::Finalize()
{
    VornLog::Title("VornSocketServerMTクラスの解放");
    Close();
    VornSocketCommon::Close(g_state);
}

bool VornSocketServerMT::Create()
{
    Log("ソケット処理の開始");
    {
        VornSystem::ScopedLock lock(g_logLock);
        std::memset(g_log, 0, sizeof g_log);
        g_logCount = 0;
    }
    if (g_listening) return false;
    if (g_state.created) VornSocketCommon::Close(g_state);
    g_state.socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (g_state.socket == INVALID_SOCKET) {
        VornSocketCommon::SetLastError(g_state);
        LogError();
        return false;
    }
    g_state.created = 1;
    return true;
}

void VornSocketServerMT::SetCallback(VornSocketConversation callback) { g_callback = callback; }

bool VornSocketServerMT::Start(uint16_t port)
{
    if (!g_state.created || g_listening || g_acceptThread) return false;
    if (!g_callback) {
        Log("応答用コールバック関数が設定されていません");
        return false;
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(g_state.socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR ||
        listen(g_state.socket, 64) == SOCKET_ERROR) {
        VornSocketCommon::SetLastError(g_state);
        LogError();
        return false;
    }
    g_listening = 1;
    g_acceptThread = CreateThread(nullptr, 0, AcceptThreadProc, nullptr, 0, &g_acceptThreadId);
    if (!g_acceptThread) {
        g_listening = 0;
        return false;
    }
    return true;
}

DWORD WINAPI VornSocketServerMT::AcceptThreadProc(void*)
{
    InitClientList();
    Log("サーバー開始");
    for (;;) {
        VornMTClientRecord accepted = {};
        int length = sizeof accepted.peer;
        accepted.socket = accept(g_state.socket, reinterpret_cast<sockaddr*>(&accepted.peer), &length);
        if (accepted.socket == INVALID_SOCKET) break;
        Log("[0x%08x] クライアントからの接続を確認", Hex(accepted.socket));
        auto* record = static_cast<VornMTClientRecord*>(VORN_ALLOC_ZERO_QUIET(sizeof(VornMTClientRecord)));
        HANDLE thread = nullptr;
        if (record) {
            *record = accepted;
            InterlockedIncrement(&g_clientThreads);
            thread = CreateThread(nullptr, 0, ClientThreadProc, record, 0, nullptr);
            if (!thread) InterlockedDecrement(&g_clientThreads);
        }
        if (!thread) {
            // Nobody would ever serve or close this connection.
            Log("[0x%08x] クライアント用スレッドの生成に失敗", Hex(accepted.socket));
            VornMemory::FreeQuiet(record);
            closesocket(accepted.socket);
            continue;
        }
        CloseHandle(thread);
    }
    Log("サーバー停止");
    CloseAllClients();
    DeleteClientList();
    return 0;
}

DWORD WINAPI VornSocketServerMT::ClientThreadProc(void* parameter)
{
    auto* record = static_cast<VornMTClientRecord*>(parameter);
    const SOCKET socket = record->socket;
    Log("[0x%08x] クライアント処理開始", Hex(socket));
    AddClient(record);
    if (g_callback) g_callback(socket);
    RemoveClient(record);
    Log("[0x%08x] クライアント処理終了", Hex(socket));
    VornMemory::FreeQuiet(record);
    InterlockedDecrement(&g_clientThreads);
    return 0;
}

void VornSocketServerMT::Close()
{
    if (g_listening) {
        VornSocketCommon::GracefulClose(g_state.socket);
        g_state.socket = INVALID_SOCKET;
        g_state.created = 0;
        g_listening = 0;
    }
    if (g_acceptThread) {
        WaitForSingleObject(g_acceptThread, INFINITE);
        CloseHandle(g_acceptThread);
        g_acceptThread = nullptr;
    }
    // The client threads leave once their callbacks see their sockets closed.
    const ULONGLONG end = GetTickCount64() + CLIENT_END_WAIT_MS;
    while (g_clientThreads > 0 && GetTickCount64() < end) Sleep(1);
}

int32_t VornSocketServerMT::Send(const void* data, int32_t length, SOCKET socket)
{
    return VornSocketCommon::SendAll(g_state, Resolve(socket), data, length);
}

int32_t VornSocketServerMT::Recv(void* buffer, int32_t length, SOCKET socket)
{
    return VornSocketCommon::RecvAll(g_state, Resolve(socket), buffer, length);
}

uint32_t VornSocketServerMT::GetClientCount() { return g_clientCount; }

bool VornSocketServerMT::GetClientInfo(uint32_t index, VornHostInfo* host, char* address, size_t addressSize)
{
    VornSystem::ScopedLock lock(g_clientLock);
    VornMTClientRecord* record = g_clients;
    for (uint32_t i = 0; record && i < index; ++i) record = record->next;
    if (!record) return false;
    char dotted[64];
    VornSystem::CopyText(dotted, inet_ntoa(record->peer.sin_addr));
    if (address && addressSize) VornSystem::CopyText(address, addressSize, dotted);
    record->host = VornHostInfo{};
    GetHostInfo(dotted, &record->host);
    if (host) *host = record->host;
    return true;
}

void VornSocketServerMT::InitClientList()
{
    VornSystem::ScopedLock lock(g_clientLock);
    g_clients = nullptr;
    g_clientCount = 0;
}

// The lock is never deleted: a late client thread may still take it.
void VornSocketServerMT::DeleteClientList() {}

void VornSocketServerMT::AddClient(VornMTClientRecord* record)
{
    VornSystem::ScopedLock lock(g_clientLock);
    record->next = nullptr;
    VornMTClientRecord** at = &g_clients;
    while (*at) at = &(*at)->next;
    *at = record;
    ++g_clientCount;
}

void VornSocketServerMT::RemoveClient(VornMTClientRecord* record)
{
    VornSystem::ScopedLock lock(g_clientLock);
    for (VornMTClientRecord** at = &g_clients; *at; at = &(*at)->next) {
        if (*at == record) {
            *at = record->next;
            if (g_clientCount > 0) --g_clientCount;
            break;
        }
    }
}

void VornSocketServerMT::CloseAllClients()
{
    VornSystem::ScopedLock lock(g_clientLock);
    // No draining under the lock: closing wakes a client thread blocked in recv, and its
    // callback ends on -1 or -2.
    for (VornMTClientRecord* record = g_clients; record; record = record->next) {
        if (record->socket == INVALID_SOCKET) continue;
        shutdown(record->socket, SD_SEND);
        closesocket(record->socket);
        record->socket = INVALID_SOCKET;
    }
    g_clientCount = 0;
}

void VornSocketServerMT::Log(const char* format, ...)
{
    const time_t now = time(nullptr);
    tm local = {};
#if defined(_MSC_VER)
    localtime_s(&local, &now);
#else
    local = *localtime(&now);
#endif
    char line[LOG_LENGTH];
    const int prefix = std::snprintf(line, sizeof line, "%02d.%02d.%02d.%02d:", local.tm_mday, local.tm_hour,
                                     local.tm_min, local.tm_sec);
    va_list args;
    va_start(args, format);
    VornSystem::FormatTextV(line + prefix, sizeof line - static_cast<size_t>(prefix), format, args);
    va_end(args);

    VornSystem::ScopedLock lock(g_logLock);
    if (g_logCount == LOG_LINES) {
        std::memmove(g_log[0], g_log[1], sizeof g_log[0] * (LOG_LINES - 1));
        VornSystem::CopyText(g_log[LOG_LINES - 1], line);
    } else {
        VornSystem::CopyText(g_log[g_logCount++], line);
    }
}

uint32_t VornSocketServerMT::GetLogCount()
{
    VornSystem::ScopedLock lock(g_logLock);
    return g_logCount;
}

void VornSocketServerMT::GetLog(uint32_t index, char* out, size_t outSize)
{
    if (!out || outSize == 0) return;
    VornSystem::ScopedLock lock(g_logLock);
    VornSystem::CopyText(out, outSize, index < g_logCount ? g_log[index] : "");
}

bool VornSocketServerMT::GetHostInfo(const char* host, VornHostInfo* out) { return VornSocketCommon::GetHostInfo(g_state, host, out); }

void VornSocketServerMT::GetLocalHostName(char* out, size_t outSize) { VornSocketCommon::GetLocalHostName(out, outSize); }

bool VornSocketServerMT::GetLastErrorText(char* out, size_t outSize) { return VornSocketCommon::GetLastErrorText(g_state, out, outSize); }

void VornSocketServerMT::SetError(int32_t code) { VornSocketCommon::SetError(g_state, code); }
