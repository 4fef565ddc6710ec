// What the four socket classes share: the host record, the per-class socket state, and the one
// copy of the lookup, error text, connect, transfer loops and graceful close over that state.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include "VornSystem.h"

// The host record a lookup fills: official name, aliases and dotted addresses (at most 16 each).
struct VornHostInfo
{
    static constexpr uint32_t NAME_MAX = 256;
    static constexpr uint32_t ENTRY_MAX = 16;
    static constexpr uint32_t ADDRESS_MAX = 64;
    char name[NAME_MAX];
    char aliases[ENTRY_MAX][NAME_MAX];
    char addresses[ENTRY_MAX][ADDRESS_MAX];
    uint32_t addressType;
    uint32_t addressLength;
    uint32_t aliasCount;
    uint32_t addressCount;
};
static_assert(sizeof(VornHostInfo) == 256 + 16 * 256 + 16 * 64 + 16, "VornHostInfo layout");

// One socket class's state. The lock guards the error text and the host record, which the
// threaded server shares between threads.
struct VornSocketState
{
    static constexpr size_t ERROR_MAX = 1024;
    SOCKET socket = INVALID_SOCKET;
    uint8_t created = 0;
    uint8_t connected = 0;
    char error[ERROR_MAX] = {};
    VornHostInfo host = {};
    in_addr address = {};   // first address of the last successful lookup
    VornSystem::CriticalSection lock;
};

class VornSocketCommon
{
public:
    static constexpr uint32_t CLOSE_DRAIN_MS = 2000;   // longest wait for the peer's close
    static constexpr int32_t RESULT_ERROR = -1;
    static constexpr int32_t RESULT_CLOSED = -2;

    // Back to "no socket": flags and texts cleared (the lock stays).
    static void Reset(VornSocketState& s);
    static void SetError(VornSocketState& s, int32_t code);         // a code without text: empty
    static void SetErrorText(VornSocketState& s, const char* text);
    static void SetLastError(VornSocketState& s) { SetError(s, WSAGetLastError()); }
    static bool GetLastErrorText(VornSocketState& s, char* out, size_t outSize);
    static void SetClosedText(VornSocketState& s);                    // "回線は切断されました"
    static void SetNoMemoryText(VornSocketState& s);                  // "作業用メモリが確保できませんでした"

    // Fills a zeroed record from a platform host entry (at most 16 aliases and addresses, texts cut
    // to their fields).
    static void FillHostInfo(const hostent& entry, VornHostInfo* out);
    // Name or dotted address (a dotted one needs its reverse lookup). The class record is refilled;
    // out (optional) gets a copy.
    static bool GetHostInfo(VornSocketState& s, const char* host, VornHostInfo* out);
    static void GetLocalHostName(char* out, size_t outSize);

    // Looks the host up and connects s.socket to its first address (a dotted address connects
    // even without a reverse name). WSAEWOULDBLOCK counts as connected.
    static bool Connect(VornSocketState& s, SOCKET socket, const char* host, uint16_t port, bool overlapped);

    // The blocking loops: the whole length, -1 on an error, -2 when the peer closed (negative
    // lengths: -1). On a socket its owner made non-blocking they wait for it as on a blocking one.
    static int32_t SendAll(VornSocketState& s, SOCKET socket, const void* data, int32_t length);
    static int32_t RecvAll(VornSocketState& s, SOCKET socket, void* buffer, int32_t length);

    // The non-blocking loops: bytes moved until all went or the socket would block (*wouldBlock),
    // and in *result 0, -1 (error text set) or -2 (peer closed).
    static uint32_t SendSome(VornSocketState& s, SOCKET socket, const void* data, uint32_t length,
                             bool* wouldBlock, int32_t* result);
    static uint32_t RecvSome(VornSocketState& s, SOCKET socket, void* buffer, uint32_t length,
                             bool* wouldBlock, int32_t* result);

    // shutdown(SD_SEND), discard what still arrives until the peer closes (at most CLOSE_DRAIN_MS),
    // shutdown(SD_BOTH), closesocket.
    static void GracefulClose(SOCKET socket);
    // The class socket: graceful close when connected, a plain close when only created.
    static void Close(VornSocketState& s);
};
