// VornPeer: the engine's peer-session layer over TCP and UDP. A session is a full mesh: the host
// gives a joiner its id and the roster, the joiner then links to every other player. Messages go
// reliably, once and in order per sender over those links; sessions are found by UDP queries.
// The frames are in VornPeerWire.h.
//
// Objects are made by Create and freed by their last Release. Each peer runs one worker thread
// that owns its sockets and calls the handler with no lock of the layer held, so the handler may
// call back into the peer; every call is safe from any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

typedef int32_t VornPeerResult;
constexpr VornPeerResult VORN_PEER_OK = 0;
constexpr VornPeerResult VORN_PEER_PENDING = int32_t(0x8000000A);            // Connect goes on
constexpr VornPeerResult VORN_PEER_BUFFER_TOO_SMALL = int32_t(0x80158100);   // *size says how much
constexpr VornPeerResult VORN_PEER_CONNECTING = int32_t(0x80158150);         // asked while joining
constexpr VornPeerResult VORN_PEER_PORT_IN_USE = int32_t(0x80158320);
constexpr VornPeerResult VORN_PEER_FAILED = int32_t(0x80004005);
constexpr VornPeerResult VORN_PEER_INVALID_CALL = int32_t(0x8015F001);       // wrong state, or inside the handler
constexpr VornPeerResult VORN_PEER_INVALID_PARAM = int32_t(0x8015F002);
constexpr VornPeerResult VORN_PEER_INVALID_PLAYER = int32_t(0x8015F003);
constexpr VornPeerResult VORN_PEER_TOO_LARGE = int32_t(0x8015F004);          // payload above 64 KiB
constexpr VornPeerResult VORN_PEER_SESSION_FULL = int32_t(0x8015F005);
constexpr VornPeerResult VORN_PEER_NOT_HOST = int32_t(0x8015F006);
constexpr VornPeerResult VORN_PEER_NO_CONNECTION = int32_t(0x8015F007);
constexpr VornPeerResult VORN_PEER_CANCELLED = int32_t(0x8015F008);
constexpr VornPeerResult VORN_PEER_NOT_FOUND = int32_t(0x8015F009);          // no such address component
constexpr VornPeerResult VORN_PEER_INVALID_VERSION = int32_t(0x8015F00A);    // the host speaks another wire version

constexpr uint32_t VORN_PEER_SESSION_MIGRATE_HOST = 0x0004;
constexpr uint32_t VORN_PEER_SESSION_FAST_SIGNED = 0x0200;
constexpr uint32_t VORN_PEER_PLAYER_LOCAL = 0x0002;
constexpr uint32_t VORN_PEER_PLAYER_HOST = 0x0004;
constexpr uint32_t VORN_PEER_INFO_NAME = 0x0001;
constexpr uint32_t VORN_PEER_MAX_PLAYERS = 32;
constexpr uint32_t VORN_PEER_MAX_PAYLOAD = 65536;
constexpr uint32_t VORN_PEER_ENUM_RETRY_MS = 500;     // the provider's default query interval
constexpr uint16_t VORN_PEER_DEFAULT_PORT = 6400;     // Host and EnumHosts without a "port"
constexpr uint32_t VORN_PEER_QUEUE_LIMIT = 8u << 20;   // unsent bytes to one player before it is dropped

// Address components: "hostname" (string, dotted text for peers) and "port" (u32).
constexpr uint32_t VORN_PEER_TYPE_DWORD = 2;
constexpr uint32_t VORN_PEER_TYPE_STRING = 4;

enum VornPeerMessageId : uint32_t {
    VORN_PEER_MSG_ASYNC_OP_COMPLETE = 1,
    VORN_PEER_MSG_CONNECT_COMPLETE,
    VORN_PEER_MSG_CREATE_PLAYER,
    VORN_PEER_MSG_DESTROY_PLAYER,
    VORN_PEER_MSG_ENUM_HOSTS_RESPONSE,
    VORN_PEER_MSG_HOST_MIGRATE,
    VORN_PEER_MSG_RECEIVE,
    VORN_PEER_MSG_TERMINATE_SESSION,
};

