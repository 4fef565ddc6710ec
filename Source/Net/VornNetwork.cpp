#include "VornNetwork.h"
#include "Vorn.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornSystem.h"
#include <mmsystem.h>
#include <cstring>

namespace {

constexpr VornPeerGuid kApplication = {0x12345678, 0x1234, 0x5678, {0x01, 0x12, 0x23, 0x34, 0x45, 0x56, 0x67, 0x78}};
constexpr char kNoPlayer[] = "-------------";
constexpr uint32_t NAME_WIDE_MAX = 260;

VornPeer* g_peer = nullptr;
VornPeerLobbiedApplication* g_lobby = nullptr;
uintptr_t g_lobbyConnection = 0;
VornPeerServiceProviderInfo* g_providers = nullptr;
VornPeerGuid g_provider = {};
uint32_t g_expiry = 0;
uintptr_t g_enumHandle = 0;
uint8_t g_enumerating = 0;
uint8_t g_enumFull = 0;   // the search's list is full (and the log says so)
uintptr_t g_connectHandle = 0;
uint8_t g_joining = 0;   // a join is under way: its CONNECT_COMPLETE has not come

// The found sessions, newest first, ended by the sentinel (never valid, never freed).
VornNetworkSession g_sentinel = {};
VornNetworkSession* g_sessions = &g_sentinel;

VornNetworkPlayer* g_firstPlayer = nullptr;
VornNetworkPlayer* g_lastPlayer = nullptr;
volatile LONG g_playerCount = 0;
uint32_t g_localId = 0;
uint32_t g_hostId = 0;
uint8_t g_hosted = 0;

char g_applicationName[VornNetwork::TEXT_MAX];
char g_userName[VornNetwork::TEXT_MAX];
char g_sessionName[VornNetwork::TEXT_MAX];
char g_status[VornNetwork::STATUS_MAX];
uint32_t g_addressCount = 0;
char g_addresses[VornNetwork::ADDRESS_MAX][VornNetwork::TEXT_MAX];

uint32_t g_queueCount = 0;
VornNetworkMessage g_queue[VornNetwork::QUEUE_MAX];

// Guards everything above that the handler and the application share. Never held across the
// layer's Close, which waits for the handler.
VornSystem::CriticalSection g_lock;

void Fail(const char* text)
{
    VornLog::StrongRed("%s", text);
    VornLog::LineBreak();
}

void ToWide(const char* in, wchar_t* out, int outCount)
{
    out[0] = 0;
    if (MultiByteToWideChar(CP_ACP, 0, in ? in : "", -1, out, outCount) == 0) out[0] = 0;
    out[outCount - 1] = 0;
}

// UTF-16 to Shift-JIS, cut on a character boundary to fit outSize.
void ToShiftJis(const wchar_t* in, char* out, size_t outSize)
{
    char full[1024] = {};
    if (!in || WideCharToMultiByte(CP_ACP, 0, in, -1, full, sizeof full - 1, nullptr, nullptr) == 0) full[0] = 0;
    VornSystem::CopyText(out, outSize, full);
}

void FreeSession(VornNetworkSession* s)
{
    if (s->desc) {
        VornMemory::FreeQuiet(s->desc->sessionName);
        VornMemory::FreeQuiet(s->desc);
    }
    if (s->host) s->host->Release();
    if (s->device) s->device->Release();
    VornMemory::FreeQuiet(s);
}

void FreeSessions()
{
    while (g_sessions != &g_sentinel) {
        VornNetworkSession* next = g_sessions->next;
        FreeSession(g_sessions);
        g_sessions = next;
    }
}

void FreePlayers()
{
    while (VornNetworkPlayer* p = g_firstPlayer) {
        g_firstPlayer = p->next;
        VornMemory::FreeQuiet(p);
    }
    g_lastPlayer = nullptr;
    InterlockedExchange(&g_playerCount, 0);
}

VornNetworkPlayer* PlayerAt(uint32_t index)
{
    VornNetworkPlayer* p = g_firstPlayer;
    for (; p && index; --index) p = p->next;
    return p;
}

bool Listed(const VornNetworkPlayer* player)
{
    for (const VornNetworkPlayer* p = g_firstPlayer; p; p = p->next)
        if (p == player) return true;
    return false;
}

VornNetworkSession* ValidSession(uint32_t index)
{
    for (VornNetworkSession* s = g_sessions; s != &g_sentinel; s = s->next)
        if (s->valid && index-- == 0) return s;
    return nullptr;
}

bool SessionRunning() { return g_localId != 0 || g_joining; }

void OnCreatePlayer(VornPeerMsgCreatePlayer* m)
{
    VornNetworkPlayer* p = VornNetwork::AddPlayer();
    if (!p) return;   // no record: no context, and its DESTROY changes nothing
    {
        VornSystem::ScopedLock lock(g_lock);
        p->id = m->id;
        p->references = 1;
    }
    uint32_t size = 0;
    VornPeerResult r = g_peer->GetPeerInfo(m->id, nullptr, &size);
    for (uint32_t retry = 0; r == VORN_PEER_CONNECTING && retry < VornNetwork::PEER_INFO_RETRIES; ++retry) {
        Sleep(VornNetwork::PEER_INFO_RETRY_MS);
        r = g_peer->GetPeerInfo(m->id, nullptr, &size);
    }
    if (r == VORN_PEER_BUFFER_TOO_SMALL && size >= sizeof(VornPeerPlayerInfo)) {
        auto* info = static_cast<VornPeerPlayerInfo*>(VORN_ALLOC_ZERO_QUIET(size));
        if (info) {
            info->size = sizeof *info;
            if (g_peer->GetPeerInfo(m->id, info, &size) == VORN_PEER_OK) {
                VornSystem::ScopedLock lock(g_lock);
                ToShiftJis(info->name, p->name, sizeof p->name);
                if (info->playerFlags & VORN_PEER_PLAYER_LOCAL) g_localId = m->id;
                if (info->playerFlags & VORN_PEER_PLAYER_HOST) g_hostId = m->id;
            }
            VornMemory::FreeQuiet(info);
        }
    }
    m->playerContext = p;
    InterlockedIncrement(&g_playerCount);
    VornSystem::ScopedLock lock(g_lock);
    VornNetwork::UpdateStatus();
}

}  // namespace

