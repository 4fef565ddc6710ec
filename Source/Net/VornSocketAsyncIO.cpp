#include "VornSocketAsyncIO.h"
#include "VornLog.h"

namespace {

VornSocketState g_state;
uint8_t g_pending = 0;
int32_t g_status = VornSocketAsyncIO::OP_DONE;
uint32_t g_transferred = 0;
WSAOVERLAPPED g_overlapped;
WSABUF g_sendBuffer;
WSABUF g_recvBuffer;

void Complete(DWORD error, DWORD transferred)
{
    g_pending = 0;
    g_transferred = transferred;
    if (error) {
        VornSocketCommon::SetError(g_state, static_cast<int32_t>(error));
        g_status = VornSocketAsyncIO::OP_ERROR;
    } else if (transferred == 0) {
        VornSocketCommon::SetClosedText(g_state);
        g_status = VornSocketAsyncIO::OP_CLOSED;
    } else {
        g_status = VornSocketAsyncIO::OP_DONE;
    }
}

int32_t Start(bool send, void* data, uint32_t length)
{
    if (g_pending) return VornSocketAsyncIO::OP_PENDING;
    g_overlapped = WSAOVERLAPPED{};
    WSABUF& buffer = send ? g_sendBuffer : g_recvBuffer;
    buffer.len = length;
    buffer.buf = static_cast<char*>(data);
    DWORD moved = 0;
    DWORD flags = 0;
    const int result = send ? WSASend(g_state.socket, &buffer, 1, &moved, 0, &g_overlapped, VornSocketAsyncIO::SendCompletion)
                            : WSARecv(g_state.socket, &buffer, 1, &moved, &flags, &g_overlapped, VornSocketAsyncIO::RecvCompletion);
    if (result == SOCKET_ERROR) {
        const int code = WSAGetLastError();
        if (code != WSA_IO_PENDING) {
            VornSocketCommon::SetError(g_state, code);
            return VornSocketAsyncIO::OP_ERROR;
        }
    }
    g_status = VornSocketAsyncIO::OP_PENDING;
    g_pending = 1;
    return 0;
}

}  // namespace

bool VornSocketAsyncIO::Initialize()
{
    VornLog::Title("VornSocketAsyncIOクラスの初期化");
    VornSocketCommon::Reset(g_state);
    g_pending = 0;
    g_status = OP_DONE;
    g_transferred = 0;
    return true;
}

void VornSocketAsyncIO::Finalize()
{
    VornLog::Title("VornSocketAsyncIOクラスの解放");
    Close();
}

bool VornSocketAsyncIO::Create()
{
    if (g_state.created) Close();
    g_state.socket = WSASocketA(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (g_state.socket == INVALID_SOCKET) {
        VornSocketCommon::SetLastError(g_state);
        return false;
    }
    g_state.created = 1;
    return true;
}

bool VornSocketAsyncIO::GetHostInfo(const char* host, VornHostInfo* out) { return VornSocketCommon::GetHostInfo(g_state, host, out); }

void VornSocketAsyncIO::GetLocalHostName(char* out, size_t outSize) { VornSocketCommon::GetLocalHostName(out, outSize); }

bool VornSocketAsyncIO::Connect(const char* host, uint16_t port)
{
    if (!VornSocketCommon::Connect(g_state, g_state.socket, host, port, true)) return false;
    g_state.connected = 1;
    return true;
}

int32_t VornSocketAsyncIO::Send(const void* data, uint32_t length) { return Start(true, const_cast<void*>(data), length); }

int32_t VornSocketAsyncIO::Recv(void* buffer, uint32_t length) { return Start(false, buffer, length); }

bool VornSocketAsyncIO::Poll()
{
    if (g_pending) SleepEx(0, TRUE);
    return !g_pending;
}

int32_t VornSocketAsyncIO::GetStatus() { return g_status; }

uint32_t VornSocketAsyncIO::GetTransferred() { return g_transferred; }

void VornSocketAsyncIO::Close()
{
    if (g_pending) {
        // Closing the socket ends the operation; its completion runs at the next alertable wait,
        // after which the caller's buffer is no longer touched.
        closesocket(g_state.socket);
        g_state.connected = 0;
        g_state.created = 1;
        g_state.socket = INVALID_SOCKET;
        const ULONGLONG end = GetTickCount64() + VornSocketCommon::CLOSE_DRAIN_MS;
        while (g_pending && GetTickCount64() < end) SleepEx(10, TRUE);
        g_pending = 0;
        g_status = OP_ERROR;
    }
    VornSocketCommon::Close(g_state);
}

bool VornSocketAsyncIO::GetLastErrorText(char* out, size_t outSize) { return VornSocketCommon::GetLastErrorText(g_state, out, outSize); }

void VornSocketAsyncIO::SetError(int32_t code) { VornSocketCommon::SetError(g_state, code); }

void CALLBACK VornSocketAsyncIO::SendCompletion(DWORD error, DWORD transferred, LPWSAOVERLAPPED, DWORD) { Complete(error, transferred); }

void CALLBACK VornSocketAsyncIO::RecvCompletion(DWORD error, DWORD transferred, LPWSAOVERLAPPED, DWORD) { Complete(error, transferred); }