struct VornPeerGuid
{
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
static_assert(sizeof(VornPeerGuid) == 16, "VornPeerGuid layout");
inline bool operator==(const VornPeerGuid& a, const VornPeerGuid& b)
{
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::char_traits<char>::compare(reinterpret_cast<const char*>(a.data4), reinterpret_cast<const char*>(b.data4), 8) == 0;
}
inline bool operator!=(const VornPeerGuid& a, const VornPeerGuid& b) { return !(a == b); }

// The one provider, and the ones that have no host and port.
constexpr VornPeerGuid VORN_PEER_SP_TCPIP = {0x5650A001, 0x7C31, 0x4E0B, {0x9B, 0x21, 0x56, 0x4F, 0x52, 0x4E, 0x54, 0x43}};
constexpr VornPeerGuid VORN_PEER_SP_MODEM = {0x5650A002, 0x7C31, 0x4E0B, {0x9B, 0x21, 0x56, 0x4F, 0x52, 0x4E, 0x4D, 0x44}};
constexpr VornPeerGuid VORN_PEER_SP_SERIAL = {0x5650A003, 0x7C31, 0x4E0B, {0x9B, 0x21, 0x56, 0x4F, 0x52, 0x4E, 0x53, 0x52}};
constexpr VornPeerGuid VORN_PEER_SP_BLUETOOTH = {0x5650A004, 0x7C31, 0x4E0B, {0x9B, 0x21, 0x56, 0x4F, 0x52, 0x4E, 0x42, 0x54}};
constexpr const wchar_t VORN_PEER_SP_TCPIP_NAME[] = L"DirectPlay8 TCP/IP Service Provider";

struct VornPeerAppDesc
{
    uint32_t size;
    uint32_t flags;
    VornPeerGuid instance;
    VornPeerGuid application;
    uint32_t maxPlayers;       // 0: no maximum
    uint32_t currentPlayers;
    wchar_t* sessionName;
    wchar_t* password;
    void* reservedData;
    uint32_t reservedDataSize;
    void* applicationReservedData;
    uint32_t applicationReservedDataSize;
};

struct VornPeerPlayerInfo
{
    uint32_t size;
    uint32_t infoFlags;        // VORN_PEER_INFO_NAME
    wchar_t* name;
    void* data;
    uint32_t dataSize;
    uint32_t playerFlags;      // VORN_PEER_PLAYER_LOCAL, VORN_PEER_PLAYER_HOST
};

struct VornPeerBufferDesc
{
    uint32_t size;
    const uint8_t* data;
};

struct VornPeerServiceProviderInfo
{
    VornPeerGuid guid;
    wchar_t* name;
    uint32_t flags;
};

struct VornPeerCaps
{
    uint32_t size;
    uint32_t flags;
    uint32_t numThreads;
    uint32_t defaultEnumCount;
    uint32_t defaultEnumRetryInterval;
    uint32_t defaultEnumTimeout;
    uint32_t maxEnumPayloadSize;
    uint32_t buffersPerThread;
    uint32_t systemBufferSize;
};
static_assert(sizeof(VornPeerCaps) == 36, "VornPeerCaps layout");

class VornPeerAddress;

struct VornPeerMsgAsyncOpComplete { uint32_t size; uintptr_t handle; int32_t result; };
struct VornPeerMsgConnectComplete { uint32_t size; uintptr_t handle; int32_t result; };
struct VornPeerMsgCreatePlayer { uint32_t size; uint32_t id; void* playerContext; };   // the handler sets the context
struct VornPeerMsgDestroyPlayer { uint32_t size; uint32_t id; void* playerContext; };
struct VornPeerMsgEnumHostsResponse
{
    uint32_t size;
    const VornPeerAppDesc* desc;
    VornPeerAddress* sender;   // valid during the call: Duplicate to keep
    VornPeerAddress* device;
    uint32_t roundTripMs;
    uintptr_t search;          // the EnumHosts handle it answers
};
struct VornPeerMsgHostMigrate { uint32_t size; uint32_t newHost; };
struct VornPeerMsgReceive { uint32_t size; uint32_t sender; void* playerContext; uint8_t* data; uint32_t dataSize; uintptr_t bufferHandle; };
struct VornPeerMsgTerminateSession { uint32_t size; int32_t reason; };

typedef VornPeerResult (*VornPeerHandler)(void* context, uint32_t messageId, void* message);

class VornPeerAddress
{
public:
    static VornPeerResult Create(VornPeerAddress** out);
    uint32_t AddRef();
    uint32_t Release();
    VornPeerResult Duplicate(VornPeerAddress** out) const;
    VornPeerResult SetSP(const VornPeerGuid& provider);
    VornPeerResult GetSP(VornPeerGuid* provider) const;
    VornPeerResult AddComponent(const wchar_t* name, const void* data, uint32_t size, uint32_t type);
    // BUFFER_TOO_SMALL (and *size) when the buffer is null or short; NOT_FOUND without it.
    VornPeerResult GetComponentByName(const wchar_t* name, void* buffer, uint32_t* size, uint32_t* type) const;

private:
    struct Component
    {
        std::wstring name;
        std::vector<uint8_t> data;
        uint32_t type;
    };
    VornPeerAddress() = default;
    long references_ = 1;
    VornPeerGuid provider_ = {};
    std::vector<Component> components_;
};

class VornPeer
{
public:
    static VornPeerResult Create(VornPeer** out);
    uint32_t Release();   // the last one closes the peer (inside the handler too: then quietly, once it returns)

