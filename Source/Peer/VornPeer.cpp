#include <winsock2.h>
#include <windows.h>
#include <mstcpip.h>
#include "VornPeer.h"
#include "VornPeerWire.h"
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
constexpr size_t MAX_LINKS = 256;   // a full session's links, with room for joiners still being refused

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

// One TCP link: to a player, or a connection that has not said who it is yet.
struct Link
{
    enum Role { Incoming, ToHost, Member };
    SOCKET socket = INVALID_SOCKET;
    Role role = Incoming;
    uint32_t id = 0;          // the player at the other end (0: not yet known)
    bool connecting = false;  // a non-blocking connect not yet finished
    bool closeAfterSend = false;
    bool dead = false;
    uint32_t ip = 0;          // peer address as stored in sin_addr
    Bytes in, out;
    size_t outAt = 0;
};

struct Player
{
    std::u16string name;
    void* context = nullptr;
    Link* link = nullptr;     // null for the local player
    uint32_t ip = 0;
    uint16_t port = 0;        // where it listens
    bool gone = false;        // its DESTROY_PLAYER is on its way
};

struct Event
{
    uint32_t message = 0;
    uint32_t id = 0;
    int32_t result = 0;
    uintptr_t handle = 0;
    Bytes data;
    VornPeerWire::SessionDesc desc;
    uint32_t ip = 0;
    uint16_t port = 0;
    uint16_t devicePort = 0;
    uint32_t roundTrip = 0;
};

struct Enumeration
{
    uintptr_t handle;
    sockaddr_in target;
    VornPeerWire::Guid application;
    uint32_t interval;
    ULONGLONG next;
};

thread_local const VornPeer::State* t_handlerOf = nullptr;

}  // namespace

struct VornPeer::State
{
    enum Mode { Idle, Joining, InSession };

    std::recursive_mutex lock;
    void* context = nullptr;
    VornPeerHandler handler = nullptr;
    bool initialized = false;
    std::thread worker;
    std::atomic<bool> stop{false};

    SOCKET listener = INVALID_SOCKET, udp = INVALID_SOCKET, wake = INVALID_SOCKET, query = INVALID_SOCKET;
    sockaddr_in wakeAddress = {};
    uint16_t listenPort = 0;
    std::vector<uint32_t> localIps;   // where the listener can be reached

    Mode mode = Idle;
    uint32_t localId = 0, hostId = 0, nextId = 1;
    VornPeerWire::SessionDesc desc;
    std::u16string localName;
    std::map<uint32_t, Player> players;
    std::vector<std::unique_ptr<Link>> links;
    std::vector<Enumeration> enumerations;
    uintptr_t connectHandle = 0;
    uintptr_t nextHandle = 1;
    std::deque<Event> events;   // made under the lock, delivered by the worker without it

    ~State() { CloseSockets(); }

    void CloseSockets()
    {
        for (SOCKET* s : {&listener, &udp, &wake, &query})
            if (*s != INVALID_SOCKET) closesocket(*s), *s = INVALID_SOCKET;
        for (auto& link : links)
            if (link->socket != INVALID_SOCKET) closesocket(link->socket), link->socket = INVALID_SOCKET;
        links.clear();
    }

    void Wake()
    {
        if (wake != INVALID_SOCKET && std::this_thread::get_id() != worker.get_id())
            sendto(wake, "w", 1, 0, reinterpret_cast<const sockaddr*>(&wakeAddress), sizeof wakeAddress);
    }

    bool StartWorker()
    {
        if (worker.joinable()) return true;
        wake = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        wakeAddress = {};
        wakeAddress.sin_family = AF_INET;
        wakeAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int n = sizeof wakeAddress;
        if (wake == INVALID_SOCKET || bind(wake, reinterpret_cast<sockaddr*>(&wakeAddress), n) != 0 ||
            getsockname(wake, reinterpret_cast<sockaddr*>(&wakeAddress), &n) != 0) {
            if (wake != INVALID_SOCKET) closesocket(wake);
            wake = INVALID_SOCKET;
            return false;
        }
        NonBlocking(wake);
        stop = false;
        worker = std::thread([this] { Run(); });
        return true;
    }

