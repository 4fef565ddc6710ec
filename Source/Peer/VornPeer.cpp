#include <winsock2.h>
#include <windows.h>
#include <mstcpip.h>
#include <bcrypt.h>
#include "VornPeer.h"
#include "VornPeerSession.h"
#include "VornPeerWire.h"
#include "VornLog.h"
#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

static_assert(sizeof(wchar_t) == 2, "names are UTF-16");

namespace {

using Bytes = std::vector<uint8_t>;
using Wire = VornPeerWire::Frame;

constexpr int POLL_WAIT_MS = 50;

std::u16string ToU16(const wchar_t* s)
{
    std::u16string out;
    for (; s && *s && out.size() < VornPeerWire::MAX_NAME; ++s) out.push_back(char16_t(*s));
    return out;
}
std::wstring ToWide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

VornPeerWire::Guid ToWire(const VornPeerGuid& g)
{
    VornPeerWire::Guid w;
    std::memcpy(w.bytes, &g, 16);
    return w;
}
VornPeerGuid FromWire(const VornPeerWire::Guid& w)
{
    VornPeerGuid g;
    std::memcpy(&g, w.bytes, 16);
    return g;
}
bool IsZero(const VornPeerWire::Guid& g)
{
    for (uint8_t b : g.bytes)
        if (b) return false;
    return true;
}

// "hostname" and "port" of an address (port 0 and "" when absent).
void ReadHostPort(const VornPeerAddress* a, std::wstring* host, uint32_t* port)
{
    *port = 0;
    host->clear();
    if (!a) return;
    uint32_t size = sizeof *port, type = 0;
    a->GetComponentByName(L"port", port, &size, &type);
    wchar_t text[256] = {};
    size = sizeof text - sizeof(wchar_t);
    if (a->GetComponentByName(L"hostname", text, &size, &type) == VORN_PEER_OK) *host = text;
}

VornPeerAddress* MakeAddress(uint32_t ip, uint16_t port)
{
    VornPeerAddress* a = nullptr;
    if (VornPeerAddress::Create(&a) != VORN_PEER_OK) return nullptr;
    a->SetSP(VORN_PEER_SP_TCPIP);
    in_addr in;
    in.s_addr = ip;
    const char* dotted = inet_ntoa(in);
    wchar_t text[32] = {};
    for (size_t i = 0; dotted && dotted[i] && i < 31; ++i) text[i] = wchar_t(dotted[i]);
    a->AddComponent(L"hostname", text, uint32_t((wcslen(text) + 1) * sizeof(wchar_t)), VORN_PEER_TYPE_STRING);
    const uint32_t p = port;
    a->AddComponent(L"port", &p, sizeof p, VORN_PEER_TYPE_DWORD);
    return a;
}

void NonBlocking(SOCKET s)
{
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
}

// A link to a player: non-blocking, small messages sent at once, and a peer that vanished without
// closing (a machine gone, a cable pulled) found by keep-alive probes within about 15 s.
void TuneLink(SOCKET s)
{
    NonBlocking(s);
    BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    tcp_keepalive probes = {1, 5000, 1000};
    DWORD unused = 0;
    WSAIoctl(s, SIO_KEEPALIVE_VALS, &probes, sizeof probes, nullptr, 0, &unused, nullptr, nullptr);
}

// The read kept posted on a link. The system writes into it until the read completes, so it
// outlives a link closed meanwhile (kept aside until then).
struct Reading
{
    WSAOVERLAPPED overlapped = {};
    char buffer[16384];
    bool posted = false;
    Reading() { overlapped.hEvent = WSACreateEvent(); }
    ~Reading() { WSACloseEvent(overlapped.hEvent); }
    Reading(const Reading&) = delete;
    Reading& operator=(const Reading&) = delete;
    bool Done() const { return HasOverlappedIoCompleted(&overlapped); }
};

// One TCP link's socket, its read and what waits to be sent on it; who is at the other end is the
// session's.
struct Link
{
    SOCKET socket = INVALID_SOCKET;
    std::unique_ptr<Reading> reading = std::make_unique<Reading>();
    uint32_t ip = 0;          // peer address as stored in sin_addr
    bool connecting = false;  // a non-blocking connect not yet finished
    bool closeAfterSend = false;
    bool dead = false;
    bool closedBySession = false;   // the session already let it go
    Bytes out;
    size_t outAt = 0;
};

using Event = VornPeerSession::Event;

struct Enumeration
{
    uintptr_t handle;
    sockaddr_in target;
    VornPeerWire::Guid application;
    uint32_t interval;
    ULONGLONG next;
};

constexpr size_t DATAGRAMS_PER_TURN = 64;   // a flood of queries cannot hold the worker

thread_local const VornPeer::State* t_handlerOf = nullptr;

void LogFailure(const char* operation, const char* format, unsigned value)
{
    VornLog::StrongBlue("%s", operation);
    VornLog::StrongRed(format, value);
    VornLog::LineBreak();
}

}  // namespace

struct VornPeer::State : VornPeerSession::Io
{
    std::recursive_mutex lock;
    std::mutex delivering;   // one handler call at a time, in the order the events were made
    void* context = nullptr;
    VornPeerHandler handler = nullptr;
    bool initialized = false;
    std::thread worker;
    std::atomic<bool> stop{false};
    std::atomic<bool> orphaned{false};   // the last Release came inside the handler

    SOCKET listener = INVALID_SOCKET, udp = INVALID_SOCKET, query = INVALID_SOCKET;
    // The worker sleeps on: wake (another thread has news for it), net (a connection to accept, a
    // datagram, a link connected or able to take more) and the links' reads.
    HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE net = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::vector<std::unique_ptr<Reading>> closing;   // reads of closed links, until they complete
    std::vector<uint32_t> localIps;   // where the listener can be reached

    VornPeerSession session{*this};
    std::map<uint32_t, Link> links;
    uint32_t nextLink = 1;
    std::vector<Enumeration> enumerations;
    uintptr_t nextHandle = 1;