bool VornNetwork::Initialize()
{
    VornLog::Title("VornNetworkクラスの初期化");
    if (g_peer) Finalize();
    if (VornPeer::Create(&g_peer) != VORN_PEER_OK) {
        g_peer = nullptr;
        Fail("　　　IDirectPlay8Peerインターフェース生成に失敗");
        return false;
    }
    if (VornPeerLobbiedApplication::Create(&g_lobby) != VORN_PEER_OK) {
        g_lobby = nullptr;
        Fail("　　　IDirectPlay8LobbiedApplicationインターフェース生成に失敗");
        return false;
    }
    if (g_peer->Initialize(nullptr, MessageHandler, 0) != VORN_PEER_OK) Fail("　　　IDirectPlay8Peerの初期化に失敗");
    if (g_lobby->Initialize(nullptr, MessageHandler, &g_lobbyConnection) != VORN_PEER_OK)
        Fail("　　　IDirectPlay8LobbiedApplicationの初期化に失敗");
    VornSystem::CopyText(g_applicationName, Vorn::GetApplicationName());

    uint32_t size = 0, count = 0;
    bool found = false;
    VornPeerResult r = g_peer->EnumServiceProviders(nullptr, &size, &count);
    if (r != VORN_PEER_BUFFER_TOO_SMALL) Fail("　　　サービスプロバイダの列挙に失敗");
    else if ((g_providers = static_cast<VornPeerServiceProviderInfo*>(VORN_ALLOC_ZERO_QUIET(size))) != nullptr &&
             g_peer->EnumServiceProviders(g_providers, &size, &count) == VORN_PEER_OK) {
        for (uint32_t i = 0; i < count; ++i) {
            char name[256];
            ToShiftJis(g_providers[i].name, name, sizeof name);
            VornLog::Print("　　\"%s\"", name);
            VornLog::LineBreak();
            if (std::wcscmp(g_providers[i].name, VORN_PEER_SP_TCPIP_NAME) == 0) {
                g_provider = g_providers[i].guid;
                found = true;
            }
        }
    }
    VornPeerCaps caps = {};
    caps.size = sizeof caps;
    if (!found || g_peer->GetSPCaps(g_provider, &caps) != VORN_PEER_OK) {
        Fail("　　　サービスプロバイダの性能の取得に失敗");
        return false;
    }
    VornSystem::ScopedLock lock(g_lock);
    g_expiry = 3 * caps.defaultEnumRetryInterval;
    g_sessions = &g_sentinel;
    g_status[0] = 0;
    g_addressCount = 0;
    g_queueCount = 0;
    g_localId = g_hostId = 0;
    g_hosted = 0;
    return true;
}

