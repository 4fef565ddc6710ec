// VornSocket: the program's one blocking TCP client socket, with host lookup, whole-length send
// and receive loops, a graceful close and a plain "GET" download from a web server.
#pragma once
#include "VornSocketCommon.h"

class VornSocket
{
public:
    static bool Initialize();
    static void Finalize();

    // A second Create closes the socket made before.
    static bool Create();
    static bool GetHostInfo(const char* host, VornHostInfo* out);
    static void GetLocalHostName(char* out, size_t outSize = 256);
    static bool Connect(const char* host, uint16_t port);
    // The whole length, -1 on an error, -2 when the peer closed.
    static int32_t Send(const void* data, int32_t length);
    static int32_t Recv(void* buffer, int32_t length);
    static void Close();
    static bool GetLastErrorText(char* out, size_t outSize = VornSocketState::ERROR_MAX);
    static void SetError(int32_t code);

    // Downloads each path with "GET path\n" over a connection of its own (the server closes after
    // each reply) and leaves the class socket alone. Every out entry is written: the reply in a
    // work-area block (free it with VornMemory::FreeQuiet) and its size, or null and 0 for a path
    // not fetched. True when every path was fetched (count 0: when the server could be reached).
    static bool HttpGet(const char* host, const char* const* paths, uint8_t** buffers, uint32_t* sizes, int32_t count);
    // The download port: 80 unless a test or tool points it at its own server.
    static void SetHttpPort(uint16_t port);
};