    ~State()
    {
        CloseSockets();
        CloseHandle(wake);
        CloseHandle(net);
    }

    // Closes a link's socket; a read still posted on it is waited for elsewhere.
    void CloseLink(Link& link)
    {
        if (link.socket != INVALID_SOCKET) closesocket(link.socket);
        link.socket = INVALID_SOCKET;
        if (link.reading->posted) closing.push_back(std::move(link.reading));
    }

    // Every socket closed and every read they had posted completed (the worker's, or after it ended).
    void CloseSockets()
    {
        for (SOCKET* s : {&listener, &udp, &query})
            if (*s != INVALID_SOCKET) closesocket(*s), *s = INVALID_SOCKET;
        for (auto& link : links) CloseLink(link.second);
        links.clear();
        for (auto& r : closing) WaitForSingleObject(r->overlapped.hEvent, 1000);
        closing.clear();
    }

    void Wake()
    {
        if (std::this_thread::get_id() != worker.get_id()) SetEvent(wake);
    }

    // A socket of the peer's own signals `net` on the given events.
    void Watch(SOCKET s, long events) { WSAEventSelect(s, net, events); }

    bool StartWorker()
    {
        if (worker.joinable()) return true;
        if (!wake || !net) return false;
        stop = false;
        worker = std::thread([this] { Run(); });
        return true;
    }

    void Push(Event e)
    {
        session.events.push_back(std::move(e));
        Wake();
    }

    // --- what the session asks of its links

