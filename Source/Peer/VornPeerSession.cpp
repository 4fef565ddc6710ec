#include "VornPeerSession.h"
#include "VornLog.h"
#include <algorithm>
#include <cstdio>
#include <cstring>

using Frame = VornPeerWire::Frame;

namespace {

bool SameGuid(const VornPeerWire::Guid& a, const VornPeerWire::Guid& b) { return std::memcmp(a.bytes, b.bytes, 16) == 0; }
bool IsZero(const VornPeerWire::Guid& g) { return SameGuid(g, VornPeerWire::Guid{}); }

// Tokens are compared in a time that does not tell how many bytes matched.
bool SameToken(const VornPeerWire::Guid& a, const VornPeerWire::Guid& b)
{
    uint8_t differ = 0;
    for (size_t i = 0; i < 16; ++i) differ |= uint8_t(a.bytes[i] ^ b.bytes[i]);
    return differ == 0;
}

void LogLine(const char* operation, const char* format, uint32_t a, const char* b)
{
    VornLog::StrongBlue("%s", operation);
    VornLog::StrongRed(format, a, b);
    VornLog::LineBreak();
}

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

uint32_t VornPeerSession::LinkOf(uint32_t id) const
{
    const Player* p = Find(id);
    return p ? p->link : 0;
}

// A frame of one u32 (GREET and READY: none) to the player's link.
void VornPeerSession::WriteTo(uint32_t id, VornPeerWire::Type type, uint32_t value)
{
    Frame f;
    f.type = type;
    f.id = f.nextId = value;
    if (const uint32_t link = LinkOf(id)) WriteFrame(link, f);
}

// A new session's life begins: no players, ids from 1.
void VornPeerSession::Begin(Mode m, uint16_t port)
{
    players.clear();
    announced_.clear();
    reports_.clear();
    unconfirmed_.clear();
    meshing_ = false;
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
        if (link.helloId || link.parked) break;   // what it sends waits for the host's word on it
        Frame f;
        size_t used = 0;
        const VornPeerWire::Status status = VornPeerWire::Decode(data + at, size - at, &f, &used);
        if (status == VornPeerWire::Status::NeedMore) break;
        if (status == VornPeerWire::Status::OtherVersion) return OtherVersion(linkId, data[at + 2]);
        if (status == VornPeerWire::Status::Bad) return Drop(linkId, "a frame that is not one");
        if (f.type == VornPeerWire::JOIN && link.role == Incoming && Settling()) {
            link.parked = true;   // read again once this new host knows the next id
            break;
        }
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
        return OnMember(link, f);
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

bool VornPeerSession::OnMember(Link& link, const Frame& f)
{
    using namespace VornPeerWire;
    const bool fromHost = link.id == hostId && localId != hostId, hosting = localId == hostId;
    switch (f.type) {
    case DATA: {
        Event e;
        e.message = VORN_PEER_MSG_RECEIVE;
        e.id = link.id;
        e.data.assign(f.payload, f.payload + f.payloadSize);
        events.push_back(std::move(e));
        return true;
    }
    case GREET:
    case READY:
        if (link.owes != f.type || (f.type == READY) != hosting) return false;
        link.owes = TYPE_END;
        link.deadline = 0;
        if (f.type == GREET) MeshDone();
        return true;
    case ADMIT:   // only the host announces players and puts them out, and never to itself
        return fromHost && OnAdmit(f);
    case GONE:
        return fromHost && OnGone(f.id);
    case LOST:
        if (!hosting) return false;
        if (f.id != localId && Find(f.id) && reports_.size() < MAX_LINKS) reports_.push_back({link.id, f.id, now_ + SETTLE_MS});
        return true;
    case HOST:
        return OnHost(link.id, f.hostId, f.nextId);
    default:
        return false;
    }
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
    meshing_ = true;
    bool reached = true;
    for (const VornPeerWire::RosterEntry& e : f.roster) {
        if (e.ip == 0) {
            AddPlayer(e.id, e.name, linkId, hostIp, e.port);
            continue;
        }
        const uint32_t to = io_.Dial(e.ip, e.port);
        if (!(reached = to != 0)) break;
        Link& l = links_[to];
        l = Link{};
        l.role = Member;
        l.id = e.id;
        l.ip = e.ip;
        l.since = now_;
        l.owes = VornPeerWire::GREET;
        l.deadline = now_ + WELCOME_MS;
        AddPlayer(e.id, e.name, to, e.ip, e.port);
        hello.admission = e.admission;
        WriteFrame(to, hello);
    }
    if (reached) MeshDone();
    else FailJoin("a player it lists could not be reached");
    return true;
}

// The joiner's members have all taken its HELLO: the host hears so, and the join completes.
void VornPeerSession::MeshDone()
{
    if (!meshing_) return;
    for (const auto& l : links_)
        if (l.second.owes == VornPeerWire::GREET) return;
    meshing_ = false;
    WriteTo(hostId, VornPeerWire::READY, 0);
    Completed(VORN_PEER_OK);
}

void VornPeerSession::FailJoin(const char* why)
{
    LogLine("VornPeer::Connect", "[ %u ] %s: the join fails", localId, why);
    meshing_ = false;
    End();
    Completed(VORN_PEER_NO_CONNECTION);
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
    // The members hear of the joiner, each with its own token, before the joiner hears of them.
    for (const auto& p : players) {
        if (p.second.gone) continue;
        VornPeerWire::RosterEntry e;
        if (p.second.link) {
            io_.Random(e.admission.bytes, sizeof e.admission.bytes);
            admit.admission = e.admission;
            WriteFrame(p.second.link, admit);
        }
        e.id = p.first;
        e.ip = p.first == localId ? 0 : p.second.ip;
        e.port = p.first == localId ? listenPort : p.second.port;
        e.name = p.second.name;
        welcome.roster.push_back(e);
    }
    Link& link = links_[linkId];
    link.role = Member;
    link.id = id;
    link.owes = VornPeerWire::READY;
    link.deadline = now_ + READY_MS;
    AddPlayer(id, f.name, linkId, link.ip, f.port);
    WriteFrame(linkId, welcome);
    return true;
}

// A HELLO with a wrong token closes only its own link: the joiner's own HELLO still finds the
// host's announcement, or waits beside it for the ADMIT.
bool VornPeerSession::OnHello(uint32_t linkId, const Frame& f)
{
    // The host itself announces nobody to itself.
    if (f.id == 0 || players.count(f.id) || !SameGuid(f.instance, desc.instance) || localId == hostId) return false;
    Link& link = links_[linkId];
    auto announced = std::find_if(announced_.begin(), announced_.end(), [&f](const auto& a) { return a.first == f.id; });
    if (announced != announced_.end()) {
        if (!SameToken(announced->second, f.admission)) return false;
        announced_.erase(announced);
        Admit(linkId, f.id, f.name, f.port);
        return true;
    }
    // The host's ADMIT may still be on its way: the link waits for it until its deadline.
    link.helloId = f.id;
    link.helloToken = f.admission;
    link.helloName = f.name;
    link.helloPort = f.port;
    return true;
}

bool VornPeerSession::OnAdmit(const Frame& f)
{
    if (f.id == 0 || players.count(f.id)) return true;   // nothing to do; the host's word is not doubted
    Seen(f.id);
    uint32_t waiting = 0;
    std::vector<uint32_t> wrong;
    for (const auto& l : links_) {
        if (l.second.role != Incoming || l.second.helloId != f.id) continue;
        if (!waiting && SameToken(l.second.helloToken, f.admission)) waiting = l.first;
        else wrong.push_back(l.first);
    }
    for (uint32_t w : wrong) Drop(w, "a HELLO without the token the host gave");
    if (waiting) {
        Admit(waiting, f.id, links_[waiting].helloName, links_[waiting].helloPort);
        Received(waiting, nullptr, 0, now_);   // what it sent while it waited
        return true;
    }
    announced_.erase(std::remove_if(announced_.begin(), announced_.end(), [&f](const auto& a) { return a.first == f.id; }),
                     announced_.end());
    announced_.push_back({f.id, f.admission});
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
    AddPlayer(id, name, linkId, link.ip, port);   // name may be the link's own: cleared after
    link.helloName.clear();
    WriteTo(id, VornPeerWire::GREET, 0);
}

// The host put a player out of the session: this peer lets it go too, or ends when it is the one.
bool VornPeerSession::OnGone(uint32_t id)
{
    if (id == localId) {
        if (meshing_) {
            FailJoin("the host put it out");
            return true;
        }
        LogLine("VornPeer::Session", "[ %u ] %s: the session ends", id, "the host put this player out");
        Terminate();
        return true;
    }
    announced_.erase(std::remove_if(announced_.begin(), announced_.end(), [id](const auto& a) { return a.first == id; }),
                     announced_.end());
    if (const uint32_t link = LinkOf(id)) {
        io_.Close(link, false);
        OnLinkGone(link, false);
    }
    return true;
}

void VornPeerSession::WriteHost(uint32_t to)
{
    Frame f;
    f.type = VornPeerWire::HOST;
    f.hostId = hostId;
    f.nextId = nextId < NO_IDS_LEFT ? uint32_t(nextId) : 0;
    if (const uint32_t link = LinkOf(to)) WriteFrame(link, f);
}

// A peer names the host it took after the host left, with the next id it knows.
bool VornPeerSession::OnHost(uint32_t from, uint32_t named, uint32_t next)
{
    if (named == 0) return false;
    if (named == hostId) {   // agreed: a new host learns the ids given that it did not hear of
        const auto unconfirmed = std::find(unconfirmed_.begin(), unconfirmed_.end(), from);
        if (unconfirmed == unconfirmed_.end()) return true;
        nextId = std::max<uint64_t>(nextId, next ? next : NO_IDS_LEFT);
        unconfirmed_.erase(unconfirmed);
        if (unconfirmed_.empty()) Resume();
        return true;
    }
    // Only just after its own migration does a peer compare (one that has not yet seen the host go
    // waits for its own link to say so).
    if (now_ >= settleUntil_) return true;
    if (named > hostId) {   // it hears of the lower one this peer names
        WriteHost(from);
        return true;
    }
    if (!Find(named)) {
        LogLine("VornPeer::Session", "[ %u ] %s: the session ends", named, "the host the other players name cannot be reached");
        Terminate();
        return true;
    }
    hostId = named;
    nextId = std::max<uint64_t>(nextId, next ? next : NO_IDS_LEFT);
    Push(VORN_PEER_MSG_HOST_MIGRATE, named);
    WriteHost(named);
    Resume();   // JOINs that waited here hear that this peer does not host
    return true;
}

// The JOINs that waited for this new host to know the next id are read.
void VornPeerSession::Resume()
{
    unconfirmed_.clear();
    std::vector<uint32_t> parked;
    for (auto& l : links_)
        if (l.second.parked) parked.push_back(l.first), l.second.parked = false;
    for (uint32_t l : parked) Received(l, nullptr, 0, now_);
}

// A link of another version: a joiner of another build hears why in its own version's header.
void VornPeerSession::OtherVersion(uint32_t linkId, uint8_t version)
{
    Link& link = links_[linkId];
    if (link.role == ToHost && mode == Joining) {
        LogLine("VornPeer::Connect", "[ %u ] %s: the join fails", version, "the host speaks another wire version");
        return EndJoin(VORN_PEER_INVALID_VERSION);
    }
    if (link.role != Incoming) return Drop(linkId, "a frame of another wire version");
    char from[32];
    Dotted(link.ip, from, sizeof from);
    VornLog::StrongBlue("VornPeer::Link");
    VornLog::StrongRed("[ %s ] a peer of wire version %u: refused", from, unsigned(version));
    VornLog::LineBreak();
    Frame refuse;
    refuse.type = VornPeerWire::REFUSE;
    refuse.result = uint32_t(VORN_PEER_INVALID_VERSION);
    Bytes bytes;
    VornPeerWire::Encode(refuse, &bytes);
    bytes[2] = version;
    io_.Write(linkId, bytes.data(), bytes.size(), nullptr, 0);
    io_.Close(linkId, true);
    links_.erase(linkId);
}

// The host puts a player out: it hears so, then every other member does.
void VornPeerSession::Expel(uint32_t id, const char* why)
{
    LogLine("VornPeer::Session", "[ %u ] %s: out of the session", id, why);
    const uint32_t link = LinkOf(id);
    WriteTo(id, VornPeerWire::GONE, id);
    io_.Close(link, true);
    OnLinkGone(link);
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

// A link is gone: its player leaves (the host tells every member so; a member tells the host),
// and when it was the host the session migrates or ends.
void VornPeerSession::OnLinkGone(uint32_t linkId, bool report)
{
    auto it = links_.find(linkId);
    const Link link = std::move(it->second);
    links_.erase(it);
    if (link.role == ToHost && mode == Joining) return EndJoin(VORN_PEER_NO_CONNECTION);
    if (link.owes == VornPeerWire::GREET) return FailJoin("a player it lists did not take its HELLO");
    Player* p = link.role == Member ? Live(link.id) : nullptr;
    if (!p || p->link != linkId) return;
    p->gone = true;
    Push(VORN_PEER_MSG_DESTROY_PLAYER, link.id);
    if (link.id != hostId) {
        if (localId == hostId) {
            for (const auto& q : players)
                if (!q.second.gone && q.second.link) WriteTo(q.first, VornPeerWire::GONE, link.id);
        } else if (report) {
            WriteTo(hostId, VornPeerWire::LOST, link.id);
        }
        return;
    }
    if (meshing_) return FailJoin("the host left");
    if (desc.flags & VORN_PEER_SESSION_MIGRATE_HOST) {
        for (const auto& q : players)
            if (!q.second.gone) {
                hostId = q.first;
                break;
            }
        Push(VORN_PEER_MSG_HOST_MIGRATE, hostId);
        // The new host hears the next id each peer knows (until every one has, JOINs wait), and a
        // peer that names a later one hears of it.
        settleUntil_ = now_ + SETTLE_MS;
        if (hostId != localId) return WriteHost(hostId);
        for (const auto& q : players)
            if (!q.second.gone && q.second.link) {
                unconfirmed_.push_back(q.first);
                WriteHost(q.first);
            }
        return;
    }
    Terminate();
}

void VornPeerSession::Terminate()
{
    Event end;
    end.message = VORN_PEER_MSG_TERMINATE_SESSION;
    end.result = VORN_PEER_NO_CONNECTION;
    events.push_back(std::move(end));
    End();
}

void VornPeerSession::Tick(uint64_t now)
{
    now_ = now;
    std::vector<std::pair<uint32_t, const char*>> late;
    for (const auto& l : links_)
        if (l.second.deadline && now >= l.second.deadline)
            late.push_back({l.first, l.second.role == ToHost                  ? "no answer to the join in time"
                                     : l.second.owes == VornPeerWire::GREET ? "did not take the HELLO in time"
                                     : l.second.owes == VornPeerWire::READY ? "did not reach every player in time"
                                                                             : "did not say who it is in time"});
    for (const auto& l : late) Drop(l.first, l.second);
    // A link between two members broke while both still reach this host: the later joiner goes.
    std::vector<Report> due;
    for (auto r = reports_.begin(); r != reports_.end();)
        if (now >= r->due) due.push_back(*r), r = reports_.erase(r);
        else ++r;
    for (const Report& r : due)
        if (localId == hostId && Find(r.by) && Find(r.lost)) Expel(std::max(r.by, r.lost), "its link to another player broke");
    if (!unconfirmed_.empty() && now >= settleUntil_) Resume();
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
    if (mode == Joining) return EndJoin(result);
    if (!meshing_) return;
    meshing_ = false;
    End();
    Completed(result);
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
    reports_.clear();
    unconfirmed_.clear();
    meshing_ = false;
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