void VornNetwork::Finalize()
{
    VornLog::Title("VornNetworkクラスの解放");
    // The peer first: its Close tells of the players still known and then never calls again.
    if (g_peer) g_peer->Close();
    {
        VornSystem::ScopedLock lock(g_lock);
        FreeSessions();
        g_enumerating = 0;
        g_enumHandle = 0;
        FreePlayers();
        g_localId = g_hostId = 0;
        g_joining = 0;
        g_queueCount = 0;
    }
    VornMemory::FreeQuiet(g_providers);
    g_providers = nullptr;
    if (g_lobby) {
        g_lobby->Close();
        g_lobby->Release();
        g_lobby = nullptr;
    }
    if (g_peer) {
        g_peer->Release();
        g_peer = nullptr;
    }
}

bool VornNetwork::UsesHostAndPort(const VornPeerGuid& provider)
{
    return CompareGuid(provider, VORN_PEER_SP_MODEM) && CompareGuid(provider, VORN_PEER_SP_SERIAL) &&
           CompareGuid(provider, VORN_PEER_SP_BLUETOOTH);
}

void VornNetwork::SetUserName(const char* name)
{
    VornSystem::ScopedLock lock(g_lock);
    VornSystem::CopyText(g_userName, name ? name : "");
}

void VornNetwork::SetSessionName(const char* name)
{
    VornSystem::ScopedLock lock(g_lock);
    VornSystem::CopyText(g_sessionName, name ? name : "");
}

void VornNetwork::SetApplicationName(const char* name)
{
    VornSystem::ScopedLock lock(g_lock);
    VornSystem::CopyText(g_applicationName, name ? name : "");
}

bool VornNetwork::CreateSession(const char* session, const char* user, uint32_t port)
{
    VornLog::StrongBlue("VornNetwork::CreateSession");
    if (!g_peer) return false;
    wchar_t sessionWide[NAME_WIDE_MAX], userWide[NAME_WIDE_MAX];
    {
        VornSystem::ScopedLock lock(g_lock);
        if (SessionRunning()) {
            Fail("セッションは既に開始されています");
            return false;
        }
        SetSessionName(session);
        SetUserName(user);
        FreePlayers();
        ToWide(g_sessionName, sessionWide, NAME_WIDE_MAX);
        ToWide(g_userName, userWide, NAME_WIDE_MAX);
    }
    VornPeerAddress* device = nullptr;
    if (VornPeerAddress::Create(&device) != VORN_PEER_OK) {
        Fail("IDirectPlay8Addressの初期化に失敗");
        return false;
    }
    bool ok = false;
    if (device->SetSP(g_provider) != VORN_PEER_OK) {
        Fail("サービスプロバイダの設定に失敗");
    } else if (UsesHostAndPort(g_provider) &&
               device->AddComponent(L"port", &port, sizeof port, VORN_PEER_TYPE_DWORD) != VORN_PEER_OK) {
        Fail("ポートの設定に失敗");
    } else {
        VornLog::Print("PORT [ %d ] : ", int(port));
        VornPeerPlayerInfo info = {sizeof info, VORN_PEER_INFO_NAME, userWide, nullptr, 0, 0};
        if (g_peer->SetPeerInfo(&info) != VORN_PEER_OK) {
            Fail("ユーザー名の設定に失敗");
        } else {
            VornLog::Print("USER [ %s ] : ", g_userName);
            VornPeerAppDesc desc = {};
            desc.size = sizeof desc;
            desc.flags = VORN_PEER_SESSION_MIGRATE_HOST | VORN_PEER_SESSION_FAST_SIGNED;
            desc.application = kApplication;
            desc.maxPlayers = MAX_PLAYERS;
            desc.sessionName = sessionWide;
            const VornPeerResult r = g_peer->Host(&desc, &device, 1);
            if (r == VORN_PEER_PORT_IN_USE && UsesHostAndPort(g_provider)) {
                Fail("別の適用が指定したポートを既に使用している場合は、異なるポート番号を使用してゲームを作成してみてください");
            } else if (r != VORN_PEER_OK) {
                Fail("アプリケーション情報の設定に失敗");
            } else {
                VornLog::Print("SESSION [ %s ] : ", g_sessionName);
                VornLog::StrongGreen("Success");
                VornLog::LineBreak();
                ok = true;
            }
        }
    }
    device->Release();
    return ok;
}

