#include "VornSocketCommon.h"
#include <cstring>

namespace {

const char kClosedText[] = "回線は切断されました";
const char kNoMemoryText[] = "作業用メモリが確保できませんでした";

// The first address of the last lookup, kept for Connect.
void KeepAddress(VornSocketState& s, const hostent& entry)
{
    s.address = in_addr{};
    if (entry.h_addr_list && entry.h_addr_list[0] && entry.h_length == sizeof(in_addr))
        std::memcpy(&s.address, entry.h_addr_list[0], sizeof(in_addr));
}

}  // namespace

void VornSocketCommon::Reset(VornSocketState& s)
{
    VornSystem::ScopedLock lock(s.lock);
    s.socket = INVALID_SOCKET;
    s.created = 0;
    s.connected = 0;
    s.error[0] = '\0';
    s.host = VornHostInfo{};
    s.address = in_addr{};
}

void VornSocketCommon::SetError(VornSocketState& s, int32_t code)
{
    VornSystem::ScopedLock lock(s.lock);
    s.error[0] = '\0';
    VornSystem::GetWinSockErrorText(code, s.error, sizeof s.error);
}

void VornSocketCommon::SetErrorText(VornSocketState& s, const char* text)
{
    VornSystem::ScopedLock lock(s.lock);
    VornSystem::CopyText(s.error, text);
}

void VornSocketCommon::SetClosedText(VornSocketState& s) { SetErrorText(s, kClosedText); }
void VornSocketCommon::SetNoMemoryText(VornSocketState& s) { SetErrorText(s, kNoMemoryText); }

bool VornSocketCommon::GetLastErrorText(VornSocketState& s, char* out, size_t outSize)
{
    VornSystem::ScopedLock lock(s.lock);
    if (s.error[0] == '\0' || !out || outSize == 0) return false;
    VornSystem::CopyText(out, outSize, s.error);
    return true;
}

void VornSocketCommon::FillHostInfo(const hostent& entry, VornHostInfo* out)
{
    *out = VornHostInfo{};
    if (entry.h_name) VornSystem::CopyText(out->name, entry.h_name);
    if (entry.h_aliases) {
        for (uint32_t i = 0; i < VornHostInfo::ENTRY_MAX && entry.h_aliases[i]; ++i) {
            VornSystem::CopyText(out->aliases[i], entry.h_aliases[i]);
            out->aliasCount = i + 1;
        }
    }
    if (entry.h_addr_list && entry.h_length == sizeof(in_addr)) {
        for (uint32_t i = 0; i < VornHostInfo::ENTRY_MAX && entry.h_addr_list[i]; ++i) {
            in_addr address;
            std::memcpy(&address, entry.h_addr_list[i], sizeof address);
            VornSystem::CopyText(out->addresses[i], inet_ntoa(address));
            out->addressCount = i + 1;
        }
    }
    out->addressType = static_cast<uint32_t>(entry.h_addrtype);
    out->addressLength = static_cast<uint32_t>(entry.h_length);
}

bool VornSocketCommon::GetHostInfo(VornSocketState& s, const char* host, VornHostInfo* out)
{
    if (!host) {
        SetError(s, WSAEFAULT);
        return false;
    }
    const unsigned long address = inet_addr(host);
    VornSystem::ScopedLock lock(s.lock);
    const hostent* entry = address == INADDR_NONE
                               ? gethostbyname(host)
                               : gethostbyaddr(reinterpret_cast<const char*>(&address), 4, AF_INET);
    if (!entry) {
        SetLastError(s);
        return false;
    }
    FillHostInfo(*entry, &s.host);
    KeepAddress(s, *entry);
    if (out) *out = s.host;
    return true;
}

void VornSocketCommon::GetLocalHostName(char* out, size_t outSize)
{
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    if (out && outSize) VornSystem::CopyText(out, outSize, name);
}

bool VornSocketCommon::Connect(VornSocketState& s, SOCKET socket, const char* host, uint16_t port, bool overlapped)
{
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (GetHostInfo(s, host, nullptr)) {
        VornSystem::ScopedLock lock(s.lock);
        to.sin_addr = s.address;
    } else {
        // A dotted address needs no name to be reached.
        const unsigned long dotted = host ? inet_addr(host) : INADDR_NONE;
        if (dotted == INADDR_NONE) return false;
        to.sin_addr.s_addr = dotted;
        SetErrorText(s, "");
    }
    const sockaddr* name = reinterpret_cast<const sockaddr*>(&to);
    const int result = overlapped ? WSAConnect(socket, name, sizeof to, nullptr, nullptr, nullptr, nullptr)
                                  : connect(socket, name, sizeof to);
    if (result == SOCKET_ERROR) {
        const int code = WSAGetLastError();
        if (code != WSAEWOULDBLOCK) {
            SetError(s, code);
            return false;
        }
    }
    return true;
}