    uint32_t Dial(uint32_t ip, uint16_t port) override
    {
        const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) return 0;
        TuneLink(s);
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = ip;
        to.sin_port = htons(port);
        Watch(s, FD_CONNECT | FD_WRITE | FD_CLOSE);
        const uint32_t id = nextLink++;
        Link& link = links[id];
        link.socket = s;
        link.ip = ip;
        link.connecting = true;
        if (connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) link.connecting = false;
        else if (WSAGetLastError() != WSAEWOULDBLOCK) link.dead = true;
        return id;
    }

    // Sends at once what the socket takes, straight from the caller's bytes; the rest waits in the
    // link's queue. A link that would hold more than the limit is dropped.
    void Write(uint32_t id, const uint8_t* head, size_t headSize, const uint8_t* body, size_t bodySize) override
    {
        auto it = links.find(id);
        if (it == links.end() || it->second.dead) return;
        Link& link = it->second;
        size_t sent = 0;
        if (!link.connecting && link.outAt == link.out.size()) {
            WSABUF parts[2] = {{ULONG(headSize), reinterpret_cast<char*>(const_cast<uint8_t*>(head))},
                               {ULONG(bodySize), reinterpret_cast<char*>(const_cast<uint8_t*>(body))}};
            DWORD n = 0;
            if (WSASend(link.socket, parts, bodySize ? 2 : 1, &n, 0, nullptr, nullptr) == 0) sent = n;
            else if (WSAGetLastError() != WSAEWOULDBLOCK) {
                link.dead = true;
                Wake();
                return;
            }
            if (sent == headSize + bodySize) return;
        }
        if (link.out.size() - link.outAt + headSize + bodySize - sent > VORN_PEER_QUEUE_LIMIT) {
            link.dead = true;
            Wake();
            return;
        }
        if (sent < headSize) link.out.insert(link.out.end(), head + sent, head + headSize);
        const size_t bodySent = sent > headSize ? sent - headSize : 0;
        if (bodySize) link.out.insert(link.out.end(), body + bodySent, body + bodySize);
        Wake();   // the worker sends the rest as the socket takes it
    }

    void Close(uint32_t id, bool afterWrites) override
    {
        auto it = links.find(id);
        if (it == links.end()) return;
        it->second.closedBySession = true;
        if (afterWrites && !it->second.dead) {
            it->second.closeAfterSend = true;
            Flush(it->second);
        } else {
            it->second.dead = true;
        }
        Wake();
    }

    void Random(uint8_t* out, size_t size) override
    {
        if (BCryptGenRandom(nullptr, out, ULONG(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0) return;
        LogFailure("VornPeer::Random", "BCryptGenRandom failed for [ %u ] bytes: the system's generator is used", unsigned(size));
        std::random_device system;
        for (size_t i = 0; i < size; ++i) out[i] = uint8_t(system());
    }

    void Ended() override
    {
        for (SOCKET* s : {&listener, &udp})
            if (*s != INVALID_SOCKET) closesocket(*s), *s = INVALID_SOCKET;
    }

    void Flush(Link& link)
    {
        while (!link.connecting && !link.dead && link.outAt < link.out.size()) {
            const int n = send(link.socket, reinterpret_cast<const char*>(link.out.data() + link.outAt),
                               int(std::min<size_t>(link.out.size() - link.outAt, 1u << 20)), 0);
            if (n > 0) {
                link.outAt += size_t(n);
                continue;
            }
            if (WSAGetLastError() != WSAEWOULDBLOCK) link.dead = true;
            break;
        }
        if (link.outAt == link.out.size()) {
            link.out.clear();
            link.outAt = 0;
            if (link.closeAfterSend) link.dead = true;
        }
    }

    // Binds TCP (listening) and UDP on the port (0: any free one for TCP, then UDP on the same).
    VornPeerResult Bind(uint16_t port, bool udpRequired)
    {
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        udp = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        if (listener == INVALID_SOCKET || udp == INVALID_SOCKET) return VORN_PEER_FAILED;
        BOOL on = TRUE;
        setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
        sockaddr_in at = {};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_ANY);
        at.sin_port = htons(port);
        int n = sizeof at;
        if (bind(listener, reinterpret_cast<sockaddr*>(&at), n) != 0)
            return WSAGetLastError() == WSAEADDRINUSE || WSAGetLastError() == WSAEACCES ? VORN_PEER_PORT_IN_USE : VORN_PEER_FAILED;
        if (listen(listener, 64) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&at), &n) != 0)
            return VORN_PEER_FAILED;
        session.listenPort = ntohs(at.sin_port);
        // The machine's addresses, looked up now rather than inside a handler that asks for them.
        localIps.clear();
        char name[256] = {};
        if (gethostname(name, sizeof name) == 0)
            if (const hostent* entry = gethostbyname(name); entry && entry->h_addrtype == AF_INET)
                for (char** a = entry->h_addr_list; *a && localIps.size() < VORN_PEER_MAX_PLAYERS; ++a) {
                    uint32_t ip;
                    std::memcpy(&ip, *a, 4);
                    localIps.push_back(ip);
                }
        if (localIps.empty()) localIps.push_back(htonl(INADDR_LOOPBACK));
        if (bind(udp, reinterpret_cast<sockaddr*>(&at), n) != 0) {
            const int error = WSAGetLastError();
            if (udpRequired) return error == WSAEADDRINUSE ? VORN_PEER_PORT_IN_USE : VORN_PEER_FAILED;
            // A joiner goes on, but as host after a migration no search would find it.
            LogFailure("VornPeer::Connect", "UDP port [ %u ] could not be bound: searches will not find this peer as host", session.listenPort);
            closesocket(udp);
            udp = INVALID_SOCKET;
        }
        Watch(listener, FD_ACCEPT);
        if (udp != INVALID_SOCKET) Watch(udp, FD_READ);
        return VORN_PEER_OK;
    }

    // Ends the searches (all, or one) with ASYNC_OP_COMPLETE, their undelivered answers dropped.
    bool EndSearches(uintptr_t handle, int32_t result)
    {
        bool found = false;
        for (size_t i = 0; i < enumerations.size(); ++i) {
            const uintptr_t h = enumerations[i].handle;
            if (handle && h != handle) continue;
            found = true;
            auto& queued = session.events;
            queued.erase(std::remove_if(queued.begin(), queued.end(), [h](const Event& e) {
                             return e.message == VORN_PEER_MSG_ENUM_HOSTS_RESPONSE && e.handle == h;
                         }),
                         queued.end());
            Event e;
            e.message = VORN_PEER_MSG_ASYNC_OP_COMPLETE;
            e.handle = h;
            e.result = result;
            Push(std::move(e));
            enumerations.erase(enumerations.begin() + ptrdiff_t(i--));
        }
        return found;
    }

    // Keeps a read posted on the link (its event wakes the worker when it completes).
    void Post(Link& link)
    {
        Reading& r = *link.reading;
        WSABUF buffer = {ULONG(sizeof r.buffer), r.buffer};
        DWORD n = 0, flags = 0;
        if (WSARecv(link.socket, &buffer, 1, &n, &flags, &r.overlapped, nullptr) == 0 || WSAGetLastError() == WSA_IO_PENDING)
            r.posted = true;
        else
            link.dead = true;
    }

    // What a completed read brought goes to the session; nothing (or an error) means the link is gone.
    void TakeRead(uint32_t id, Link& link, ULONGLONG now)
    {
        Reading& r = *link.reading;
        r.posted = false;
        DWORD n = 0, flags = 0;
        if (!WSAGetOverlappedResult(link.socket, &r.overlapped, &n, FALSE, &flags) || n == 0) {
            link.dead = true;
            return;
        }
        session.Received(id, reinterpret_cast<const uint8_t*>(r.buffer), n, now);
    }

    void ReadQueries()
    {
        uint8_t buffer[2048];
        for (size_t i = 0; i < DATAGRAMS_PER_TURN; ++i) {
            sockaddr_in from = {};
            int n = sizeof from;
            const int size = recvfrom(udp, reinterpret_cast<char*>(buffer), sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &n);
            if (size < 0) return;
            Wire q;
            if (!VornPeerWire::DecodeDatagram(buffer, size_t(size), &q) || q.type != VornPeerWire::QUERY) continue;
            if (!IsZero(q.application) && std::memcmp(&q.application, &session.desc.application, 16) != 0) continue;
            const Bytes d = session.Answer(q.token, size_t(size));
            if (!d.empty())
                sendto(udp, reinterpret_cast<const char*>(d.data()), int(d.size()), 0, reinterpret_cast<const sockaddr*>(&from), n);
        }
    }

    void ReadAnswers()
    {
        uint8_t buffer[2048];
        for (size_t i = 0; i < DATAGRAMS_PER_TURN; ++i) {
            sockaddr_in from = {};
            int n = sizeof from;
            const int size = recvfrom(query, reinterpret_cast<char*>(buffer), sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &n);
            if (size < 0) return;
            Wire a;
            if (!VornPeerWire::DecodeDatagram(buffer, size_t(size), &a) || a.type != VornPeerWire::ANSWER) continue;
            for (const Enumeration& e : enumerations) {
                if (!IsZero(e.application) && std::memcmp(&e.application, &a.desc.application, 16) != 0) continue;
                // A search of one host takes answers from that host only.
                if (e.target.sin_addr.s_addr != htonl(INADDR_BROADCAST) &&
                    (e.target.sin_addr.s_addr != from.sin_addr.s_addr || e.target.sin_port != from.sin_port))
                    continue;
                sockaddr_in local = {};
                int ln = sizeof local;
                getsockname(query, reinterpret_cast<sockaddr*>(&local), &ln);
                Event r;
                r.message = VORN_PEER_MSG_ENUM_HOSTS_RESPONSE;
                r.handle = e.handle;
                r.desc = a.desc;
                r.ip = from.sin_addr.s_addr;
                r.port = ntohs(from.sin_port);
                r.devicePort = ntohs(local.sin_port);
                r.roundTrip = uint32_t(GetTickCount()) - a.token;
                Push(std::move(r));
                break;
            }
        }
    }

    void SendQueries(ULONGLONG now)
    {
        for (Enumeration& e : enumerations) {
            if (now < e.next) continue;
            e.next = now + e.interval;
            Wire q;
            q.type = VornPeerWire::QUERY;
            q.application = e.application;
            q.token = uint32_t(GetTickCount());
            // Padded to the largest answer, which a host sends no more than it was asked with.
            q.padding = uint32_t(VornPeerWire::MAX_ANSWER_SIZE - VornPeerWire::HEADER_SIZE - 20);
            Bytes d;
            VornPeerWire::Encode(q, &d);
            sendto(query, reinterpret_cast<const char*>(d.data()), int(d.size()), 0, reinterpret_cast<const sockaddr*>(&e.target), sizeof e.target);
        }
    }

    // One turn of the worker: post the links' reads, sleep until something happens, then serve it,
    // all under the lock. A message costs its read alone: the other sockets are polled only when
    // `net` says one of them has news (or the clock runs out).
    void Turn()
    {
        HANDLE waits[MAXIMUM_WAIT_OBJECTS] = {wake, net};
        DWORD count = 2;
        int waitMs = POLL_WAIT_MS;
        {
            std::lock_guard<std::recursive_mutex> hold(lock);
            for (auto& l : links) {
                Link& link = l.second;
                if (!link.dead && !link.connecting && !link.reading->posted) Post(link);
                if (link.dead) waitMs = 0;
                else if (link.reading->posted && count < MAXIMUM_WAIT_OBJECTS) waits[count++] = link.reading->overlapped.hEvent;
            }
            const ULONGLONG now = GetTickCount64();
            for (const Enumeration& e : enumerations)
                waitMs = int(std::min<ULONGLONG>(ULONGLONG(waitMs), e.next > now ? e.next - now : 0));
            for (const auto& r : closing)
                if (r->Done()) waitMs = std::min(waitMs, POLL_WAIT_MS);
            if (!session.events.empty()) waitMs = 0;
        }
        const DWORD woke = WaitForMultipleObjects(count, waits, FALSE, DWORD(waitMs));

        std::lock_guard<std::recursive_mutex> hold(lock);
        const ULONGLONG now = GetTickCount64();
        bool polling = woke == WAIT_OBJECT_0 + 1 || woke == WAIT_TIMEOUT;
        for (const auto& l : links) polling |= l.second.connecting || l.second.outAt < l.second.out.size();
        if (polling) Poll(now);
        for (auto& l : links)
            if (!l.second.dead && l.second.reading->posted && l.second.reading->Done()) TakeRead(l.first, l.second, now);
        if (query != INVALID_SOCKET) SendQueries(now);
        session.Tick(now);
        for (auto it = links.begin(); it != links.end();) {
            if (!it->second.dead) {
                ++it;
                continue;
            }
            const uint32_t id = it->first;
            const bool tell = !it->second.closedBySession;
            CloseLink(it->second);
            it = links.erase(it);
            if (tell) {
                session.Lost(id);   // may close more links: start over
                it = links.begin();
            }
        }
        closing.erase(std::remove_if(closing.begin(), closing.end(), [](const std::unique_ptr<Reading>& r) { return r->Done(); }),
                      closing.end());
    }

    // The sockets other than the links' reads: connections to accept, datagrams, links that
    // connected or can take what waits for them.
    void Poll(ULONGLONG now)
    {
        std::vector<WSAPOLLFD> polled;
        std::vector<uint32_t> polledLinks;   // the links behind polled[ownCount...]
        for (SOCKET s : {listener, udp, query})
            if (s != INVALID_SOCKET) polled.push_back({s, POLLRDNORM, 0});
        const size_t ownCount = polled.size();
        for (auto& l : links)
            if (!l.second.dead && (l.second.connecting || l.second.outAt < l.second.out.size())) {
                polled.push_back({l.second.socket, POLLWRNORM, 0});
                polledLinks.push_back(l.first);
            }
        if (polled.empty() || WSAPoll(polled.data(), ULONG(polled.size()), 0) <= 0) return;
        auto ready = [&](SOCKET s) {
            for (size_t i = 0; i < ownCount; ++i)
                if (polled[i].fd == s) return polled[i].revents != 0;
            return false;
        };
        if (ready(listener)) {
            for (;;) {
                sockaddr_in from = {};
                int n = sizeof from;
                const SOCKET s = accept(listener, reinterpret_cast<sockaddr*>(&from), &n);
                if (s == INVALID_SOCKET) break;
                TuneLink(s);
                Watch(s, FD_WRITE | FD_CLOSE);
                const uint32_t id = nextLink++;
                Link& link = links[id];
                link.socket = s;
                link.ip = from.sin_addr.s_addr;
                if (!session.Accept(id, link.ip, now)) {   // more than a full session: refused unheard
                    closesocket(s);
                    links.erase(id);
                }
            }
        }
        if (ready(udp)) ReadQueries();
        if (ready(query)) ReadAnswers();
        for (size_t i = 0; i < polledLinks.size(); ++i) {
            auto it = links.find(polledLinks[i]);
            if (it == links.end() || it->second.dead) continue;
            Link& link = it->second;
            const SHORT got = polled[ownCount + i].revents;
            if (link.connecting && (got & (POLLERR | POLLHUP))) link.dead = true;
            else if (link.connecting && (got & POLLWRNORM)) link.connecting = false;
            if (!link.dead && (got & POLLWRNORM)) Flush(link);
        }
    }

    void Run()
    {
        while (!stop) {
            Turn();
            if (Deliver()) break;
        }
        // The links' reads are this thread's: their sockets close, and the reads end, here.
        {
            std::lock_guard<std::recursive_mutex> hold(lock);
            for (auto& link : links) CloseLink(link.second);
            links.clear();
            for (auto& r : closing) WaitForSingleObject(r->overlapped.hEvent, 1000);
            closing.clear();
        }
        if (orphaned) return FinishOrphan();
        Deliver();
    }

    // The peer was released inside its handler: the worker closes everything and frees the state
    // once no handler call is running, and the handler is never called again.
    void FinishOrphan()
    {
        { std::lock_guard<std::mutex> wait(delivering); }
        worker.detach();
        delete this;
    }

    // Calls the handler for every waiting event, holding no lock of the state; true when the peer
    // was released meanwhile (the caller then touches nothing of it).
    bool Deliver()
    {
        std::lock_guard<std::mutex> one(delivering);
        for (;;) {
            if (orphaned) return true;
            Event e;
            VornPeerHandler call;
            void* ctx;
            void* player;
            {
                std::lock_guard<std::recursive_mutex> hold(lock);
                if (session.events.empty() || !handler) return false;
                e = std::move(session.events.front());
                session.events.pop_front();
                call = handler;
                ctx = context;
                player = session.ContextOf(e.id);   // set when its CREATE_PLAYER was delivered, before
            }
            Call(call, ctx, player, e);
        }
    }

    void Call(VornPeerHandler call, void* ctx, void* player, Event& e)
    {
        const VornPeer::State* outer = t_handlerOf;
        t_handlerOf = this;
        switch (e.message) {
        case VORN_PEER_MSG_CREATE_PLAYER: {
            VornPeerMsgCreatePlayer m = {sizeof m, e.id, nullptr};
            call(ctx, e.message, &m);
            std::lock_guard<std::recursive_mutex> hold(lock);
            session.SetContext(e.id, m.playerContext);
            break;
        }
        case VORN_PEER_MSG_DESTROY_PLAYER: {
            VornPeerMsgDestroyPlayer m = {sizeof m, e.id, player};
            call(ctx, e.message, &m);
            std::lock_guard<std::recursive_mutex> hold(lock);
            session.Forget(e.id);
            break;
        }
        case VORN_PEER_MSG_RECEIVE: {
            VornPeerMsgReceive m = {sizeof m, e.id, player, e.data.data(), uint32_t(e.data.size()), 0};
            call(ctx, e.message, &m);
            break;
        }
        case VORN_PEER_MSG_ENUM_HOSTS_RESPONSE: {
            std::wstring name = ToWide(e.desc.name);
            VornPeerAppDesc d = {};
            d.size = sizeof d;
            d.flags = e.desc.flags;
            d.instance = FromWire(e.desc.instance);
            d.application = FromWire(e.desc.application);
            d.maxPlayers = e.desc.maxPlayers;
            d.currentPlayers = e.desc.currentPlayers;
            d.sessionName = &name[0];
            VornPeerAddress* sender = MakeAddress(e.ip, e.port);
            VornPeerAddress* device = MakeAddress(htonl(INADDR_ANY), e.devicePort);
            VornPeerMsgEnumHostsResponse m = {sizeof m, &d, sender, device, e.roundTrip, e.handle};
            if (sender && device) call(ctx, e.message, &m);
            if (sender) sender->Release();
            if (device) device->Release();
            break;
        }
        case VORN_PEER_MSG_HOST_MIGRATE: {
            VornPeerMsgHostMigrate m = {sizeof m, e.id};
            call(ctx, e.message, &m);
            break;
        }
        case VORN_PEER_MSG_TERMINATE_SESSION: {
            VornPeerMsgTerminateSession m = {sizeof m, e.result};
            call(ctx, e.message, &m);
            break;
        }
        case VORN_PEER_MSG_ASYNC_OP_COMPLETE: {
            VornPeerMsgAsyncOpComplete m = {sizeof m, e.handle, e.result};
            call(ctx, e.message, &m);
            break;
        }
        case VORN_PEER_MSG_CONNECT_COMPLETE: {
            VornPeerMsgConnectComplete m = {sizeof m, e.handle, e.result};
            call(ctx, e.message, &m);
            break;
        }
        default:
            break;
        }
        t_handlerOf = outer;
    }

    void StopWorker()
    {
        {
            std::lock_guard<std::recursive_mutex> hold(lock);
            stop = true;
            Wake();
        }
        if (worker.joinable()) worker.join();
    }
};