bool VornNetwork::SearchSession(const char* host, uint32_t port)
{
    VornLog::StrongBlue("VornNetwork::SearchSession");
    if (!g_peer) return false;
    {
        // A search still running is cancelled and what it found is freed.
        VornSystem::ScopedLock lock(g_lock);
        if (g_enumerating && g_enumHandle) g_peer->CancelAsyncOperation(g_enumHandle);
        FreeSessions();
        g_enumerating = g_enumFull = 0;
        g_enumHandle = 0;
    }
    if (!EnumHosts(host, port)) return false;
    VornSystem::ScopedLock lock(g_lock);
    g_enumerating = 1;
    return true;
}

bool VornNetwork::EnumHosts(const char* host, uint32_t port)
{
    VornPeerAppDesc desc = {};
    desc.size = sizeof desc;
    desc.application = kApplication;
    VornPeerAddress* device = nullptr;
    VornPeerAddress* hostAddress = nullptr;
    bool ok = false;
    if (VornPeerAddress::Create(&device) != VORN_PEER_OK || VornPeerAddress::Create(&hostAddress) != VORN_PEER_OK) {
        Fail("アドレスオブジェクトの生成に失敗");
    } else if (device->SetSP(g_provider) != VORN_PEER_OK || hostAddress->SetSP(g_provider) != VORN_PEER_OK) {
        Fail("サービスプロバイダーの設定に失敗");
    } else {
        ok = true;
        if (UsesHostAndPort(g_provider)) {
            wchar_t wide[NAME_WIDE_MAX];
            ToWide(host, wide, NAME_WIDE_MAX);
            if (wide[0] && hostAddress->AddComponent(L"hostname", wide, uint32_t((std::wcslen(wide) + 1) * sizeof(wchar_t)),
                                                     VORN_PEER_TYPE_STRING) != VORN_PEER_OK) {
                Fail("ホスト名の設定に失敗");
                ok = false;
            } else if (port && hostAddress->AddComponent(L"port", &port, sizeof port, VORN_PEER_TYPE_DWORD) != VORN_PEER_OK) {
                Fail("ポート番号の設定に失敗");
                ok = false;
            }
        }
        uintptr_t handle = 0;
        if (ok && g_peer->EnumHosts(&desc, hostAddress, device, 0, &handle) < 0) {
            Fail("ホストの列挙に失敗");
            ok = false;
        } else if (ok) {
            {
                VornSystem::ScopedLock lock(g_lock);
                g_enumHandle = handle;
            }
            VornLog::StrongGreen("Success");
            VornLog::LineBreak();
        }
    }
    if (device) device->Release();
    if (hostAddress) hostAddress->Release();
    return ok;
}