    VornPeerResult Initialize(void* context, VornPeerHandler handler, uint32_t flags);
    VornPeerResult EnumServiceProviders(VornPeerServiceProviderInfo* buffer, uint32_t* size, uint32_t* count);
    VornPeerResult GetSPCaps(const VornPeerGuid& provider, VornPeerCaps* caps);
    VornPeerResult SetPeerInfo(const VornPeerPlayerInfo* info);

    // Binds TCP and UDP on the device's "port" (in use: PORT_IN_USE); the local player's
    // CREATE_PLAYER arrives before this returns.
    VornPeerResult Host(const VornPeerAppDesc* desc, VornPeerAddress* const* devices, uint32_t deviceCount);
    // Queries the host address (no "hostname": broadcast) every retry interval until cancelled.
    VornPeerResult EnumHosts(const VornPeerAppDesc* desc, VornPeerAddress* host, VornPeerAddress* device,
                             uint32_t retryIntervalMs, uintptr_t* handle);
    VornPeerResult CancelAsyncOperation(uintptr_t handle);
    // PENDING; CONNECT_COMPLETE follows with the result.
    VornPeerResult Connect(const VornPeerAppDesc* desc, VornPeerAddress* host, VornPeerAddress* device, uintptr_t* handle);
    // To one player, or 0: everybody, the sender included.
    VornPeerResult SendTo(uint32_t id, const VornPeerBufferDesc* buffers, uint32_t bufferCount);
    VornPeerResult GetPeerInfo(uint32_t id, VornPeerPlayerInfo* info, uint32_t* size);
    VornPeerResult GetPlayerContext(uint32_t id, void** context);
    VornPeerResult ReturnBuffer(uintptr_t handle);
    VornPeerResult GetLocalHostAddresses(VornPeerAddress** addresses, uint32_t* count);
    VornPeerResult GetPeerAddress(uint32_t id, VornPeerAddress** address);
    // DESTROY_PLAYER for every player still known, then the handler is never called again.
    // Refused inside the handler.
    VornPeerResult Close();

    struct State;

private:
    VornPeer() = default;
    long references_ = 1;
    State* state_ = nullptr;
};

// The lobby side of an application started by a lobby: there is no lobby here, so it only succeeds.
class VornPeerLobbiedApplication
{
public:
    static VornPeerResult Create(VornPeerLobbiedApplication** out);
    uint32_t Release();
    VornPeerResult Initialize(void* context, VornPeerHandler handler, uintptr_t* connection);
    VornPeerResult Close();

private:
    VornPeerLobbiedApplication() = default;
    long references_ = 1;
};
