// VornSocketServerMT: a blocking TCP server. An accept thread starts one thread per client, which
// runs the application's conversation callback with the client's socket; a ring of the last 256
// time-stamped log lines shows what the server does.
#pragma once
#include "VornSocketCommon.h"

typedef void (*VornSocketConversation)(SOCKET client);

struct VornMTClientRecord
{
    SOCKET socket;
    sockaddr_in peer;
    VornHostInfo host;              // filled by GetClientInfo
    VornMTClientRecord* next;
};

class VornSocketServerMT
{
public:
    static constexpr uint32_t LOG_LINES = 256;
    static constexpr uint32_t LOG_LENGTH = 1024;
    static constexpr DWORD CLIENT_END_WAIT_MS = 5000;   // longest wait for the client threads in Close

    static bool Initialize();
    static void Finalize();

    static bool Create();
    static void SetCallback(VornSocketConversation callback);
    // False when not created, already started, without a callback, or when bind/listen fail.
    static bool Start(uint16_t port);
    // Stops accepting, closes every client and returns once their threads have ended (bounded).
    static void Close();
    // The blocking loops on a client (-1: the listening socket): the length, -1 or -2, also on a
    // socket the caller made non-blocking.
    static int32_t Send(const void* data, int32_t length, SOCKET socket);
    static int32_t Recv(void* buffer, int32_t length, SOCKET socket);

    static uint32_t GetClientCount();
    // The index-th client (0 = oldest): its dotted address, and its reverse lookup into the
    // client's record and into host (optional). Past the count nothing is written.
    static bool GetClientInfo(uint32_t index, VornHostInfo* host, char* address, size_t addressSize = 64);
    static void InitClientList();
    static void DeleteClientList();
    static void AddClient(VornMTClientRecord* record);
    static void RemoveClient(VornMTClientRecord* record);
    static void CloseAllClients();

    static void Log(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 1, 2)))
#endif
        ;
    static uint32_t GetLogCount();
    // Line index (0 = oldest); "" past the count.
    static void GetLog(uint32_t index, char* out, size_t outSize = LOG_LENGTH);

    static bool GetHostInfo(const char* host, VornHostInfo* out);
    static void GetLocalHostName(char* out, size_t outSize = 256);
    static bool GetLastErrorText(char* out, size_t outSize = VornSocketState::ERROR_MAX);
    static void SetError(int32_t code);

    static DWORD WINAPI AcceptThreadProc(void* parameter);
    static DWORD WINAPI ClientThreadProc(void* parameter);
};