void VornNetwork::OnEnumHostsResponse(const VornPeerMsgEnumHostsResponse* m)
{
    VornSystem::ScopedLock lock(g_lock);
    if (!g_enumHandle || m->search != g_enumHandle) return;   // a search that ended: not this list's
    const uint32_t now = timeGetTime();
    VornNetworkSession* s = g_sessions;
    uint32_t listed = 0;
    for (; s != &g_sentinel; s = s->next, ++listed)
        if (s->desc && !CompareGuid(s->desc->instance, m->desc->instance)) break;
    if (s != &g_sentinel) {
        s->lastSeen = now;
    } else {
        for (s = g_sessions; s != &g_sentinel && s->valid; s = s->next) {
        }
        if (s == &g_sentinel && listed >= SESSIONS_MAX) {   // a flood of answers: the sessions listed stay
            if (!g_enumFull) {
                VornLog::StrongBlue("VornNetwork::OnEnumHostsResponse");
                VornLog::StrongRed("[ %u ] sessions listed: the search's further sessions are dropped", SESSIONS_MAX);
                VornLog::LineBreak();
            }
            g_enumFull = 1;
            return;
        }
        if (s == &g_sentinel) {
            s = static_cast<VornNetworkSession*>(VORN_ALLOC_ZERO_QUIET(sizeof(VornNetworkSession)));
            if (!s) return;
            s->next = g_sessions;
            g_sessions = s;
        }
    }
    if (s->desc) {
        VornMemory::FreeQuiet(s->desc->sessionName);
        VornMemory::FreeQuiet(s->desc);
        s->desc = nullptr;
    }
    if (s->host) s->host->Release();
    if (s->device) s->device->Release();
    s->host = s->device = nullptr;
    s->valid = 0;
    if (m->sender->Duplicate(&s->host) != VORN_PEER_OK) s->host = nullptr;
    if (m->device->Duplicate(&s->device) != VORN_PEER_OK) s->device = nullptr;
    if (!s->host || !s->device) return;
    const size_t nameBytes = (std::wcslen(m->desc->sessionName ? m->desc->sessionName : L"") + 1) * sizeof(wchar_t);
    s->desc = static_cast<VornPeerAppDesc*>(VORN_ALLOC_ZERO_QUIET(sizeof(VornPeerAppDesc)));
    wchar_t* name = static_cast<wchar_t*>(VORN_ALLOC_ZERO_QUIET(uint32_t(nameBytes)));
    if (!s->desc || !name) {
        VornMemory::FreeQuiet(name);
        VornMemory::FreeQuiet(s->desc);
        s->desc = nullptr;
        return;
    }
    *s->desc = *m->desc;
    std::memcpy(name, m->desc->sessionName ? m->desc->sessionName : L"", nameBytes);
    s->desc->sessionName = name;
    s->lastSeen = now;
    // The name is cut (on a character boundary) so that the counts always fit behind it.
    char sjis[sizeof s->text - 32];
    ToShiftJis(name, sjis, sizeof sjis);
    if (m->desc->maxPlayers == 0)
        VornSystem::FormatText(s->text, sizeof s->text, "%s (%d) (%dms)", sjis, int(m->desc->currentPlayers), int(m->roundTripMs));
    else
        VornSystem::FormatText(s->text, sizeof s->text, "%s (%d/%d) (%dms)", sjis, int(m->desc->currentPlayers),
                               int(m->desc->maxPlayers), int(m->roundTripMs));
    s->valid = 1;
}

void VornNetwork::ExpireSessions()
{
    VornSystem::ScopedLock lock(g_lock);
    const uint32_t now = timeGetTime();
    for (VornNetworkSession* s = g_sessions; s != &g_sentinel; s = s->next)
        if (s->valid && now - s->lastSeen > g_expiry) s->valid = 0;
}

void VornNetwork::ClearSessions()
{
    VornSystem::ScopedLock lock(g_lock);
    if (!g_enumerating) return;
    // The search ends with its list, or its answers would refill a list nobody clears.
    if (g_enumHandle && g_peer) g_peer->CancelAsyncOperation(g_enumHandle);
    FreeSessions();
    g_enumHandle = 0;
    g_enumerating = g_enumFull = 0;
}

