// Peer sessions: a host and a member (and the joiners and strangers the input asks for) on links of
// memory, driven by a sequence of steps: strangers open links and say frames or raw bytes in turn or
// out of it, joiners come and players leave (the host too), messages go, the clock moves. After
// every step, in every session: no id given twice (a host of ours never gives one again, nor counts
// past the next after the highest it gave), no more players than the session's limit, the host and
// the local player listed, the players the same as the events told, no two players on one link, no
// player that a host of ours did not let in through a JOIN, an id that a host of ours gave to a peer
// of ours on a link that leads to that peer and under the name it gave, at every peer of ours, a
// joiner's WELCOME taken whole (its players the joiner and the roster), a lost host followed by a
// player left (or, without migration, by the session's end), peers of ours that reach each other
// naming one host, a link a stranger opened closed at once when its first frame is not a JOIN or a
// HELLO of this version (one of another version after a REFUSE in that version's header that says
// so; after a JOIN, at the first frame that is not DATA, READY, LOST or HOST) and at its deadline
// when it did not become a player, and no answer to a search longer than its query (one to every
// query as long as the longest answer, from a host).
#include "FuzzCheck.h"
#include "VornPeerSession.h"
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace VornPeerWire;

const Guid kApplication = {{0x78, 0x56, 0x34, 0x12, 0x34, 0x12, 0x78, 0x56, 1, 2, 3, 4, 5, 6, 7, 8}};
const Guid kInstance = {{9, 9, 9, 9, 8, 8, 8, 8, 7, 7, 7, 7, 6, 6, 6, 6}};
constexpr uint16_t BASE_PORT = 7000;
constexpr size_t MAX_PEERS = 8;
constexpr int MAX_STEPS = 256;

// The fuzz input, read a piece at a time (zeros once it runs out).
struct Input
{
    const uint8_t* p;
    size_t left;
    uint8_t Byte() { return left ? (--left, *p++) : 0; }
    uint32_t Word()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | Byte();
        return v;
    }
    // Mostly small ids, now and then any 32-bit one.
    uint32_t Id()
    {
        const uint8_t b = Byte();
        return b < 224 ? b % 12 : Word();
    }
};

struct Net;

struct Peer : VornPeerSession::Io
{
    Peer(Net& n, size_t i, bool trusted) : net(n), index(i), legit(trusted), session(*this)
    {
        session.localName = u"p" + std::u16string(1, char16_t(u'a' + i));
    }
    uint32_t Dial(uint32_t ip, uint16_t port) override;
    void Write(uint32_t link, const uint8_t* head, size_t headSize, const uint8_t* body, size_t bodySize) override;
    void Close(uint32_t link, bool afterWrites) override;
    void Ended() override { listening = false; }
    void Random(uint8_t* out, size_t size) override;

    Net& net;
    size_t index;
    bool legit;                  // joined through a host of ours (not a stranger playing host)
    bool listening = false;
    uint32_t joinLink = 0;       // its end of the link it joined by
    VornPeerSession session;
    std::set<uint32_t> live;     // as its events told
    std::set<uint32_t> ever;     // every player its events created
    std::set<uint32_t> given;    // the ids it gave as host
    uint64_t tookOver = 0;       // when it last became host after a host left
    uint32_t Ip() const { return 0x0A000000u | uint32_t(index + 1) << 24; }
    uint16_t Port() const { return uint16_t(BASE_PORT + index); }
};

// One end of a link of memory: the peer it belongs to (none: a stranger's), what waits for it, and
// the first bytes it was ever given.
struct End
{
    int peer = -1;
    bool incoming = false;    // the end a listening peer accepted
    uint64_t since = 0;
    uint32_t other = 0;
    std::string inbox, heard;
    bool closed = false;      // this end let the link go
    bool otherGone = false;   // the other end did: once the inbox is read, the link is lost
};

struct Net
{
    std::vector<std::unique_ptr<Peer>> peers;
    std::map<uint32_t, End> ends;
    std::vector<uint32_t> strangers;   // the ends strangers hold
    std::set<uint32_t> allocated;      // ids a host of ours gave through a JOIN
    std::map<uint32_t, int> owner;     // who it gave each to: a peer of ours, or -1 for a stranger
    uint32_t nextLink = 1;
    uint64_t now = 1000;
    uint64_t drawn = 0x9E3779B97F4A7C15u;   // the tokens' generator (strangers never see its bytes)
    size_t chunk = 0;                  // 0: whole inboxes, else bytes per delivery
    bool newestFirst = false;          // the newest links deliver first in each round
    bool split = false;                // a link between two peers broke