// ---------------------------------------------------------------------------------------------
// Addresses

VornPeerResult VornPeerAddress::Create(VornPeerAddress** out)
{
    if (!out) return VORN_PEER_INVALID_PARAM;
    *out = new (std::nothrow) VornPeerAddress();
    return *out ? VORN_PEER_OK : VORN_PEER_FAILED;
}

uint32_t VornPeerAddress::AddRef() { return uint32_t(InterlockedIncrement(&references_)); }

uint32_t VornPeerAddress::Release()
{
    const long left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return uint32_t(left);
}

VornPeerResult VornPeerAddress::Duplicate(VornPeerAddress** out) const
{
    if (VornPeerAddress::Create(out) != VORN_PEER_OK) return VORN_PEER_FAILED;
    (*out)->provider_ = provider_;
    (*out)->components_ = components_;
    return VORN_PEER_OK;
}

VornPeerResult VornPeerAddress::SetSP(const VornPeerGuid& provider)
{
    provider_ = provider;
    return VORN_PEER_OK;
}

VornPeerResult VornPeerAddress::GetSP(VornPeerGuid* provider) const
{
    if (!provider) return VORN_PEER_INVALID_PARAM;
    *provider = provider_;
    return VORN_PEER_OK;
}

VornPeerResult VornPeerAddress::AddComponent(const wchar_t* name, const void* data, uint32_t size, uint32_t type)
{
    if (!name || (size && !data) || (type == VORN_PEER_TYPE_DWORD && size != 4)) return VORN_PEER_INVALID_PARAM;
    Component c{name, Bytes(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size), type};
    if (type == VORN_PEER_TYPE_STRING) {   // kept terminated
        if (c.data.size() % 2) c.data.pop_back();
        if (c.data.size() < 2 || c.data[c.data.size() - 1] || c.data[c.data.size() - 2]) c.data.insert(c.data.end(), {0, 0});
    }
    for (Component& old : components_)
        if (old.name == c.name) {
            old = c;
            return VORN_PEER_OK;
        }
    components_.push_back(c);
    return VORN_PEER_OK;
}