bool VornNetwork::JoinSession(uint32_t index, const char* user)
{
    if (!g_peer) return false;
    VornSystem::ScopedLock lock(g_lock);
    if (SessionRunning()) {
        VornLog::StrongBlue("VornNetwork::JoinSession");
        Fail("セッションは既に開始されています");
        return false;
    }
    VornNetworkSession* s = ValidSession(index);
    if (!s) return false;
    SetUserName(user);
    wchar_t wide[NAME_WIDE_MAX];
    ToWide(g_userName, wide, NAME_WIDE_MAX);
    VornPeerPlayerInfo info = {sizeof info, VORN_PEER_INFO_NAME, wide, nullptr, 0, 0};
    if (g_peer->SetPeerInfo(&info) != VORN_PEER_OK) return false;
    const VornPeerResult r = g_peer->Connect(s->desc, s->host, s->device, &g_connectHandle);
    if (r != VORN_PEER_OK && r != VORN_PEER_PENDING) return false;
    FreePlayers();
    g_joining = 1;
    ClearSessions();
    return true;
}

void VornNetwork::Send(const void* data, uint32_t size, int32_t player)
{
    if (!g_peer) return;
    uint32_t id = 0;
    if (player >= 0) {
        VornSystem::ScopedLock lock(g_lock);
        const VornNetworkPlayer* p = PlayerAt(uint32_t(player));
        if (!p) return;   // past the last player: nobody (0 would be everybody)
        id = p->id;
    }
    const VornPeerBufferDesc buffer = {size, static_cast<const uint8_t*>(data)};
    g_peer->SendTo(id, &buffer, 1);
}

bool VornNetwork::GetReceiveData(VornNetworkMessage* out)
{
    VornSystem::ScopedLock lock(g_lock);
    if (!out || g_queueCount == 0) return false;
    *out = g_queue[0];
    std::memmove(&g_queue[0], &g_queue[1], (g_queueCount - 1) * sizeof g_queue[0]);
    --g_queueCount;
    return true;
}

bool VornNetwork::IsHost()
{
    VornSystem::ScopedLock lock(g_lock);
    return g_hosted != 0;
}

int32_t VornNetwork::GetPlayerCount() { return int32_t(g_playerCount); }

void VornNetwork::GetPlayerName(char* out, uint32_t index, size_t outSize)
{
    VornSystem::ScopedLock lock(g_lock);
    const VornNetworkPlayer* p = PlayerAt(index);
    VornSystem::CopyText(out, outSize, p ? p->name : kNoPlayer);
}

uint32_t VornNetwork::GetPlayerId(uint32_t index)
{
    VornSystem::ScopedLock lock(g_lock);
    const VornNetworkPlayer* p = PlayerAt(index);
    return p ? p->id : 0;
}

void VornNetwork::GetHostPlayerName(char* out, size_t outSize)
{
    VornSystem::ScopedLock lock(g_lock);
    const VornNetworkPlayer* p = g_firstPlayer;
    while (p && (g_hostId == 0 || p->id != g_hostId)) p = p->next;
    VornSystem::CopyText(out, outSize, p ? p->name : kNoPlayer);
}

uint32_t VornNetwork::GetAddressCount()
{
    VornSystem::ScopedLock lock(g_lock);
    return g_addressCount;
}

void VornNetwork::GetAddress(char* out, uint32_t index, size_t outSize)
{
    VornSystem::ScopedLock lock(g_lock);
    VornSystem::CopyText(out, outSize, index < g_addressCount ? g_addresses[index] : "");
}

void VornNetwork::GetStatusText(char* out, size_t outSize)
{
    VornSystem::ScopedLock lock(g_lock);
    VornSystem::CopyText(out, outSize, g_status);
}

VornNetworkSession* VornNetwork::GetSession(uint32_t index)
{
    VornSystem::ScopedLock lock(g_lock);
    return ValidSession(index);
}

uint32_t VornNetwork::GetSessionCount()
{
    VornSystem::ScopedLock lock(g_lock);
    uint32_t n = 0;
    for (const VornNetworkSession* s = g_sessions; s != &g_sentinel; s = s->next) n += s->valid;
    return n;
}