    void Push(Event e)
    {
        events.push_back(std::move(e));
        Wake();
    }
    void Push(uint32_t message, uint32_t id)
    {
        Event e;
        e.message = message;
        e.id = id;
        Push(std::move(e));
    }

    uint32_t LivePlayers() const
    {
        uint32_t n = 0;
        for (const auto& p : players) n += !p.second.gone;
        return n;
    }

    Player* Find(uint32_t id)
    {
        auto it = players.find(id);
        return it == players.end() || it->second.gone ? nullptr : &it->second;
    }

    void AddPlayer(uint32_t id, const std::u16string& name, Link* link, uint32_t ip, uint16_t port)
    {
        Player& p = players[id];
        p = Player{};
        p.name = name;
        p.link = link;
        p.ip = ip;
        p.port = port;
        nextId = std::max(nextId, id + 1);
        Push(VORN_PEER_MSG_CREATE_PLAYER, id);
    }

    // Queues bytes on a link and sends what the socket takes now; a link that would hold more than
    // the limit is dropped.
    void Queue(Link& link, const Bytes& frame)
    {
        if (link.dead) return;
        if (link.out.size() - link.outAt + frame.size() > VORN_PEER_QUEUE_LIMIT) {
            link.dead = true;
            Wake();
            return;
        }
        link.out.insert(link.out.end(), frame.begin(), frame.end());
        Flush(link);
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
            if (WSAGetLastError() != WSAEWOULDBLOCK) {
                link.dead = true;
                Wake();
            }
            break;
        }
        if (link.outAt == link.out.size()) {
            link.out.clear();
            link.outAt = 0;
            if (link.closeAfterSend) link.dead = true;
        }
    }

    Link* Dial(uint32_t ip, uint16_t port, Link::Role role)
    {
        const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) return nullptr;
        TuneLink(s);
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = ip;
        to.sin_port = htons(port);
        auto link = std::make_unique<Link>();
        link->socket = s;
        link->role = role;
        link->ip = ip;
        link->connecting = true;
        if (connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) link->connecting = false;
        else if (WSAGetLastError() != WSAEWOULDBLOCK) link->dead = true;
        links.push_back(std::move(link));
        return links.back().get();
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
        listenPort = ntohs(at.sin_port);
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
            if (udpRequired) return WSAGetLastError() == WSAEADDRINUSE ? VORN_PEER_PORT_IN_USE : VORN_PEER_FAILED;
            closesocket(udp);
            udp = INVALID_SOCKET;   // a joiner that cannot answer queries once it becomes host
        }
        NonBlocking(listener);
        if (udp != INVALID_SOCKET) NonBlocking(udp);
        return VORN_PEER_OK;
    }

    Wire Welcome(uint32_t joiner) const
    {
        Wire w;
        w.type = VornPeerWire::WELCOME;
        w.id = joiner;
        w.hostId = hostId;
        w.nextId = nextId;
        w.desc = desc;
        w.desc.currentPlayers = LivePlayers();
        for (const auto& p : players) {
            if (p.second.gone || p.first == joiner) continue;
            VornPeerWire::RosterEntry e;
            e.id = p.first;
            e.ip = p.first == localId ? 0 : p.second.ip;
            e.port = p.first == localId ? listenPort : p.second.port;
            e.name = p.second.name;
            w.roster.push_back(e);
        }
        return w;
    }

    void Refuse(Link& link, VornPeerResult result)
    {
        Wire w;
        w.type = VornPeerWire::REFUSE;
        w.result = uint32_t(result);
        Bytes frame;
        VornPeerWire::Encode(w, &frame);
        link.role = Link::Incoming;
        link.closeAfterSend = true;
        Queue(link, frame);
    }

    // One frame from a link; false drops the link.
    bool OnFrame(Link& link, const Wire& f)
    {
        using namespace VornPeerWire;
        if (link.closeAfterSend) return true;
        if (link.role == Link::Member) {
            if (f.type != DATA) return false;
            Event e;
            e.message = VORN_PEER_MSG_RECEIVE;
            e.id = link.id;
            e.data.assign(f.payload, f.payload + f.payloadSize);
            Push(std::move(e));
            return true;
        }
        if (link.role == Link::ToHost) {
            if (f.type == REFUSE) {
                EndJoin(int32_t(f.result));
                return true;
            }
            if (f.type != WELCOME || f.id == 0 || f.hostId == 0 || f.id == f.hostId || mode != Joining) return false;
            for (const RosterEntry& e : f.roster)
                if (e.id == 0 || e.id == f.id) return false;
            mode = InSession;
            localId = f.id;
            hostId = f.hostId;
            desc = f.desc;
            link.role = Link::Member;
            link.id = f.hostId;
            AddPlayer(localId, localName, nullptr, 0, listenPort);
            Wire hello;
            hello.type = HELLO;
            hello.instance = desc.instance;
            hello.id = localId;
            hello.port = listenPort;
            hello.name = localName;
            Bytes helloFrame;
            Encode(hello, &helloFrame);
            for (const RosterEntry& e : f.roster) {
                if (e.ip == 0) {
                    AddPlayer(e.id, e.name, &link, link.ip, e.port);
                    continue;
                }
                Link* to = Dial(e.ip, e.port, Link::Member);
                if (!to) continue;
                to->id = e.id;
                AddPlayer(e.id, e.name, to, e.ip, e.port);
                Queue(*to, helloFrame);
            }
            nextId = std::max(nextId, f.nextId);
            Event done;
            done.message = VORN_PEER_MSG_CONNECT_COMPLETE;
            done.handle = connectHandle;
            done.result = VORN_PEER_OK;
            Push(std::move(done));
            connectHandle = 0;
            return true;
        }
        // Incoming: a joiner (to the host) or a joiner linking to a member.
        if (mode != InSession) return false;
        if (f.type == JOIN) {
            if (localId != hostId) {
                Refuse(link, VORN_PEER_NOT_HOST);
                return true;
            }
            if (std::memcmp(&f.application, &desc.application, 16) != 0 ||
                (!IsZero(f.instance) && std::memcmp(&f.instance, &desc.instance, 16) != 0)) {
                Refuse(link, VORN_PEER_INVALID_PARAM);
                return true;
            }
            const uint32_t limit = desc.maxPlayers && desc.maxPlayers < VORN_PEER_MAX_PLAYERS ? desc.maxPlayers : VORN_PEER_MAX_PLAYERS;
            if (LivePlayers() >= limit) {
                Refuse(link, VORN_PEER_SESSION_FULL);
                return true;
            }
            const uint32_t id = nextId;
            Bytes frame;
            Encode(Welcome(id), &frame);
            link.role = Link::Member;
            link.id = id;
            AddPlayer(id, f.name, &link, link.ip, f.port);
            Queue(link, frame);
            return true;
        }
        if (f.type != HELLO || f.id == 0 || players.count(f.id) || std::memcmp(&f.instance, &desc.instance, 16) != 0)
            return false;
        link.role = Link::Member;
        link.id = f.id;
        AddPlayer(f.id, f.name, &link, link.ip, f.port);
        return true;
    }

    void EndJoin(int32_t result)
    {
        Event e;
        e.message = VORN_PEER_MSG_CONNECT_COMPLETE;
        e.handle = connectHandle;
        e.result = result;
        Push(std::move(e));
        connectHandle = 0;
        mode = Idle;
        for (auto& link : links) link->dead = true;
        for (SOCKET* s : {&listener, &udp})
            if (*s != INVALID_SOCKET) closesocket(*s), *s = INVALID_SOCKET;
    }

    // A link closed or broke: its player leaves, and when it was the host the session migrates or ends.
    void OnLinkLost(Link& link)
    {
        if (link.role == Link::ToHost && mode == Joining) {
            EndJoin(VORN_PEER_NO_CONNECTION);
            return;
        }
        Player* p = link.role == Link::Member ? Find(link.id) : nullptr;
        if (!p || p->link != &link) return;
        p->gone = true;
        p->link = nullptr;
        Push(VORN_PEER_MSG_DESTROY_PLAYER, link.id);
        if (link.id != hostId) return;
        if (desc.flags & VORN_PEER_SESSION_MIGRATE_HOST) {
            for (const auto& q : players)
                if (!q.second.gone) {
                    hostId = q.first;
                    break;
                }
            Push(VORN_PEER_MSG_HOST_MIGRATE, hostId);
            return;
        }
        Event end;
        end.message = VORN_PEER_MSG_TERMINATE_SESSION;
        end.result = VORN_PEER_NO_CONNECTION;
        Push(std::move(end));
        EndSession();
    }

    // Every remaining player leaves (the local one last) and the sockets close.
    void EndSession()
    {
        for (auto& q : players)
            if (!q.second.gone && q.first != localId) {
                q.second.gone = true;
                Push(VORN_PEER_MSG_DESTROY_PLAYER, q.first);
            }
        if (Player* self = Find(localId)) {
            self->gone = true;
            Push(VORN_PEER_MSG_DESTROY_PLAYER, localId);
        }
        mode = Idle;
        localId = hostId = 0;
        for (auto& link : links) link->dead = true;
        for (SOCKET* s : {&listener, &udp})
            if (*s != INVALID_SOCKET) closesocket(*s), *s = INVALID_SOCKET;
    }

    void ReadLink(Link& link)
    {
        char buffer[16384];
        const int n = recv(link.socket, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) {
            link.dead = true;
            return;
        }
        if (n < 0) return;
        link.in.insert(link.in.end(), buffer, buffer + n);
        size_t at = 0;
        while (!link.dead) {
            Wire f;
            size_t used = 0;
            const VornPeerWire::Status status = VornPeerWire::Decode(link.in.data() + at, link.in.size() - at, &f, &used);
            if (status == VornPeerWire::Status::NeedMore) break;
            if (status == VornPeerWire::Status::Bad || !OnFrame(link, f)) {
                link.dead = true;
                break;
            }
            at += used;
        }
        link.in.erase(link.in.begin(), link.in.begin() + ptrdiff_t(std::min(at, link.in.size())));
    }

    void ReadQueries()
    {
        uint8_t buffer[2048];
        for (;;) {
            sockaddr_in from = {};
            int n = sizeof from;
            const int size = recvfrom(udp, reinterpret_cast<char*>(buffer), sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &n);
            if (size < 0) return;
            Wire q;
            if (!VornPeerWire::DecodeDatagram(buffer, size_t(size), &q) || q.type != VornPeerWire::QUERY) continue;
            if (mode != InSession || localId != hostId) continue;
            if (!IsZero(q.application) && std::memcmp(&q.application, &desc.application, 16) != 0) continue;
            Wire a;
            a.type = VornPeerWire::ANSWER;
            a.token = q.token;
            a.desc = desc;
            a.desc.currentPlayers = LivePlayers();
            Bytes d;
            VornPeerWire::Encode(a, &d);
            sendto(udp, reinterpret_cast<const char*>(d.data()), int(d.size()), 0, reinterpret_cast<const sockaddr*>(&from), n);
        }
    }

    void ReadAnswers()
    {
        uint8_t buffer[2048];
        for (;;) {
            sockaddr_in from = {};
            int n = sizeof from;
            const int size = recvfrom(query, reinterpret_cast<char*>(buffer), sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &n);
            if (size < 0) return;
            Wire a;
            if (!VornPeerWire::DecodeDatagram(buffer, size_t(size), &a) || a.type != VornPeerWire::ANSWER) continue;
            for (const Enumeration& e : enumerations) {
                if (!IsZero(e.application) && std::memcmp(&e.application, &a.desc.application, 16) != 0) continue;
                // A search of one host takes answers from that host only (a late answer to a
                // cancelled search is not the next search's).
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
            Bytes d;
            VornPeerWire::Encode(q, &d);
            sendto(query, reinterpret_cast<const char*>(d.data()), int(d.size()), 0, reinterpret_cast<const sockaddr*>(&e.target), sizeof e.target);
        }
    }

    // One turn of the worker: wait for the sockets, then serve them, all under the lock.
    void Turn()
    {
        std::vector<WSAPOLLFD> polled;
        std::vector<Link*> polledLinks;   // the links behind polled[ownCount...]
        size_t ownCount = 0;
        int waitMs = POLL_WAIT_MS;
        {
            std::lock_guard<std::recursive_mutex> hold(lock);
            for (SOCKET s : {wake, listener, udp, query})
                if (s != INVALID_SOCKET) polled.push_back({s, POLLRDNORM, 0}), ++ownCount;
            for (auto& link : links) {
                if (link->dead) continue;
                const bool writing = link->connecting || link->outAt < link->out.size();
                polled.push_back({link->socket, SHORT(POLLRDNORM | (writing ? POLLWRNORM : 0)), 0});
                polledLinks.push_back(link.get());
            }
            const ULONGLONG now = GetTickCount64();
            for (const Enumeration& e : enumerations)
                waitMs = int(std::min<ULONGLONG>(ULONGLONG(waitMs), e.next > now ? e.next - now : 0));
            if (!events.empty()) waitMs = 0;
        }
        WSAPoll(polled.data(), ULONG(polled.size()), waitMs);
        // Whether one of the peer's own sockets (as it was when polled, and still open) has news.
        auto ready = [&](const SOCKET& s) {
            for (size_t i = 0; i < ownCount; ++i)
                if (polled[i].fd == s) return polled[i].revents != 0;
            return false;
        };

        std::lock_guard<std::recursive_mutex> hold(lock);
        if (ready(wake)) {
            char drain[64];
            while (recv(wake, drain, sizeof drain, 0) > 0) {
            }
        }
        if (ready(listener)) {
            for (;;) {
                sockaddr_in from = {};
                int n = sizeof from;
                const SOCKET s = accept(listener, reinterpret_cast<sockaddr*>(&from), &n);
                if (s == INVALID_SOCKET) break;
                if (links.size() >= MAX_LINKS) {   // more than a full session: refused unheard
                    closesocket(s);
                    continue;
                }
                TuneLink(s);
                auto link = std::make_unique<Link>();
                link->socket = s;
                link->ip = from.sin_addr.s_addr;
                links.push_back(std::move(link));
            }
        }
        if (ready(udp)) ReadQueries();
        if (ready(query)) ReadAnswers();
        if (query != INVALID_SOCKET) SendQueries(GetTickCount64());
        for (size_t i = 0; i < polledLinks.size(); ++i) {
            Link& link = *polledLinks[i];   // links made during this turn come after these
            const SHORT got = polled[ownCount + i].revents;
            if (link.dead) continue;
            if (link.connecting && (got & (POLLERR | POLLHUP))) link.dead = true;
            else if (link.connecting && (got & POLLWRNORM)) link.connecting = false;
            if (!link.dead && !link.connecting && (got & (POLLRDNORM | POLLHUP | POLLERR))) ReadLink(link);
            if (!link.dead) Flush(link);
        }
        for (size_t i = 0; i < links.size(); ++i) {
            if (!links[i]->dead) continue;
            OnLinkLost(*links[i]);
            closesocket(links[i]->socket);
            links.erase(links.begin() + ptrdiff_t(i--));
        }
    }

    void Run()
    {
        while (!stop) {
            Turn();
            Deliver();
        }
        Deliver();
    }

    // Calls the handler for every waiting event, holding no lock.
    void Deliver()
    {
        for (;;) {
            Event e;
            VornPeerHandler call;
            void* ctx;
            {
                std::lock_guard<std::recursive_mutex> hold(lock);
                if (events.empty() || !handler) return;
                e = std::move(events.front());
                events.pop_front();
                call = handler;
                ctx = context;
            }
            Call(call, ctx, e);
        }
    }

    void* ContextOf(uint32_t id)
    {
        std::lock_guard<std::recursive_mutex> hold(lock);
        auto it = players.find(id);
        return it == players.end() ? nullptr : it->second.context;
    }

    void Call(VornPeerHandler call, void* ctx, Event& e)
    {
        const VornPeer::State* outer = t_handlerOf;
        t_handlerOf = this;
        switch (e.message) {
        case VORN_PEER_MSG_CREATE_PLAYER: {
            VornPeerMsgCreatePlayer m = {sizeof m, e.id, nullptr};
            call(ctx, e.message, &m);
            std::lock_guard<std::recursive_mutex> hold(lock);
            auto it = players.find(e.id);
            if (it != players.end()) it->second.context = m.playerContext;
            break;
        }
        case VORN_PEER_MSG_DESTROY_PLAYER: {
            VornPeerMsgDestroyPlayer m = {sizeof m, e.id, ContextOf(e.id)};
            call(ctx, e.message, &m);
            std::lock_guard<std::recursive_mutex> hold(lock);
            auto it = players.find(e.id);
            if (it != players.end() && it->second.gone) players.erase(it);
            break;
        }
        case VORN_PEER_MSG_RECEIVE: {
            VornPeerMsgReceive m = {sizeof m, e.id, ContextOf(e.id), e.data.data(), uint32_t(e.data.size()), 0};
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
            VornPeerMsgEnumHostsResponse m = {sizeof m, &d, sender, device, e.roundTrip};
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
    if (left == 0) {
        Close();
        delete state_;
        delete this;
    }
    return uint32_t(left);
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
    state_->localName = ToU16(info->name);
    return VORN_PEER_OK;
}

VornPeerResult VornPeer::Host(const VornPeerAppDesc* desc, VornPeerAddress* const* devices, uint32_t deviceCount)
{
    State& s = *state_;
    if (!desc || (deviceCount && !devices)) return VORN_PEER_INVALID_PARAM;
    VornPeerHandler call;
    void* ctx;
    {
        std::lock_guard<std::recursive_mutex> hold(s.lock);
        if (!s.initialized || s.mode != State::Idle) return VORN_PEER_INVALID_CALL;
        std::wstring host;
        uint32_t port = 0;
        ReadHostPort(deviceCount ? devices[0] : nullptr, &host, &port);
        if (port > 0xFFFF) return VORN_PEER_INVALID_PARAM;
        const VornPeerResult bound = s.Bind(port ? uint16_t(port) : VORN_PEER_DEFAULT_PORT, true);
        if (bound != VORN_PEER_OK || !s.StartWorker()) {
            for (SOCKET* sk : {&s.listener, &s.udp})
                if (*sk != INVALID_SOCKET) closesocket(*sk), *sk = INVALID_SOCKET;
            return bound != VORN_PEER_OK ? bound : VORN_PEER_FAILED;
        }
        std::random_device random;
        VornPeerGuid instance;
        for (uint32_t* word = reinterpret_cast<uint32_t*>(&instance); word < reinterpret_cast<uint32_t*>(&instance + 1); ++word)
            *word = random() ^ uint32_t(GetTickCount64() * 2654435761u);
        s.desc = VornPeerWire::SessionDesc{};
        s.desc.instance = ToWire(instance);
        s.desc.application = ToWire(desc->application);
        s.desc.flags = desc->flags;
        s.desc.maxPlayers = desc->maxPlayers;
        s.desc.name = ToU16(desc->sessionName);
        s.mode = State::InSession;
        s.localId = s.hostId = s.nextId;
        s.players.clear();
        s.AddPlayer(s.localId, s.localName, nullptr, 0, s.listenPort);
        s.events.pop_back();   // delivered here, before Host returns
        call = s.handler;
        ctx = s.context;
    }
    Event created;
    created.message = VORN_PEER_MSG_CREATE_PLAYER;
    created.id = s.localId;
    s.Call(call, ctx, created);
    return VORN_PEER_OK;
}

VornPeerResult VornPeer::EnumHosts(const VornPeerAppDesc* desc, VornPeerAddress* host, VornPeerAddress*,
                                   uint32_t retryIntervalMs, uintptr_t* handle)
{
    State& s = *state_;
    if (!desc || !handle) return VORN_PEER_INVALID_PARAM;
    std::wstring name;
    uint32_t port = 0;
    ReadHostPort(host, &name, &port);
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
        bind(s.query, reinterpret_cast<const sockaddr*>(&any), sizeof any);
        NonBlocking(s.query);
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
    for (size_t i = 0; i < s.enumerations.size(); ++i) {
        if (handle && s.enumerations[i].handle != handle) continue;
        Event e;
        e.message = VORN_PEER_MSG_ASYNC_OP_COMPLETE;
        e.handle = s.enumerations[i].handle;
        e.result = VORN_PEER_CANCELLED;
        s.Push(std::move(e));
        s.enumerations.erase(s.enumerations.begin() + ptrdiff_t(i--));
        if (handle) return VORN_PEER_OK;
    }
    if (handle && handle == s.connectHandle && s.mode == State::Joining) {
        s.EndJoin(VORN_PEER_CANCELLED);
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
    if (!s.initialized || s.mode != State::Idle) return VORN_PEER_INVALID_CALL;
    const VornPeerResult bound = s.Bind(uint16_t(devicePort), false);
    if (bound != VORN_PEER_OK || !s.StartWorker()) {
        for (SOCKET* sk : {&s.listener, &s.udp})
            if (*sk != INVALID_SOCKET) closesocket(*sk), *sk = INVALID_SOCKET;
        return bound != VORN_PEER_OK ? bound : VORN_PEER_FAILED;
    }
    Link* link = s.Dial(ip, uint16_t(port ? port : VORN_PEER_DEFAULT_PORT), Link::ToHost);
    if (!link) return VORN_PEER_FAILED;
    s.mode = State::Joining;
    s.players.clear();
    s.connectHandle = s.nextHandle++;
    if (handle) *handle = s.connectHandle;
    Wire join;
    join.type = VornPeerWire::JOIN;
    join.application = ToWire(desc->application);
    join.instance = ToWire(desc->instance);
    join.port = s.listenPort;
    join.name = s.localName;
    Bytes frame;
    VornPeerWire::Encode(join, &frame);
    s.Queue(*link, frame);
    s.Wake();
    return VORN_PEER_PENDING;
}

VornPeerResult VornPeer::SendTo(uint32_t id, const VornPeerBufferDesc* buffers, uint32_t bufferCount)
{
    State& s = *state_;
    uint64_t total = 0;
    for (uint32_t i = 0; i < bufferCount; ++i) total += buffers[i].size;
    if (total > VORN_PEER_MAX_PAYLOAD) return VORN_PEER_TOO_LARGE;
    Bytes payload;
    payload.reserve(size_t(total));
    for (uint32_t i = 0; i < bufferCount; ++i)
        if (buffers[i].size) payload.insert(payload.end(), buffers[i].data, buffers[i].data + buffers[i].size);
    Bytes frame;
    VornPeerWire::EncodeData(payload.data(), uint32_t(payload.size()), &frame);
    std::lock_guard<std::recursive_mutex> hold(s.lock);
    if (s.mode != State::InSession) return VORN_PEER_NO_CONNECTION;
    if (id && !s.Find(id)) return VORN_PEER_INVALID_PLAYER;
    for (auto& p : s.players) {
        if (p.second.gone || (id && p.first != id)) continue;
        if (p.first == s.localId) {
            Event e;
            e.message = VORN_PEER_MSG_RECEIVE;
            e.id = s.localId;
            e.data = payload;
            s.Push(std::move(e));
        } else if (p.second.link) {
            s.Queue(*p.second.link, frame);
        }
    }
    return VORN_PEER_OK;
}

VornPeerResult VornPeer::GetPeerInfo(uint32_t id, VornPeerPlayerInfo* info, uint32_t* size)
{
    State& s = *state_;
    if (!size) return VORN_PEER_INVALID_PARAM;
    std::lock_guard<std::recursive_mutex> hold(s.lock);
    if (s.mode == State::Joining) return VORN_PEER_CONNECTING;
    auto it = s.players.find(id);
    if (it == s.players.end()) return VORN_PEER_INVALID_PLAYER;
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
    info->playerFlags = (id == s.localId ? VORN_PEER_PLAYER_LOCAL : 0) | (id == s.hostId ? VORN_PEER_PLAYER_HOST : 0);
    *size = need;
    return VORN_PEER_OK;
}

VornPeerResult VornPeer::GetPlayerContext(uint32_t id, void** context)
{
    if (!context) return VORN_PEER_INVALID_PARAM;
    std::lock_guard<std::recursive_mutex> hold(state_->lock);
    auto it = state_->players.find(id);
    if (it == state_->players.end()) return VORN_PEER_INVALID_PLAYER;
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
    if (s.mode != State::InSession) return VORN_PEER_NO_CONNECTION;
    const std::vector<uint32_t>& ips = s.localIps;
    if (!addresses || *count < ips.size()) {
        *count = uint32_t(ips.size());
        return VORN_PEER_BUFFER_TOO_SMALL;
    }
    for (size_t i = 0; i < ips.size(); ++i) addresses[i] = MakeAddress(ips[i], s.listenPort);
    *count = uint32_t(ips.size());
    return VORN_PEER_OK;
}

VornPeerResult VornPeer::GetPeerAddress(uint32_t id, VornPeerAddress** address)
{
    if (!address) return VORN_PEER_INVALID_PARAM;
    std::lock_guard<std::recursive_mutex> hold(state_->lock);
    const Player* p = state_->Find(id);
    if (!p || id == state_->localId) return VORN_PEER_INVALID_PLAYER;
    *address = MakeAddress(p->ip, p->port);
    return *address ? VORN_PEER_OK : VORN_PEER_FAILED;
}

VornPeerResult VornPeer::Close()
{
    State& s = *state_;
    if (t_handlerOf == &s) return VORN_PEER_INVALID_CALL;
    s.StopWorker();
    VornPeerHandler call;
    void* ctx;
    {
        std::lock_guard<std::recursive_mutex> hold(s.lock);
        if (s.mode == State::InSession) s.EndSession();
        s.mode = State::Idle;
        s.localId = s.hostId = 0;
        s.enumerations.clear();
        s.connectHandle = 0;
        s.CloseSockets();
        // Only the players' leaving is told now; other news of the closed session is dropped.
        std::deque<Event> leaving;
        for (Event& e : s.events)
            if (e.message == VORN_PEER_MSG_DESTROY_PLAYER) leaving.push_back(std::move(e));
        s.events.swap(leaving);
        call = s.handler;
        ctx = s.context;
    }
    for (;;) {
        Event e;
        {
            std::lock_guard<std::recursive_mutex> hold(s.lock);
            if (s.events.empty()) break;
            e = std::move(s.events.front());
            s.events.pop_front();
        }
        if (call) s.Call(call, ctx, e);
    }
    std::lock_guard<std::recursive_mutex> hold(s.lock);
    s.players.clear();
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