VornPeerResult VornPeerAddress::GetComponentByName(const wchar_t* name, void* buffer, uint32_t* size, uint32_t* type) const
{
    if (!name || !size) return VORN_PEER_INVALID_PARAM;
    for (const Component& c : components_) {
        if (c.name != name) continue;
        if (type) *type = c.type;
        if (!buffer || *size < c.data.size()) {
            *size = uint32_t(c.data.size());
            return VORN_PEER_BUFFER_TOO_SMALL;
        }
        std::memcpy(buffer, c.data.data(), c.data.size());
        *size = uint32_t(c.data.size());
        return VORN_PEER_OK;
    }
    return VORN_PEER_NOT_FOUND;
}

// ---------------------------------------------------------------------------------------------
// Peers

VornPeerResult VornPeer::Create(VornPeer** out)
{
    if (!out) return VORN_PEER_INVALID_PARAM;
    *out = new (std::nothrow) VornPeer();
    if (*out && !((*out)->state_ = new (std::nothrow) State())) {
        delete *out;
        *out = nullptr;
    }
    return *out ? VORN_PEER_OK : VORN_PEER_FAILED;
}

uint32_t VornPeer::Release()
{
    const long left = InterlockedDecrement(&references_);
    if (left != 0) return uint32_t(left);
    State* s = state_;
    delete this;
    if (t_handlerOf == s) {   // the worker frees the state once this handler call returns
        s->orphaned = true;
        s->stop = true;
    } else {
        VornPeer closing;
        closing.state_ = s;
        closing.Close();
        closing.state_ = nullptr;
        delete s;
    }
    return 0;
}