void VornNetwork::GetSessionText(char* out, uint32_t index, size_t outSize)
{
    VornSystem::ScopedLock lock(g_lock);
    const VornNetworkSession* s = ValidSession(index);
    VornSystem::CopyText(out, outSize, s ? s->text : "");
}

VornNetworkPlayer* VornNetwork::AddPlayer()
{
    auto* p = static_cast<VornNetworkPlayer*>(VORN_ALLOC_ZERO_QUIET(sizeof(VornNetworkPlayer)));
    if (!p) return nullptr;
    VornSystem::ScopedLock lock(g_lock);
    p->previous = g_lastPlayer;
    if (g_lastPlayer) g_lastPlayer->next = p;
    else g_firstPlayer = p;
    g_lastPlayer = p;
    return p;
}

void VornNetwork::RemovePlayer(VornNetworkPlayer* p)
{
    VornSystem::ScopedLock lock(g_lock);
    if (!Listed(p)) return;
    if (p->previous) p->previous->next = p->next;
    else g_firstPlayer = p->next;
    if (p->next) p->next->previous = p->previous;
    else g_lastPlayer = p->previous;
    p->previous = p->next = nullptr;
    if (--p->references == 0) VornMemory::FreeQuiet(p);
}

void VornNetwork::OnReceive(const uint8_t* data, uint32_t size, uintptr_t buffer, uint32_t sender)
{
    const uint32_t n = size < DATA_MAX ? size : DATA_MAX;
    VornSystem::ScopedLock lock(g_lock);
    void* context = nullptr;
    auto* p = g_peer->GetPlayerContext(sender, &context) == VORN_PEER_OK ? static_cast<VornNetworkPlayer*>(context) : nullptr;
    if (!p || !Listed(p)) {
        g_peer->ReturnBuffer(buffer);
        return;
    }
    ++p->references;
    if (g_queueCount == QUEUE_MAX) {
        std::memmove(&g_queue[0], &g_queue[1], (QUEUE_MAX - 1) * sizeof g_queue[0]);
        --g_queueCount;
    }
    VornNetworkMessage& m = g_queue[g_queueCount++];
    std::memset(&m, 0, sizeof m);
    m.sender = sender;
    VornSystem::CopyText(m.senderName, p->name);
    std::memcpy(m.data, data, n);
    if (--p->references == 0) VornMemory::FreeQuiet(p);
    g_peer->ReturnBuffer(buffer);
}

void VornNetwork::GetAddressText(VornPeerAddress* address, char* out, size_t outSize)
{
    wchar_t host[TEXT_MAX] = {};
    uint32_t port = 0, size = sizeof host - sizeof(wchar_t), type = 0;
    address->GetComponentByName(L"hostname", host, &size, &type);
    size = sizeof port;
    address->GetComponentByName(L"port", &port, &size, &type);
    char sjis[TEXT_MAX];
    ToShiftJis(host, sjis, sizeof sjis);
    VornSystem::FormatText(out, outSize, "%s : %d", sjis, int(port));
}