namespace {

// Waits until the socket can give or take bytes again; false when the wait itself fails.
bool WaitReady(SOCKET socket, bool sending)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    return select(0, sending ? nullptr : &set, sending ? &set : nullptr, nullptr, nullptr) == 1;
}

// One loop for both directions: moves until length bytes went, an error or the peer's close. On a
// non-blocking socket a would-block ends the loop (*wouldBlock), except in the whole-length loops,
// which wait for the socket as a blocking one would: a part is never reported as the whole, nor
// dropped by a failure.
uint32_t Move(VornSocketState& s, SOCKET socket, bool sending, char* data, uint32_t length, bool whole, bool* wouldBlock,
              int32_t* result)
{
    uint32_t moved = 0;
    *wouldBlock = false;
    *result = 0;
    while (moved < length) {
        const uint32_t rest = length - moved;
        const int chunk = static_cast<int>(rest > 0x40000000u ? 0x40000000u : rest);
        const int n = sending ? send(socket, data + moved, chunk, 0) : recv(socket, data + moved, chunk, 0);
        if (n == SOCKET_ERROR) {
            int code = WSAGetLastError();
            if (code == WSAEWOULDBLOCK && whole) {
                if (WaitReady(socket, sending)) continue;
                code = WSAGetLastError();
            }
            if (code == WSAEWOULDBLOCK) {
                *wouldBlock = true;
            } else {
                VornSocketCommon::SetError(s, code);
                *result = VornSocketCommon::RESULT_ERROR;
            }
            break;
        }
        if (n == 0) {
            VornSocketCommon::SetClosedText(s);
            *result = VornSocketCommon::RESULT_CLOSED;
            break;
        }
        moved += static_cast<uint32_t>(n);
    }
    return moved;
}

// SendAll and RecvAll: the whole length or nothing.
int32_t Whole(VornSocketState& s, SOCKET socket, void* data, int32_t length, bool sending)
{
    if (length < 0) {
        VornSocketCommon::SetError(s, WSAEINVAL);
        return VornSocketCommon::RESULT_ERROR;
    }
    bool wouldBlock = false;
    int32_t result = 0;
    Move(s, socket, sending, static_cast<char*>(data), static_cast<uint32_t>(length), true, &wouldBlock, &result);
    if (wouldBlock) VornSocketCommon::SetError(s, WSAEWOULDBLOCK);
    return result ? result : wouldBlock ? VornSocketCommon::RESULT_ERROR : length;
}

}  // namespace

uint32_t VornSocketCommon::SendSome(VornSocketState& s, SOCKET socket, const void* data, uint32_t length,
                                    bool* wouldBlock, int32_t* result)
{
    return Move(s, socket, true, static_cast<char*>(const_cast<void*>(data)), length, false, wouldBlock, result);
}

uint32_t VornSocketCommon::RecvSome(VornSocketState& s, SOCKET socket, void* buffer, uint32_t length,
                                    bool* wouldBlock, int32_t* result)
{
    return Move(s, socket, false, static_cast<char*>(buffer), length, false, wouldBlock, result);
}

int32_t VornSocketCommon::SendAll(VornSocketState& s, SOCKET socket, const void* data, int32_t length)
{
    return Whole(s, socket, const_cast<void*>(data), length, true);
}

int32_t VornSocketCommon::RecvAll(VornSocketState& s, SOCKET socket, void* buffer, int32_t length)
{
    return Whole(s, socket, buffer, length, false);
}

void VornSocketCommon::GracefulClose(SOCKET socket)
{
    if (socket == INVALID_SOCKET) return;
    // A socket that cannot shut down (a listening one, or one never connected) has no peer to wait
    // for; a silent or endless peer must not hold the close: its end is awaited CLOSE_DRAIN_MS at most.
    const bool drain = shutdown(socket, SD_SEND) == 0;
    const ULONGLONG end = drain ? GetTickCount64() + CLOSE_DRAIN_MS : 0;
    char discard[64];
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) break;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket, &readable);
        const ULONGLONG left = end - now;
        timeval wait = {static_cast<long>(left / 1000), static_cast<long>(left % 1000) * 1000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) break;
        const int n = recv(socket, discard, sizeof discard, 0);
        if (n == 0 || n == SOCKET_ERROR) break;
    }
    shutdown(socket, SD_BOTH);
    closesocket(socket);
}

void VornSocketCommon::Close(VornSocketState& s)
{
    if (s.connected) {
        GracefulClose(s.socket);
    } else if (s.created && s.socket != INVALID_SOCKET) {
        closesocket(s.socket);
    }
    s.socket = INVALID_SOCKET;
    s.connected = 0;
    s.created = 0;
}