    std::pair<uint32_t, uint32_t> Pair(int a, int b)
    {
        const uint32_t x = nextLink++, y = nextLink++;
        ends[x].peer = a, ends[x].other = y;
        ends[y].peer = b, ends[y].other = x;
        return {x, y};
    }
    // A link from (peer or stranger) `from` at ip to the peer listening on port; the dialler's end.
    uint32_t Connect(int from, uint32_t ip, uint16_t port)
    {
        Peer* target = nullptr;
        for (auto& p : peers)
            if (p->listening && p->Port() == port) target = p.get();
        const auto link = Pair(from, target ? int(target->index) : -1);
        ends[link.second].incoming = true;
        ends[link.second].since = now;
        if (!target || !target->session.Accept(link.second, ip, now)) ends[link.second].closed = ends[link.first].otherGone = true;
        return link.first;
    }
    void Write(uint32_t link, const std::string& bytes)
    {
        End& to = ends[ends[link].other];
        if (ends[link].closed || to.closed) return;
        to.inbox += bytes;
        if (to.heard.size() < 4096) to.heard += bytes.substr(0, 4096 - to.heard.size());
    }
    void Close(uint32_t link)
    {
        End& e = ends[link];
        e.closed = true;
        e.inbox.clear();
        ends[e.other].otherGone = true;
    }
    // Delivers until nothing moves.
    void Pump()
    {
        for (int round = 0; round < 100000; ++round) {
            bool moved = false;
            std::vector<uint32_t> order;
            for (const auto& entry : ends) order.push_back(entry.first);
            if (newestFirst) std::reverse(order.begin(), order.end());
            for (uint32_t link : order) {
                End& e = ends[link];
                if (e.closed) continue;
                if (e.peer < 0) {   // strangers read nothing
                    e.inbox.clear();
                    continue;
                }
                VornPeerSession& s = peers[size_t(e.peer)]->session;
                if (!e.inbox.empty()) {
                    const size_t n = chunk ? std::min(chunk, e.inbox.size()) : e.inbox.size();
                    const std::string piece = e.inbox.substr(0, n);
                    e.inbox.erase(0, n);
                    s.Received(link, reinterpret_cast<const uint8_t*>(piece.data()), piece.size(), now);
                    moved = true;
                } else if (e.otherGone) {
                    e.closed = true;
                    s.Lost(link);
                    moved = true;
                }
            }
            if (!moved) return;
        }
        FUZZ_CHECK(!"the links never went quiet");
    }
    // The first frame an end was given (type TYPE_END when none could be read yet).
    Frame FirstHeard(uint32_t link, Status* status = nullptr)
    {
        auto it = ends.find(link);
        Frame f;
        f.type = TYPE_END;
        size_t used = 0;
        const Status st = it == ends.end() ? Status::NeedMore
                                           : Decode(reinterpret_cast<const uint8_t*>(it->second.heard.data()), it->second.heard.size(), &f, &used);
        if (st != Status::Ok) f.type = TYPE_END;
        if (status) *status = st;
        return f;
    }

    // Whether a lists b's player on a link that leads to b.
    bool Reaches(const Peer& a, const Peer& b)
    {
        const VornPeerSession::Player* q = a.session.Find(b.session.localId);
        return a.session.mode == VornPeerSession::InSession && b.session.mode == VornPeerSession::InSession && q && q->link &&
               ends[ends[q->link].other].peer == int(b.index);
    }

