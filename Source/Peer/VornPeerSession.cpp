#include "VornPeerSession.h"
#include "VornLog.h"
#include <algorithm>
#include <cstdio>
#include <cstring>

using Frame = VornPeerWire::Frame;

namespace {

bool SameGuid(const VornPeerWire::Guid& a, const VornPeerWire::Guid& b) { return std::memcmp(a.bytes, b.bytes, 16) == 0; }
bool IsZero(const VornPeerWire::Guid& g) { return SameGuid(g, VornPeerWire::Guid{}); }

// An address as stored in sin_addr, as dotted text.
void Dotted(uint32_t ip, char* out, size_t outSize)
{
    uint8_t b[4];
    std::memcpy(b, &ip, 4);
    std::snprintf(out, outSize, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
}

}  // namespace

uint32_t VornPeerSession::Limit() const
{
    return desc.maxPlayers && desc.maxPlayers < VORN_PEER_MAX_PLAYERS ? desc.maxPlayers : VORN_PEER_MAX_PLAYERS;
}

uint32_t VornPeerSession::LivePlayers() const
{
    uint32_t n = 0;
    for (const auto& p : players) n += !p.second.gone;
    return n;
}

VornPeerSession::Player* VornPeerSession::Live(uint32_t id)
{
    auto it = players.find(id);
    return it == players.end() || it->second.gone ? nullptr : &it->second;
}

const VornPeerSession::Player* VornPeerSession::Find(uint32_t id) const
{
    auto it = players.find(id);
    return it == players.end() || it->second.gone ? nullptr : &it->second;
}

void VornPeerSession::SetContext(uint32_t id, void* context)
{
    auto it = players.find(id);
    if (it != players.end()) it->second.context = context;
}

void* VornPeerSession::ContextOf(uint32_t id) const
{
    auto it = players.find(id);
    return it == players.end() ? nullptr : it->second.context;
}

void VornPeerSession::Forget(uint32_t id)
{
    auto it = players.find(id);
    if (it != players.end() && it->second.gone) players.erase(it);
}

void VornPeerSession::Push(uint32_t message, uint32_t id)
{
    Event e;
    e.message = message;
    e.id = id;
    events.push_back(std::move(e));
}

void VornPeerSession::Seen(uint64_t id) { nextId = std::max(nextId, id + 1); }

// An id is never given twice in a session: a record stays until its DESTROY_PLAYER is delivered.
bool VornPeerSession::AddPlayer(uint32_t id, const std::u16string& name, uint32_t link, uint32_t ip, uint16_t port)
{
    if (id == 0 || players.count(id)) return false;
    Player& p = players[id];
    p.name = name;
    p.link = link;
    p.ip = ip;
    p.port = port;
    Seen(id);
    Push(VORN_PEER_MSG_CREATE_PLAYER, id);
    return true;
}

void VornPeerSession::WriteFrame(uint32_t link, const Frame& f)
{
    Bytes bytes;
    if (VornPeerWire::Encode(f, &bytes)) io_.Write(link, bytes.data(), bytes.size(), nullptr, 0);
}

// A new session's life begins: no players, ids from 1.
void VornPeerSession::Begin(Mode m, uint16_t port)
{
    players.clear();
    announced_.clear();
    mode = m;
    listenPort = port;
    nextId = 1;
    localId = hostId = 0;
}

void VornPeerSession::Host(const VornPeerWire::SessionDesc& d, uint16_t port)
{
    Begin(InSession, port);
    desc = d;
    localId = hostId = 1;
    AddPlayer(localId, localName, 0, 0, listenPort);
}

void VornPeerSession::Join(uint32_t link, uint32_t ip, const VornPeerWire::Guid& application, const VornPeerWire::Guid& instance,
                           uint16_t port, uintptr_t handle, uint64_t now)
{
    now_ = now;
    Begin(Joining, port);
    connectHandle = handle;
    wantApplication_ = application;
    wantInstance_ = instance;
    Link& l = links_[link];
    l = Link{};
    l.role = ToHost;
    l.ip = ip;
    l.since = now;
    l.deadline = now + WELCOME_MS;
    Frame join;
    join.type = VornPeerWire::JOIN;
    join.application = application;
    join.instance = instance;
    join.port = port;
    join.name = localName;
    WriteFrame(link, join);
}

bool VornPeerSession::Accept(uint32_t link, uint32_t ip, uint64_t now)
{
    now_ = now;
    if (mode != InSession) return false;
    // Strangers cannot crowd players out: the oldest silent link of the address, or failing that of
    // anyone, makes room.
    auto oldestPending = [this](const uint32_t* from) {
        uint32_t oldest = 0;
        uint64_t since = UINT64_MAX;
        size_t count = 0;
        for (const auto& l : links_)
            if (l.second.role == Incoming && (!from || l.second.ip == *from)) {
                ++count;
                if (l.second.since < since) since = l.second.since, oldest = l.first;
            }
        return std::make_pair(oldest, count);
    };
    const auto sameAddress = oldestPending(&ip);
    if (sameAddress.second >= MAX_PENDING_PER_ADDRESS) Drop(sameAddress.first, "too many links not yet identified from one address");
    if (links_.size() >= MAX_LINKS) {
        const uint32_t oldest = oldestPending(nullptr).first;
        if (!oldest) return false;
        Drop(oldest, "too many links not yet identified");
    }
    Link& l = links_[link];
    l = Link{};
    l.ip = ip;
    l.since = now;
    l.deadline = now + IDENTIFY_MS;
    return true;
}

void VornPeerSession::Received(uint32_t linkId, const uint8_t* data, size_t size, uint64_t now)
{
    now_ = now;
    auto it = links_.find(linkId);
    if (it == links_.end()) return;
    if (!size && it->second.in.empty()) return;
    // Whole frames are read where they lie; only a frame cut by the read waits in the link.
    const bool direct = it->second.in.empty();
    if (!direct) {
        it->second.in.insert(it->second.in.end(), data, data + size);
        data = it->second.in.data();
        size = it->second.in.size();
    }
    size_t at = 0;
    for (;;) {
        Link& link = it->second;
        if (link.helloId) break;   // what it sends waits for the host's word on it
        Frame f;
        size_t used = 0;
        const VornPeerWire::Status status = VornPeerWire::Decode(data + at, size - at, &f, &used);
        if (status == VornPeerWire::Status::NeedMore) break;
        if (status == VornPeerWire::Status::Bad) return Drop(linkId, "a frame that is not one");
        if (!OnFrame(linkId, f)) return Drop(linkId, "a frame out of turn");
        if ((it = links_.find(linkId)) == links_.end()) return;
        at += used;
    }
    Bytes& in = it->second.in;
    if (direct) in.assign(data + at, data + size);
    else in.erase(in.begin(), in.begin() + ptrdiff_t(at));
    if (it->second.helloId && in.size() > 2 * (VornPeerWire::HEADER_SIZE + VornPeerWire::MAX_BODY))
        Drop(linkId, "sent too much before it was admitted");
}

bool VornPeerSession::OnFrame(uint32_t linkId, const Frame& f)
{
    using namespace VornPeerWire;
    Link& link = links_[linkId];
    switch (link.role) {
    case Member:
        if (f.type == DATA) {
            Event e;
            e.message = VORN_PEER_MSG_RECEIVE;
            e.id = link.id;
            e.data.assign(f.payload, f.payload + f.payloadSize);
            events.push_back(std::move(e));
            return true;
        }
        // Only the host announces players, and never to itself.
        return f.type == ADMIT && link.id == hostId && localId != hostId && OnAdmit(f);
    case ToHost:
        if (f.type == REFUSE) {
            // A refusal is never a success, whatever code the host puts in it.
            const int32_t result = int32_t(f.result);
            EndJoin(result < 0 && result != VORN_PEER_PENDING ? result : VORN_PEER_FAILED);
            return true;
        }
        return f.type == WELCOME && OnWelcome(linkId, f);
    case Incoming:
        if (mode != InSession) return false;
        if (f.type == JOIN) return OnJoin(linkId, f);
        if (f.type == HELLO) return OnHello(linkId, f);
        return false;
    }
    return false;
}

bool VornPeerSession::OnWelcome(uint32_t linkId, const Frame& f)
{
    if (mode != Joining || f.id == 0 || f.hostId == 0 || f.id == f.hostId || !SameGuid(f.desc.application, wantApplication_) ||
        (!IsZero(wantInstance_) && !SameGuid(f.desc.instance, wantInstance_)))
        return false;
    // The roster is taken whole or not at all: distinct ids, the host in it (and only the host on the
    // link it came by), the joiner not, and no more players than the session allows.
    const uint32_t limit = f.desc.maxPlayers && f.desc.maxPlayers < VORN_PEER_MAX_PLAYERS ? f.desc.maxPlayers : VORN_PEER_MAX_PLAYERS;
    if (f.roster.size() + 1 > limit) return false;
    bool hostListed = false;
    for (size_t i = 0; i < f.roster.size(); ++i) {
        const VornPeerWire::RosterEntry& e = f.roster[i];
        if (e.id == 0 || e.id == f.id || (e.ip == 0) != (e.id == f.hostId)) return false;
        for (size_t k = 0; k < i; ++k)
            if (f.roster[k].id == e.id) return false;
        hostListed |= e.id == f.hostId;
    }
    if (!hostListed) return false;

    Link& link = links_[linkId];
    mode = InSession;
    localId = f.id;
    hostId = f.hostId;
    desc = f.desc;
    nextId = f.nextId ? f.nextId : NO_IDS_LEFT;
    link.role = Member;
    link.id = hostId;
    link.deadline = 0;
    const uint32_t hostIp = link.ip;
    AddPlayer(localId, localName, 0, 0, listenPort);
    Frame hello;
    hello.type = VornPeerWire::HELLO;
    hello.instance = desc.instance;
    hello.id = localId;
    hello.port = listenPort;
    hello.name = localName;
    for (const VornPeerWire::RosterEntry& e : f.roster) {
        if (e.ip == 0) {
            AddPlayer(e.id, e.name, linkId, hostIp, e.port);
            continue;
        }
        const uint32_t to = io_.Dial(e.ip, e.port);
        if (!to) continue;
        Link& l = links_[to];
        l = Link{};
        l.role = Member;
        l.id = e.id;
        l.ip = e.ip;
        l.since = now_;
        AddPlayer(e.id, e.name, to, e.ip, e.port);
        WriteFrame(to, hello);
    }
    Completed(VORN_PEER_OK);
    return true;
}

bool VornPeerSession::OnJoin(uint32_t linkId, const Frame& f)
{
    if (localId != hostId) {
        Refuse(linkId, VORN_PEER_NOT_HOST);
        return true;
    }
    if (!SameGuid(f.application, desc.application) || (!IsZero(f.instance) && !SameGuid(f.instance, desc.instance))) {
        Refuse(linkId, VORN_PEER_INVALID_PARAM);
        return true;
    }
    while (nextId < NO_IDS_LEFT && players.count(uint32_t(nextId))) ++nextId;
    if (LivePlayers() >= Limit() || nextId >= NO_IDS_LEFT) {
        Refuse(linkId, VORN_PEER_SESSION_FULL);
        return true;
    }
    const uint32_t id = uint32_t(nextId++);
    Frame welcome;
    welcome.type = VornPeerWire::WELCOME;
    welcome.id = id;
    welcome.hostId = hostId;
    welcome.nextId = nextId < NO_IDS_LEFT ? uint32_t(nextId) : 0;
    welcome.desc = desc;
    welcome.desc.currentPlayers = LivePlayers();
    Frame admit;
    admit.type = VornPeerWire::ADMIT;
    admit.id = id;
    // The members hear of the joiner before the joiner hears of them.
    for (const auto& p : players) {
        if (p.second.gone) continue;
        if (p.second.link) WriteFrame(p.second.link, admit);
        VornPeerWire::RosterEntry e;
        e.id = p.first;
        e.ip = p.first == localId ? 0 : p.second.ip;
        e.port = p.first == localId ? listenPort : p.second.port;
        e.name = p.second.name;
        welcome.roster.push_back(e);
    }
    Link& link = links_[linkId];
    link.role = Member;
    link.id = id;
    link.deadline = 0;
    AddPlayer(id, f.name, linkId, link.ip, f.port);
    WriteFrame(linkId, welcome);
    return true;
}

bool VornPeerSession::OnHello(uint32_t linkId, const Frame& f)
{
    if (f.id == 0 || players.count(f.id) || !SameGuid(f.instance, desc.instance)) return false;
    for (const auto& l : links_)
        if (l.second.helloId == f.id) return false;
    Link& link = links_[linkId];
    auto announced = std::find(announced_.begin(), announced_.end(), f.id);
    if (announced != announced_.end()) {
        announced_.erase(announced);
        Admit(linkId, f.id, f.name, f.port);
        return true;
    }
    // The host's ADMIT may still be on its way: the link waits for it until its deadline. The host
    // itself announces nobody to itself.
    if (localId == hostId) return false;
    link.helloId = f.id;
    link.helloName = f.name;
    link.helloPort = f.port;
    return true;
}

bool VornPeerSession::OnAdmit(const Frame& f)
{
    if (f.id == 0 || players.count(f.id)) return true;   // nothing to do; the host's word is not doubted
    Seen(f.id);
    for (auto& l : links_)
        if (l.second.role == Incoming && l.second.helloId == f.id) {
            const uint32_t waiting = l.first;
            Admit(waiting, f.id, l.second.helloName, l.second.helloPort);
            Received(waiting, nullptr, 0, now_);   // what it sent while it waited
            return true;
        }
    if (std::find(announced_.begin(), announced_.end(), f.id) == announced_.end()) announced_.push_back(f.id);
    if (announced_.size() > MAX_ANNOUNCED) announced_.pop_front();
    return true;
}

void VornPeerSession::Admit(uint32_t linkId, uint32_t id, const std::u16string& name, uint16_t port)
{
    Link& link = links_[linkId];
    link.role = Member;
    link.id = id;
    link.deadline = 0;
    link.helloId = 0;
    link.helloName.clear();
    AddPlayer(id, name, linkId, link.ip, port);
}

void VornPeerSession::Refuse(uint32_t link, VornPeerResult result)
{
    Frame refuse;
    refuse.type = VornPeerWire::REFUSE;
    refuse.result = uint32_t(result);
    WriteFrame(link, refuse);
    io_.Close(link, true);
    links_.erase(link);
}

void VornPeerSession::Drop(uint32_t link, const char* why)
{
    auto it = links_.find(link);
    if (it == links_.end()) return;
    char from[32];
    Dotted(it->second.ip, from, sizeof from);
    VornLog::StrongBlue("VornPeer::Link");
    VornLog::StrongRed("[ %s ] %s: closed", from, why);
    VornLog::LineBreak();
    io_.Close(link, false);
    OnLinkGone(link);
}

void VornPeerSession::Lost(uint32_t link)
{
    if (links_.count(link)) OnLinkGone(link);
}

// A link is gone: its player leaves, and when it was the host the session migrates or ends.
void VornPeerSession::OnLinkGone(uint32_t linkId)
{
    auto it = links_.find(linkId);
    const Link link = std::move(it->second);
    links_.erase(it);
    if (link.role == ToHost && mode == Joining) return EndJoin(VORN_PEER_NO_CONNECTION);
    Player* p = link.role == Member ? Live(link.id) : nullptr;
    if (!p || p->link != linkId) return;
    p->gone = true;
    p->link = 0;
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
    events.push_back(std::move(end));
    End();
}

void VornPeerSession::Tick(uint64_t now)
{
    now_ = now;
    std::vector<std::pair<uint32_t, bool>> late;
    for (const auto& l : links_)
        if (l.second.deadline && now >= l.second.deadline) late.push_back({l.first, l.second.role == ToHost});
    for (const auto& l : late) Drop(l.first, l.second ? "no answer to the join in time" : "did not say who it is in time");
}

VornPeerResult VornPeerSession::Send(uint32_t id, const uint8_t* data, uint32_t size)
{
    if (size > VORN_PEER_MAX_PAYLOAD) return VORN_PEER_TOO_LARGE;
    if (mode != InSession) return VORN_PEER_NO_CONNECTION;
    if (id && !Live(id)) return VORN_PEER_INVALID_PLAYER;
    uint8_t head[VornPeerWire::HEADER_SIZE];
    VornPeerWire::DataHeader(size, head);
    for (const auto& p : players) {
        if (p.second.gone || (id && p.first != id)) continue;
        if (p.first == localId) {
            Event e;
            e.message = VORN_PEER_MSG_RECEIVE;
            e.id = localId;
            e.data.assign(data, data + size);
            events.push_back(std::move(e));
        } else if (p.second.link) {
            io_.Write(p.second.link, head, sizeof head, data, size);
        }
    }
    return VORN_PEER_OK;
}

void VornPeerSession::CancelJoin(int32_t result)
{
    if (mode == Joining) EndJoin(result);
}

void VornPeerSession::Completed(int32_t result)
{
    Event e;
    e.message = VORN_PEER_MSG_CONNECT_COMPLETE;
    e.handle = connectHandle;
    e.result = result;
    events.push_back(std::move(e));
    connectHandle = 0;
}

void VornPeerSession::EndJoin(int32_t result)
{
    Completed(result);
    mode = Idle;
    for (const auto& l : links_) io_.Close(l.first, false);
    links_.clear();
    io_.Ended();
}

void VornPeerSession::End()
{
    for (auto& q : players)
        if (!q.second.gone && q.first != localId) {
            q.second.gone = true;
            Push(VORN_PEER_MSG_DESTROY_PLAYER, q.first);
        }
    if (Player* self = Live(localId)) {
        self->gone = true;
        Push(VORN_PEER_MSG_DESTROY_PLAYER, localId);
    }
    mode = Idle;
    localId = hostId = 0;
    announced_.clear();
    for (const auto& l : links_) io_.Close(l.first, false);
    links_.clear();
    io_.Ended();
}

VornPeerSession::Bytes VornPeerSession::Answer(uint32_t token, size_t querySize) const
{
    Bytes out;
    if (mode != InSession || localId != hostId) return out;
    Frame a;
    a.type = VornPeerWire::ANSWER;
    a.token = token;
    a.desc = desc;
    a.desc.currentPlayers = LivePlayers();
    VornPeerWire::Encode(a, &out);
    // Never more bytes than the query brought: a long name is cut to fit, a short query gets nothing.
    if (out.size() > querySize) {
        const size_t cut = (out.size() - querySize + 1) / 2;
        out.clear();
        if (cut > a.desc.name.size()) return out;
        a.desc.name.resize(a.desc.name.size() - cut);
        VornPeerWire::Encode(a, &out);
    }
    return out;
}