void VornNetwork::UpdateStatus()
{
    VornSystem::ScopedLock lock(g_lock);
    g_addressCount = 0;
    g_status[0] = 0;
    g_hosted = 0;
    if (g_localId == 0 || g_hostId == 0 || !g_peer) {
        VornSystem::CopyText(g_status, "Not Connect");
        return;
    }
    VornPeerAddress* single = nullptr;
    VornPeerAddress** addresses = &single;
    uint32_t count = 0;
    bool ok;
    const bool hosting = g_localId == g_hostId;
    if (hosting) {
        g_hosted = 1;
        VornSystem::CopyText(g_status, "Hosting");
        ok = g_peer->GetLocalHostAddresses(nullptr, &count) == VORN_PEER_BUFFER_TOO_SMALL && count > 0 &&
             (addresses = static_cast<VornPeerAddress**>(VORN_ALLOC_ZERO_QUIET(count * sizeof(VornPeerAddress*)))) != nullptr &&
             g_peer->GetLocalHostAddresses(addresses, &count) == VORN_PEER_OK;
        if (!addresses) addresses = &single;
        if (!ok) count = 0;
    } else {
        VornSystem::CopyText(g_status, "Connect");
        ok = g_peer->GetPeerAddress(g_hostId, &single) == VORN_PEER_OK;
        count = ok ? 1 : 0;
    }
    VornPeerGuid provider = {};
    if (ok && addresses[0]->GetSP(&provider) == VORN_PEER_OK) {
        const bool hostAndPort = !CompareGuid(provider, VORN_PEER_SP_TCPIP);
        if (hostAndPort) VornSystem::AppendText(g_status, sizeof g_status, " via TCP/IP");
        else if (!CompareGuid(provider, VORN_PEER_SP_MODEM)) VornSystem::AppendText(g_status, sizeof g_status, " via Modem");
        else if (!CompareGuid(provider, VORN_PEER_SP_SERIAL)) VornSystem::AppendText(g_status, sizeof g_status, " via Serial");
        else if (!CompareGuid(provider, VORN_PEER_SP_BLUETOOTH)) VornSystem::AppendText(g_status, sizeof g_status, " via Bluetooth");
        for (uint32_t i = 0; hostAndPort && i < count && i < ADDRESS_MAX; ++i) {
            char text[TEXT_MAX];
            GetAddressText(addresses[i], text, sizeof text);
            VornSystem::AppendText(g_status, sizeof g_status, i ? ", " : hosting ? " at " : " to ");
            VornSystem::AppendText(g_status, sizeof g_status, text);
            VornSystem::CopyText(g_addresses[i], text);
            g_addressCount = i + 1;
        }
    }
    for (uint32_t i = 0; i < count; ++i)
        if (addresses[i]) addresses[i]->Release();
    if (addresses != &single) VornMemory::FreeQuiet(addresses);
}

VornPeerResult VornNetwork::MessageHandler(void*, uint32_t messageId, void* message)
{
    switch (messageId) {
    case VORN_PEER_MSG_ASYNC_OP_COMPLETE: {
        const auto* m = static_cast<VornPeerMsgAsyncOpComplete*>(message);
        VornSystem::ScopedLock lock(g_lock);
        if (g_enumHandle && m->handle == g_enumHandle) ClearSessions();
        break;
    }
    case VORN_PEER_MSG_CONNECT_COMPLETE: {
        VornSystem::ScopedLock lock(g_lock);
        g_joining = 0;
        break;
    }
    case VORN_PEER_MSG_CREATE_PLAYER:
        OnCreatePlayer(static_cast<VornPeerMsgCreatePlayer*>(message));
        break;
    case VORN_PEER_MSG_DESTROY_PLAYER: {
        auto* p = static_cast<VornNetworkPlayer*>(static_cast<VornPeerMsgDestroyPlayer*>(message)->playerContext);
        if (!p) break;   // its record was never made: nothing was counted for it
        RemovePlayer(p);
        InterlockedDecrement(&g_playerCount);
        UpdateStatus();
        break;
    }
    case VORN_PEER_MSG_ENUM_HOSTS_RESPONSE:
        OnEnumHostsResponse(static_cast<VornPeerMsgEnumHostsResponse*>(message));
        break;
    case VORN_PEER_MSG_HOST_MIGRATE: {
        VornSystem::ScopedLock lock(g_lock);
        g_hostId = static_cast<VornPeerMsgHostMigrate*>(message)->newHost;
        UpdateStatus();
        break;
    }
    case VORN_PEER_MSG_RECEIVE: {
        const auto* m = static_cast<VornPeerMsgReceive*>(message);
        OnReceive(m->data, m->dataSize, m->bufferHandle, m->sender);
        break;
    }
    case VORN_PEER_MSG_TERMINATE_SESSION: {
        VornSystem::ScopedLock lock(g_lock);
        g_localId = g_hostId = 0;
        UpdateStatus();
        break;
    }
    default:
        break;
    }
    return VORN_PEER_OK;
}

bool VornNetwork::CompareGuid(const VornPeerGuid& a, const VornPeerGuid& b) { return a != b; }