    // Takes every peer's events as the owner would, then checks the sessions.
    void Check()
    {
        std::vector<std::pair<Peer*, uint32_t>> created;
        for (auto& p : peers) {
            VornPeerSession& s = p->session;
            while (!s.events.empty()) {
                const VornPeerSession::Event e = s.events.front();
                s.events.pop_front();
                if (e.message == VORN_PEER_MSG_CREATE_PLAYER) {
                    FUZZ_CHECK(p->live.insert(e.id).second);   // never an id twice
                    p->ever.insert(e.id);
                    auto record = s.players.find(e.id);   // kept, once gone, until its DESTROY_PLAYER is taken
                    const VornPeerSession::Player* player = record == s.players.end() ? nullptr : &record->second;
                    if (player && player->link && FirstHeard(player->link).type == JOIN && p->legit && s.hostId == s.localId) {
                        // Never given twice, even after its player left (once a host's link to a member
                        // broke, each side is a session of its own, with its own ids).
                        const bool fresh = allocated.insert(e.id).second;
                        FUZZ_CHECK(p->given.insert(e.id).second && (fresh || split));
                        owner[e.id] = fresh ? ends[ends[player->link].other].peer : -2;
                    } else {
                        created.push_back({p.get(), e.id});
                    }
                } else if (e.message == VORN_PEER_MSG_HOST_MIGRATE) {
                    FUZZ_CHECK((s.desc.flags & VORN_PEER_SESSION_MIGRATE_HOST) && p->live.count(e.id));
                    if (e.id == s.localId) p->tookOver = now;
                } else if (e.message == VORN_PEER_MSG_TERMINATE_SESSION) {   // no host left, or the host put it out
                    FUZZ_CHECK(s.mode == VornPeerSession::Idle);
                } else if (e.message == VORN_PEER_MSG_CONNECT_COMPLETE && e.result == VORN_PEER_OK) {
                    const Frame welcome = FirstHeard(p->joinLink);
                    FUZZ_CHECK(welcome.type == WELCOME && welcome.id == s.localId);   // a REFUSE is never a success
                    std::set<uint32_t> players = {welcome.id};
                    for (const RosterEntry& r : welcome.roster) players.insert(r.id);
                    for (uint32_t id : p->ever) FUZZ_CHECK(players.count(id) || id > *players.rbegin());
                    for (uint32_t id : players) FUZZ_CHECK(p->ever.count(id));
                } else if (e.message == VORN_PEER_MSG_DESTROY_PLAYER) {
                    FUZZ_CHECK(p->live.erase(e.id) == 1);
                    s.Forget(e.id);
                }
            }
        }
        for (const auto& c : created)
            if (c.first->legit) FUZZ_CHECK(allocated.count(c.second));   // no player without a JOIN
        for (auto& p : peers) {
            const VornPeerSession& s = p->session;
            std::set<uint32_t> listed;
            for (const auto& q : s.players)
                if (!q.second.gone) listed.insert(q.first);
            FUZZ_CHECK(listed == p->live);
            if (p->legit) FUZZ_CHECK(s.nextId <= uint64_t(*allocated.rbegin()) + 1);
            for (size_t query : {size_t(0), size_t(HEADER_SIZE + 40), MAX_ANSWER_SIZE / 2, MAX_ANSWER_SIZE}) {
                const VornPeerSession::Bytes answer = s.Answer(7, query);
                Frame a;
                FUZZ_CHECK(answer.size() <= query && (answer.empty() || (DecodeDatagram(answer.data(), answer.size(), &a) && a.type == ANSWER && a.token == 7)));
                if (query == MAX_ANSWER_SIZE) FUZZ_CHECK(answer.empty() == (s.mode != VornPeerSession::InSession || s.localId != s.hostId));
            }
            std::set<uint32_t> links;
            for (const auto& q : s.players)
                if (!q.second.gone && q.second.link) FUZZ_CHECK(links.insert(q.second.link).second);
            if (s.mode != VornPeerSession::InSession) continue;
            FUZZ_CHECK(s.LivePlayers() <= s.Limit());
            FUZZ_CHECK(s.Find(s.hostId) && s.Find(s.localId));
            if (!p->legit) continue;
            // Every player a host of ours let in is, here too, the peer it let in, under its own name.
            for (const auto& q : s.players) {
                auto given = owner.find(q.first);
                if (q.second.gone || !q.second.link || given == owner.end() || given->second < 0) continue;
                FUZZ_CHECK(ends[ends[q.second.link].other].peer == given->second);
                FUZZ_CHECK(q.second.name == peers[size_t(given->second)]->session.localName);
            }
            // Peers of ours that list each other on a link between them name one host.
            for (auto& o : peers)
                if (o != p && o->legit && Reaches(*p, *o) && Reaches(*o, *p)) FUZZ_CHECK(s.hostId == o->session.hostId);
        }
        for (const auto& entry : ends) {
            const End& e = entry.second;
            if (!e.incoming || e.peer < 0 || ends[e.other].peer >= 0) continue;
            Status status;
            const Type first = FirstHeard(entry.first, &status).type;
            if (status == Status::Bad || status == Status::OtherVersion || (status == Status::Ok && first != JOIN && first != HELLO))
                FUZZ_CHECK(e.closed);
            if (status == Status::OtherVersion) {   // it heard why, in its own version's header
                std::string refusal = ends[e.other].heard;
                FUZZ_CHECK(refusal.size() == HEADER_SIZE + 4 && refusal[2] == e.heard[2]);
                refusal[2] = char(VERSION);
                Frame r;
                size_t used = 0;
                FUZZ_CHECK(Decode(reinterpret_cast<const uint8_t*>(refusal.data()), refusal.size(), &r, &used) == Status::Ok && r.type == REFUSE &&
                           r.result == uint32_t(VORN_PEER_INVALID_VERSION));
            }
            if (first == JOIN) {   // let in or not, it may say nothing after its JOIN but what a player tells its host
                const auto* bytes = reinterpret_cast<const uint8_t*>(e.heard.data());
                Frame f;
                size_t at = 0, used = 0;
                bool outOfTurn = false;
                for (int n = 0; (status = Decode(bytes + at, e.heard.size() - at, &f, &used)) == Status::Ok; at += used, ++n)
                    outOfTurn |= n > 0 && f.type != DATA && f.type != READY && f.type != LOST && f.type != HOST;
                // (A new host reads JOINs once it knows the next id, at the latest after SETTLE_MS.)
                if (outOfTurn || status == Status::Bad) FUZZ_CHECK(e.closed || now < peers[size_t(e.peer)]->tookOver + VornPeerSession::SETTLE_MS);
            }
            bool player = false;
            for (const auto& q : peers[size_t(e.peer)]->session.players) player |= !q.second.gone && q.second.link == entry.first;
            FUZZ_CHECK(e.closed || player || now < e.since + VornPeerSession::IDENTIFY_MS);
        }
    }

