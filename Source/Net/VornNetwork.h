// VornNetwork: peer sessions for applications of the engine. Hosts a session of at most 32
// players, searches a host and port for sessions and keeps the ones found with a display text,
// joins one, keeps the players with their names, sends raw byte messages to one player or to all,
// queues the messages received (16 at most) and builds a status text of the connection.
//
// The session layer calls MessageHandler on its worker thread; one lock guards the player list,
// the found sessions, the receive queue and the status, so every operation is safe from any thread.
#pragma once
#include "VornPeer.h"
#include <cstddef>
#include <cstdint>

// One received message as the application takes it out (the payload's length is not kept).
struct VornNetworkMessage
{
    uint32_t sender;
    char senderName[64];
    uint8_t data[1024];
};
static_assert(sizeof(VornNetworkMessage) == 1092, "VornNetworkMessage layout");

// A player of the session, given to the layer as the player's context.
struct VornNetworkPlayer
{
    int32_t references;   // 1 while listed; one more while a message of it is being queued
    uint32_t id;
    char name[32];        // Shift-JIS
    VornNetworkPlayer* previous;
    VornNetworkPlayer* next;
};

// A session found by a search.
struct VornNetworkSession
{
    VornPeerAppDesc* desc;       // copy of the host's description, with its own copy of the name
    VornPeerAddress* host;       // the address that answered
    VornPeerAddress* device;     // the local address the answer came in on
    char text[260];
    uint32_t lastSeen;           // timeGetTime milliseconds
    uint8_t valid;
    VornNetworkSession* next;
};

class VornNetwork
{
public:
    static constexpr uint32_t MAX_PLAYERS = 32;
    static constexpr uint32_t QUEUE_MAX = 16;
    static constexpr uint32_t DATA_MAX = 1024;
    static constexpr uint32_t ADDRESS_MAX = 32;
    static constexpr uint32_t STATUS_MAX = 512;
    static constexpr uint32_t TEXT_MAX = 256;
    static constexpr uint32_t SESSIONS_MAX = 64;        // found sessions listed (what a lobby can show)
    static constexpr uint32_t PEER_INFO_RETRIES = 50;   // short waits for a player still connecting
    static constexpr uint32_t PEER_INFO_RETRY_MS = 10;

    static bool Initialize();
    static void Finalize();
    static bool UsesHostAndPort(const VornPeerGuid& provider);
    static void SetUserName(const char* name);
    static void SetSessionName(const char* name);
    static void SetApplicationName(const char* name);

    static bool CreateSession(const char* session, const char* user, uint32_t port);
    static bool SearchSession(const char* host, uint32_t port);
    static bool EnumHosts(const char* host, uint32_t port);
    static bool JoinSession(uint32_t index, const char* user);
    // To the index-th player, or every player for a negative index; past the last player, nobody.
    static void Send(const void* data, uint32_t size, int32_t player);
    static bool GetReceiveData(VornNetworkMessage* out);

    static bool IsHost();
    static int32_t GetPlayerCount();
    static void GetPlayerName(char* out, uint32_t index, size_t outSize = 32);
    static uint32_t GetPlayerId(uint32_t index);
    static void GetHostPlayerName(char* out, size_t outSize = 32);
    static uint32_t GetAddressCount();
    static void GetAddress(char* out, uint32_t index, size_t outSize = TEXT_MAX);
    static void GetStatusText(char* out, size_t outSize = STATUS_MAX);

    static VornNetworkSession* GetSession(uint32_t index);
    static uint32_t GetSessionCount();
    static void GetSessionText(char* out, uint32_t index, size_t outSize = 260);
    static void ExpireSessions();
    static void ClearSessions();

    static VornNetworkPlayer* AddPlayer();
    static void RemovePlayer(VornNetworkPlayer* player);
    static void OnReceive(const uint8_t* data, uint32_t size, uintptr_t buffer, uint32_t sender);
    static void OnEnumHostsResponse(const VornPeerMsgEnumHostsResponse* message);
    static void UpdateStatus();
    static void GetAddressText(VornPeerAddress* address, char* out, size_t outSize);
    static VornPeerResult MessageHandler(void* context, uint32_t messageId, void* message);
    static bool CompareGuid(const VornPeerGuid& a, const VornPeerGuid& b);   // true when they differ
};
