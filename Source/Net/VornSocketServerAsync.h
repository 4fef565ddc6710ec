// VornSocketServerAsync: a TCP server on the main thread. The listening socket and every client
// report to the main window (WM_VORN_SOCKET); the window procedure hands each message to
// OnMessage. One queued outgoing buffer per client goes out as the socket takes it.
#pragma once
#include "VornSocketCommon.h"

typedef void (*VornSocketEventCallback)(HWND window, SOCKET socket);

struct VornAsyncClientRecord
{
    SOCKET socket;
    sockaddr_in peer;
    VornHostInfo host;              // reverse lookup of the peer (empty when it failed)
    char addressText[1088];
    uint32_t addressLength;
    uint8_t writable;
    uint8_t readable;
    uint32_t sent;                  // bytes of pending already gone
    uint32_t length;                // size of pending
    uint8_t* pending;               // the queued outgoing buffer, null when none
    int32_t deferred;               // a close (-2) or error (-1) met after bytes moved, for the next call
    VornAsyncClientRecord* next;
};

// What Send takes: the byte count and a pointer to the bytes (the first field is not read).
struct VornSocketPacket
{
    uint32_t kind;
    uint32_t length;
    const void* data;
};

class VornSocketServerAsync
{
public:
    static bool Initialize();
    static void Finalize();

    static bool Create();
    static bool Listen(uint16_t port);
    static void SetAcceptCallback(VornSocketEventCallback callback);
    static void SetCloseCallback(VornSocketEventCallback callback);
    static void SetRecvCallback(VornSocketEventCallback callback);
    static void SetSendCallback(VornSocketEventCallback callback);
    static void OnMessage(HWND window, WPARAM wParam, LPARAM lParam);
    static bool Accept();
    // Queues a copy of the packet for the client and sends what the socket takes now. False for
    // an unlisted client, one with a buffer still queued, or when the copy cannot be made.
    static bool Send(const VornSocketPacket* packet, SOCKET client);
    // Bytes moved now (0 when the socket is not ready, or, for SendData, while a queued buffer
    // waits); -1 or -2 when the error or close comes before any byte (after some bytes, the next
    // call reports it).
    static int32_t SendData(const void* data, uint32_t length, SOCKET client);
    static int32_t RecvData(void* buffer, uint32_t length, SOCKET client);
    static void GetAcceptedClientInfo(VornHostInfo* host, char* address, size_t addressSize = 1088);
    static void GetClosedClientInfo(VornHostInfo* host, char* address, size_t addressSize = 1088);
    static int32_t GetClientCount();
    // Past the count nothing is written (false).
    static bool GetClientInfo(int32_t index, char* hostName, char* address, size_t size = 256);
    static bool AddClient(const VornAsyncClientRecord& record);
    static void RemoveClient(VornAsyncClientRecord* record);
    static VornAsyncClientRecord* FindBySocket(SOCKET socket);
    static VornAsyncClientRecord* FindByIndex(int32_t index);
    static void CloseAll();
    static void CloseSockets() { CloseAll(); }

    static bool GetHostInfo(const char* host, VornHostInfo* out);
    static void GetLocalHostName(char* out, size_t outSize = 256);
    static bool GetLastErrorText(char* out, size_t outSize = VornSocketState::ERROR_MAX);
    static void SetError(int32_t code);
};