VornPeerResult VornPeer::Initialize(void* context, VornPeerHandler handler, uint32_t)
{
    std::lock_guard<std::recursive_mutex> hold(state_->lock);
    if (state_->initialized || !handler) return VORN_PEER_INVALID_CALL;
    state_->context = context;
    state_->handler = handler;
    state_->initialized = true;
    return VORN_PEER_OK;
}

VornPeerResult VornPeer::EnumServiceProviders(VornPeerServiceProviderInfo* buffer, uint32_t* size, uint32_t* count)
{
    if (!size || !count) return VORN_PEER_INVALID_PARAM;
    const uint32_t need = uint32_t(sizeof(VornPeerServiceProviderInfo) + sizeof VORN_PEER_SP_TCPIP_NAME);
    *count = 1;
    if (!buffer || *size < need) {
        *size = need;
        return VORN_PEER_BUFFER_TOO_SMALL;
    }
    auto* name = reinterpret_cast<wchar_t*>(buffer + 1);
    std::memcpy(name, VORN_PEER_SP_TCPIP_NAME, sizeof VORN_PEER_SP_TCPIP_NAME);
    buffer->guid = VORN_PEER_SP_TCPIP;
    buffer->name = name;
    buffer->flags = 0;
    *size = need;
    return VORN_PEER_OK;
}

VornPeerResult VornPeer::GetSPCaps(const VornPeerGuid& provider, VornPeerCaps* caps)
{
    if (!caps || caps->size != sizeof *caps) return VORN_PEER_INVALID_PARAM;
    if (provider != VORN_PEER_SP_TCPIP) return VORN_PEER_NOT_FOUND;
    *caps = VornPeerCaps{sizeof *caps, 0, 1, 0, VORN_PEER_ENUM_RETRY_MS, 0, 1000, 0, 0};
    return VORN_PEER_OK;
}

VornPeerResult VornPeer::SetPeerInfo(const VornPeerPlayerInfo* info)
{
    if (!info || !(info->infoFlags & VORN_PEER_INFO_NAME)) return VORN_PEER_INVALID_PARAM;
    std::lock_guard<std::recursive_mutex> hold(state_->lock);
    state_->session.localName = ToU16(info->name);
    return VORN_PEER_OK;
}

VornPeerResult VornPeer::Host(const VornPeerAppDesc* desc, VornPeerAddress* const* devices, uint32_t deviceCount)
{
    State& s = *state_;
    if (!desc || (deviceCount && !devices)) return VORN_PEER_INVALID_PARAM;
    {
        std::lock_guard<std::recursive_mutex> hold(s.lock);
        if (!s.initialized || s.session.mode != VornPeerSession::Idle) return VORN_PEER_INVALID_CALL;
        std::wstring host;
        uint32_t port = 0;
        ReadHostPort(deviceCount ? devices[0] : nullptr, &host, &port);
        if (port > 0xFFFF) return VORN_PEER_INVALID_PARAM;
        const VornPeerResult bound = s.Bind(port ? uint16_t(port) : VORN_PEER_DEFAULT_PORT, true);
        if (bound != VORN_PEER_OK || !s.StartWorker()) {
            s.Ended();
            return bound != VORN_PEER_OK ? bound : VORN_PEER_FAILED;
        }
        std::random_device random;
        VornPeerGuid instance;
        for (uint32_t* word = reinterpret_cast<uint32_t*>(&instance); word < reinterpret_cast<uint32_t*>(&instance + 1); ++word)
            *word = random() ^ uint32_t(GetTickCount64() * 2654435761u);
        VornPeerWire::SessionDesc d;
        d.instance = ToWire(instance);
        d.application = ToWire(desc->application);
        d.flags = desc->flags;
        d.maxPlayers = desc->maxPlayers;
        d.name = ToU16(desc->sessionName);
        s.session.Host(d, s.session.listenPort);
    }
    // The local player's CREATE_PLAYER, and whatever came before it, is delivered before Host
    // returns, in turn with the worker's deliveries (inside the handler the worker delivers it).
    if (t_handlerOf != &s) s.Deliver();
    return VORN_PEER_OK;
}