    Peer* Add(bool legit)
    {
        if (peers.size() >= MAX_PEERS) return nullptr;
        peers.push_back(std::make_unique<Peer>(*this, peers.size(), legit));
        return peers.back().get();
    }
    // A new peer joins the one listening on port, as an application would (trusted as far as the
    // peer it joins is).
    void Join(uint16_t port)
    {
        bool trusted = false;
        for (auto& q : peers)
            if (q->listening && q->Port() == port) trusted = q->legit;
        Peer* p = Add(trusted);
        if (!p) return;
        p->listening = true;
        const uint32_t link = p->joinLink = Connect(int(p->index), p->Ip(), port);
        p->session.Join(link, 0, kApplication, Guid{}, p->Port(), 1, now);
    }
};

uint32_t Peer::Dial(uint32_t, uint16_t port) { return net.Connect(int(index), Ip(), port); }

void Peer::Write(uint32_t link, const uint8_t* head, size_t headSize, const uint8_t* body, size_t bodySize)
{
    std::string bytes(reinterpret_cast<const char*>(head), headSize);
    if (bodySize) bytes.append(reinterpret_cast<const char*>(body), bodySize);
    net.Write(link, bytes);
}

void Peer::Close(uint32_t link, bool) { net.Close(link); }

void Peer::Random(uint8_t* out, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        net.drawn = net.drawn * 6364136223846793005u + 1442695040888963407u;
        out[i] = uint8_t(net.drawn >> 56);
    }
}

