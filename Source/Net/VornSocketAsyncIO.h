// VornSocketAsyncIO: a TCP client whose sends and receives run in the background (overlapped I/O
// with completion routines). One operation at a time; its completion runs on the starting thread
// during an alertable wait (Poll, or the message pump's sleeps).
#pragma once
#include "VornSocketCommon.h"

class VornSocketAsyncIO
{
public:
    static constexpr int32_t OP_DONE = 0;
    static constexpr int32_t OP_ERROR = -1;
    static constexpr int32_t OP_CLOSED = -2;
    static constexpr int32_t OP_PENDING = -3;

    static bool Initialize();
    static void Finalize();

    static bool Create();
    static bool GetHostInfo(const char* host, VornHostInfo* out);
    static void GetLocalHostName(char* out, size_t outSize = 256);
    static bool Connect(const char* host, uint16_t port);
    // Start one operation: 0 started, -3 one is under way already, -1 failed to start. The
    // buffer must stay untouched until Poll returns true.
    static int32_t Send(const void* data, uint32_t length);
    static int32_t Recv(void* buffer, uint32_t length);
    // One alertable wait when an operation is pending; true when none is.
    static bool Poll();
    static int32_t GetStatus();
    // Bytes the last completed operation moved.
    static uint32_t GetTransferred();
    // A pending operation is ended first (its status -1) and its buffer is free again on return.
    static void Close();
    static bool GetLastErrorText(char* out, size_t outSize = VornSocketState::ERROR_MAX);
    static void SetError(int32_t code);

    static void CALLBACK SendCompletion(DWORD error, DWORD transferred, LPWSAOVERLAPPED overlapped, DWORD flags);
    static void CALLBACK RecvCompletion(DWORD error, DWORD transferred, LPWSAOVERLAPPED overlapped, DWORD flags);
};