VornPeerResult VornPeer::EnumHosts(const VornPeerAppDesc* desc, VornPeerAddress* host, VornPeerAddress* device,
                                   uint32_t retryIntervalMs, uintptr_t* handle)
{
    State& s = *state_;
    std::wstring name, unused;
    uint32_t port = 0, devicePort = 0;
    ReadHostPort(host, &name, &port);
    ReadHostPort(device, &unused, &devicePort);
    if (!desc || !handle || devicePort > 0xFFFF) return VORN_PEER_INVALID_PARAM;
    sockaddr_in target = {};
    target.sin_family = AF_INET;
    target.sin_port = htons(uint16_t(port ? port : VORN_PEER_DEFAULT_PORT));
    target.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    if (!name.empty()) {
        char text[256] = {};
        for (size_t i = 0; i < name.size() && i < 255; ++i) text[i] = char(name[i] < 128 ? name[i] : '?');
        target.sin_addr.s_addr = inet_addr(text);
        if (target.sin_addr.s_addr == INADDR_NONE) {
            const hostent* entry = gethostbyname(text);
            if (!entry || entry->h_addrtype != AF_INET || !entry->h_addr_list[0]) return VORN_PEER_INVALID_PARAM;
            std::memcpy(&target.sin_addr, entry->h_addr_list[0], 4);
        }
    }
    std::lock_guard<std::recursive_mutex> hold(s.lock);
    if (!s.initialized) return VORN_PEER_INVALID_CALL;
    if (s.query == INVALID_SOCKET) {
        s.query = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        if (s.query == INVALID_SOCKET) return VORN_PEER_FAILED;
        BOOL on = TRUE;
        setsockopt(s.query, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
        sockaddr_in any = {};
        any.sin_family = AF_INET;
        any.sin_port = htons(uint16_t(devicePort));   // the device's port, when it names one
        if (bind(s.query, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
            closesocket(s.query);
            s.query = INVALID_SOCKET;
            return VORN_PEER_PORT_IN_USE;
        }
        s.Watch(s.query, FD_READ);
    }
    if (!s.StartWorker()) return VORN_PEER_FAILED;
    const uintptr_t h = s.nextHandle++;
    s.enumerations.push_back({h, target, ToWire(desc->application), retryIntervalMs ? retryIntervalMs : VORN_PEER_ENUM_RETRY_MS, 0});
    *handle = h;
    s.Wake();
    return VORN_PEER_OK;
}

VornPeerResult VornPeer::CancelAsyncOperation(uintptr_t handle)
{
    State& s = *state_;
    std::lock_guard<std::recursive_mutex> hold(s.lock);
    if (s.EndSearches(handle, VORN_PEER_CANCELLED) && handle) return VORN_PEER_OK;
    if (handle && handle == s.session.connectHandle) {   // set until the join completes
        s.session.CancelJoin(VORN_PEER_CANCELLED);
        s.Wake();
        return VORN_PEER_OK;
    }
    return handle ? VORN_PEER_INVALID_PARAM : VORN_PEER_OK;
}

VornPeerResult VornPeer::Connect(const VornPeerAppDesc* desc, VornPeerAddress* host, VornPeerAddress* device, uintptr_t* handle)
{
    State& s = *state_;
    if (!desc || !host) return VORN_PEER_INVALID_PARAM;
    std::wstring name, unused;
    uint32_t port = 0, devicePort = 0;
    ReadHostPort(host, &name, &port);
    ReadHostPort(device, &unused, &devicePort);
    char text[256] = {};
    for (size_t i = 0; i < name.size() && i < 255; ++i) text[i] = char(name[i] < 128 ? name[i] : '?');
    const uint32_t ip = inet_addr(text);
    if (name.empty() || ip == INADDR_NONE || port > 0xFFFF || devicePort > 0xFFFF) return VORN_PEER_INVALID_PARAM;
    std::lock_guard<std::recursive_mutex> hold(s.lock);
    if (!s.initialized || s.session.mode != VornPeerSession::Idle) return VORN_PEER_INVALID_CALL;
    // The device a search found the session on: its port becomes this peer's, for TCP and UDP alike,
    // so the search ends and gives the port up (as host after a migration, searches find it there).
    sockaddr_in searching = {};
    int n = sizeof searching;
    if (devicePort && s.query != INVALID_SOCKET && getsockname(s.query, reinterpret_cast<sockaddr*>(&searching), &n) == 0 &&
        ntohs(searching.sin_port) == devicePort) {
        s.EndSearches(0, VORN_PEER_OK);
        closesocket(s.query);
        s.query = INVALID_SOCKET;
    }
    const VornPeerResult bound = s.Bind(uint16_t(devicePort), false);
    if (bound != VORN_PEER_OK || !s.StartWorker()) {
        s.Ended();
        return bound != VORN_PEER_OK ? bound : VORN_PEER_FAILED;
    }
    const uint32_t link = s.Dial(ip, uint16_t(port ? port : VORN_PEER_DEFAULT_PORT));
    if (!link) {
        s.Ended();
        return VORN_PEER_FAILED;
    }
    const uintptr_t h = s.nextHandle++;
    if (handle) *handle = h;
    s.session.Join(link, ip, ToWire(desc->application), ToWire(desc->instance), s.session.listenPort, h, GetTickCount64());
    s.Wake();
    return VORN_PEER_PENDING;
}

VornPeerResult VornPeer::SendTo(uint32_t id, const VornPeerBufferDesc* buffers, uint32_t bufferCount)
{
    State& s = *state_;
    if (bufferCount && !buffers) return VORN_PEER_INVALID_PARAM;
    uint64_t total = 0;
    for (uint32_t i = 0; i < bufferCount; ++i) total += buffers[i].size;
    if (total > VORN_PEER_MAX_PAYLOAD) return VORN_PEER_TOO_LARGE;
    Bytes joined;   // several buffers go as one message
    const uint8_t* payload = bufferCount == 1 ? buffers[0].data : nullptr;
    if (bufferCount > 1) {
        joined.reserve(size_t(total));
        for (uint32_t i = 0; i < bufferCount; ++i)
            if (buffers[i].size) joined.insert(joined.end(), buffers[i].data, buffers[i].data + buffers[i].size);
        payload = joined.data();
    }
    std::lock_guard<std::recursive_mutex> hold(s.lock);
    const size_t before = s.session.events.size();
    const VornPeerResult r = s.session.Send(id, payload, uint32_t(total));
    if (s.session.events.size() != before) s.Wake();
    return r;
}

VornPeerResult VornPeer::GetPeerInfo(uint32_t id, VornPeerPlayerInfo* info, uint32_t* size)
{
    State& s = *state_;
    if (!size) return VORN_PEER_INVALID_PARAM;
    std::lock_guard<std::recursive_mutex> hold(s.lock);
    if (s.session.mode == VornPeerSession::Joining) return VORN_PEER_CONNECTING;
    auto it = s.session.players.find(id);
    if (it == s.session.players.end()) return VORN_PEER_INVALID_PLAYER;
    const uint32_t need = uint32_t(sizeof(VornPeerPlayerInfo) + (it->second.name.size() + 1) * sizeof(wchar_t));
    if (!info || *size < need) {
        *size = need;
        return VORN_PEER_BUFFER_TOO_SMALL;
    }
    auto* name = reinterpret_cast<wchar_t*>(info + 1);
    std::copy(it->second.name.begin(), it->second.name.end(), name);
    name[it->second.name.size()] = 0;
    info->size = sizeof *info;
    info->infoFlags = VORN_PEER_INFO_NAME;
    info->name = name;
    info->data = nullptr;
    info->dataSize = 0;
    info->playerFlags = (id == s.session.localId ? VORN_PEER_PLAYER_LOCAL : 0) | (id == s.session.hostId ? VORN_PEER_PLAYER_HOST : 0);
    *size = need;
    return VORN_PEER_OK;
}

VornPeerResult VornPeer::GetPlayerContext(uint32_t id, void** context)
{
    if (!context) return VORN_PEER_INVALID_PARAM;
    std::lock_guard<std::recursive_mutex> hold(state_->lock);
    auto it = state_->session.players.find(id);
    if (it == state_->session.players.end()) return VORN_PEER_INVALID_PLAYER;
    *context = it->second.context;
    return VORN_PEER_OK;
}

// Received buffers belong to the layer and are freed when the handler returns.
VornPeerResult VornPeer::ReturnBuffer(uintptr_t) { return VORN_PEER_OK; }

VornPeerResult VornPeer::GetLocalHostAddresses(VornPeerAddress** addresses, uint32_t* count)
{
    State& s = *state_;
    if (!count) return VORN_PEER_INVALID_PARAM;
    std::lock_guard<std::recursive_mutex> hold(s.lock);
    if (s.session.mode != VornPeerSession::InSession) return VORN_PEER_NO_CONNECTION;
    const std::vector<uint32_t>& ips = s.localIps;
    if (!addresses || *count < ips.size()) {
        *count = uint32_t(ips.size());
        return VORN_PEER_BUFFER_TOO_SMALL;
    }
    for (size_t i = 0; i < ips.size(); ++i) addresses[i] = MakeAddress(ips[i], s.session.listenPort);
    *count = uint32_t(ips.size());
    return VORN_PEER_OK;
}

VornPeerResult VornPeer::GetPeerAddress(uint32_t id, VornPeerAddress** address)
{
    if (!address) return VORN_PEER_INVALID_PARAM;
    std::lock_guard<std::recursive_mutex> hold(state_->lock);
    const VornPeerSession::Player* p = state_->session.Find(id);
    if (!p || id == state_->session.localId) return VORN_PEER_INVALID_PLAYER;
    *address = MakeAddress(p->ip, p->port);
    return *address ? VORN_PEER_OK : VORN_PEER_FAILED;
}

VornPeerResult VornPeer::Close()
{
    State& s = *state_;
    if (t_handlerOf == &s) return VORN_PEER_INVALID_CALL;
    s.StopWorker();
    {
        std::lock_guard<std::recursive_mutex> hold(s.lock);
        if (s.session.mode == VornPeerSession::InSession) s.session.End();
        s.session.mode = VornPeerSession::Idle;
        s.session.localId = s.session.hostId = 0;
        s.enumerations.clear();
        s.session.connectHandle = 0;
        s.CloseSockets();
        // Only the players' leaving is told now; other news of the closed session is dropped.
        std::deque<Event> leaving;
        for (Event& e : s.session.events)
            if (e.message == VORN_PEER_MSG_DESTROY_PLAYER) leaving.push_back(std::move(e));
        s.session.events.swap(leaving);
    }
    if (s.Deliver()) {   // released inside the handler: the worker is gone, so the state goes here
        delete &s;
        return VORN_PEER_OK;
    }
    std::lock_guard<std::recursive_mutex> hold(s.lock);
    s.session.players.clear();
    s.handler = nullptr;
    s.context = nullptr;
    s.initialized = false;
    return VORN_PEER_OK;
}

// ---------------------------------------------------------------------------------------------
// The lobbied application

VornPeerResult VornPeerLobbiedApplication::Create(VornPeerLobbiedApplication** out)
{
    if (!out) return VORN_PEER_INVALID_PARAM;
    *out = new (std::nothrow) VornPeerLobbiedApplication();
    return *out ? VORN_PEER_OK : VORN_PEER_FAILED;
}

uint32_t VornPeerLobbiedApplication::Release()
{
    const long left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return uint32_t(left);
}

VornPeerResult VornPeerLobbiedApplication::Initialize(void*, VornPeerHandler, uintptr_t* connection)
{
    if (connection) *connection = 0;
    return VORN_PEER_OK;
}

VornPeerResult VornPeerLobbiedApplication::Close() { return VORN_PEER_OK; }