// A frame a stranger might say, its fields from the input.
std::string StrangerFrame(Input& in, const Net& net)
{
    Frame f;
    f.type = Type(1 + in.Byte() % (TYPE_END - 1));
    f.application = in.Byte() % 4 ? kApplication : Guid{{in.Byte()}};
    f.instance = in.Byte() % 4 ? kInstance : Guid{};
    f.id = in.Id();
    f.hostId = in.Byte() % 4 ? f.id + 1 + in.Byte() % 4 : in.Id();   // mostly another player than the one it names
    f.nextId = in.Byte() % 2 ? in.Word() : f.id + 1;
    std::memset(f.admission.bytes, in.Byte(), sizeof f.admission.bytes);
    f.result = in.Word();
    f.port = uint16_t(BASE_PORT + in.Byte() % MAX_PEERS);
    f.name = u"x";
    f.desc.application = in.Byte() % 4 ? kApplication : Guid{};
    f.desc.instance = kInstance;
    f.desc.maxPlayers = in.Byte() % 6;
    const uint8_t entries = in.Byte() % 6;
    for (uint8_t i = 0; i < entries && f.roster.size() < MAX_ROSTER; ++i) {
        const uint8_t pick = in.Byte();
        if (pick % 4 == 1 && !f.roster.empty()) {   // an entry listed twice
            f.roster.push_back(f.roster.back());
            continue;
        }
        const uint32_t id = i == 0 && pick % 4 ? f.hostId : in.Id();   // mostly the host it names, first
        // Mostly a sound entry (the host, and only the host, on the link it came by), now and then not.
        const bool onHostLink = (id == f.hostId) != (pick % 8 == 0);
        const uint32_t ip = onHostLink ? 0 : 0x0A000000u | uint32_t(1 + pick % net.peers.size()) << 24;
        f.roster.push_back({id, ip, uint16_t(BASE_PORT + pick % MAX_PEERS), u"r"});
    }
    const std::string payload(in.Byte() % 8, 'd');
    f.payload = reinterpret_cast<const uint8_t*>(payload.data());
    f.payloadSize = uint32_t(payload.size());
    std::vector<uint8_t> bytes;
    Encode(f, &bytes);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in{data, size};
    Net net;
    const uint8_t delivery = in.Byte();
    net.chunk = delivery % 4 == 0 ? 1 + in.Byte() % 16 : 0;
    net.newestFirst = delivery & 0x80;
    Peer& host = *net.Add(true);
    SessionDesc desc;
    desc.application = kApplication;
    desc.instance = kInstance;
    desc.flags = in.Byte() % 4 ? VORN_PEER_SESSION_MIGRATE_HOST : 0;
    desc.maxPlayers = in.Byte() % 6;
    desc.name = std::u16string(in.Byte() % 2 ? 4 : MAX_NAME, u'r');   // a long name is cut to fit an answer
    host.listening = true;
    host.session.Host(desc, host.Port());
    net.allocated.insert(host.session.localId);
    net.owner[host.session.localId] = 0;
    net.Join(host.Port());   // the member
    net.Pump();
    net.Check();

    for (int step = 0; step < MAX_STEPS && in.left; ++step) {
        const uint8_t op = in.Byte();
        const size_t who = in.Byte() % net.peers.size();
        Peer& peer = *net.peers[who];
        switch (op % 10) {
        case 0: {   // a stranger opens a link, from one of a few addresses
            const uint32_t ip = 0xC0A80000u | uint32_t(in.Byte() % 3) << 24;
            net.strangers.push_back(net.Connect(-1, ip, peer.Port()));
            break;
        }
        case 1:
        case 2: {   // a stranger says a frame, or raw bytes
            if (net.strangers.empty()) break;
            const uint32_t link = net.strangers[in.Byte() % net.strangers.size()];
            std::string bytes;
            if (op % 10 == 1) {
                bytes = StrangerFrame(in, net);
            } else {
                for (uint8_t n = in.Byte(); n--;) bytes.push_back(char(in.Byte()));
            }
            net.Write(link, bytes);
            break;
        }
        case 3:   // a stranger hangs up
            if (!net.strangers.empty()) net.Close(net.strangers[in.Byte() % net.strangers.size()]);
            break;
        case 4:   // time passes
            net.now += uint64_t(in.Byte()) * 100;
            for (auto& p : net.peers) p->session.Tick(net.now);
            break;
        case 5:   // a joiner comes to a peer (the host, or a member that refuses it)
            net.Join(peer.Port());
            break;
        case 6:   // a player leaves, the host too
            if (peer.session.mode == VornPeerSession::InSession) peer.session.End();
            break;
        case 7:   // a message to one player or to all
            if (peer.session.mode == VornPeerSession::InSession) {
                const uint8_t payload[3] = {1, 2, 3};
                peer.session.Send(in.Byte() % 2 ? 0 : in.Id(), payload, in.Byte() % 4);
            }
            break;
        case 8: {   // a joiner whose host is a stranger
            Peer* p = net.Add(false);
            if (!p) break;
            const auto link = net.Pair(int(p->index), -1);
            net.strangers.push_back(link.second);
            p->joinLink = link.first;
            p->session.Join(link.first, 0, kApplication, Guid{}, p->Port(), 1, net.now);
            p->listening = true;
            break;
        }
        case 9: {   // a link between two peers breaks (as one dropped at its queue's limit would)
            std::vector<uint32_t> between;
            for (const auto& e : net.ends)
                if (e.second.peer >= 0 && net.ends[e.second.other].peer >= 0 && !e.second.closed && e.first < e.second.other)
                    between.push_back(e.first);
            if (between.empty()) break;
            const uint32_t link = between[in.Byte() % between.size()];
            net.ends[link].otherGone = net.ends[net.ends[link].other].otherGone = net.split = true;
            break;
        }
        }
        net.Pump();
        net.Check();
    }
    return 0;
}
