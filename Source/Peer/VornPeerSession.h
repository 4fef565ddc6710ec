// VornPeerSession: the session logic of one peer (who may become a player, ids, rosters, host
// migration), with no socket, thread or clock of its own. Its owner (VornPeer, or a fuzz target)
// numbers the links, feeds in what they bring and the time, carries out what the session asks
// through Io, and delivers the events it queues. Not locked: the owner serialises every call.
//
// A link becomes a player only through the host: a JOIN that the host takes (the application
// matches, the session is not full, an id is left), or a HELLO to a member with the id and the
// token that the host drew for that member and announced with ADMIT (or listed in the joiner's
// WELCOME). Anything else a link says out of turn closes it with a log line.
//
// Every peer lists the same players: a joiner's join completes once every member took its HELLO
// (else it fails), and the host puts out a joiner that does not say so in time, tells every member
// of each player it lost, and settles a link between two members that broke while both still reach
// it. When the host leaves, each peer names the lowest id it lists and tells that peer, with the next
// id it knows; a peer that names a later host than another is told the other's, and yields to it, or
// leaves when it cannot reach it.
#pragma once
#include "VornPeer.h"
#include "VornPeerWire.h"
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

class VornPeerSession
{
public:
    static constexpr size_t MAX_LINKS = 256;            // a full session's links, and room for joiners
    static constexpr size_t MAX_PENDING_PER_ADDRESS = 8; // links from one address not yet identified
    static constexpr uint64_t IDENTIFY_MS = 5000;       // an incoming link says JOIN or HELLO by then
    static constexpr uint64_t WELCOME_MS = 10000;       // a joiner hears WELCOME or REFUSE by then
    static constexpr uint64_t READY_MS = 2 * WELCOME_MS;  // a joiner reaches every member by then
    static constexpr uint64_t SETTLE_MS = 1500;         // the host's wait before settling a broken link,
                                                        // and a new host's for the others' next ids
    static constexpr size_t MAX_ANNOUNCED = 64;         // ADMITs kept while their HELLO has not come
    static constexpr uint64_t NO_IDS_LEFT = uint64_t(1) << 32;

    using Bytes = std::vector<uint8_t>;

    struct Io
    {
        virtual ~Io() = default;
        // A new link to ip (network order) and port: its number, 0 when none could be made.
        virtual uint32_t Dial(uint32_t ip, uint16_t port) = 0;
        // Sends head then body on the link, after what it sent before.
        virtual void Write(uint32_t link, const uint8_t* head, size_t headSize, const uint8_t* body, size_t bodySize) = 0;
        // The session is done with the link: close it (once what was written has gone, when asked).
        virtual void Close(uint32_t link, bool afterWrites) = 0;
        // The session ended or the join failed: the owner stops listening.
        virtual void Ended() = 0;
        // Fills out with bytes from the system's cryptographic random source.
        virtual void Random(uint8_t* out, size_t size) = 0;
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

    struct Player
    {
        std::u16string name;
        void* context = nullptr;
        uint32_t link = 0;        // 0 for the local player
        uint32_t ip = 0;
        uint16_t port = 0;        // where it listens
        bool gone = false;        // its DESTROY_PLAYER is on its way
    };

    enum Mode { Idle, Joining, InSession };

    explicit VornPeerSession(Io& io) : io_(io) {}

    // The local player hosts (its CREATE_PLAYER is queued first).
    void Host(const VornPeerWire::SessionDesc& desc, uint16_t listenPort);
    // Sends JOIN on a link the owner dialled; CONNECT_COMPLETE (handle) follows.
    void Join(uint32_t link, uint32_t ip, const VornPeerWire::Guid& application, const VornPeerWire::Guid& instance,
              uint16_t listenPort, uintptr_t handle, uint64_t now);
    // A connection came in: false when the owner is to close it unheard.
    bool Accept(uint32_t link, uint32_t ip, uint64_t now);
    void Received(uint32_t link, const uint8_t* data, size_t size, uint64_t now);
    // The link closed or broke (the owner has closed it).
    void Lost(uint32_t link);
    // Closes links past their deadline.
    void Tick(uint64_t now);
    // DATA to one player or, with id 0, to everyone (the local player through a RECEIVE event).
    VornPeerResult Send(uint32_t id, const uint8_t* data, uint32_t size);
    void CancelJoin(int32_t result);
    // Every player leaves (the local one last) and every link closes.
    void End();

    uint32_t LivePlayers() const;
    uint32_t Limit() const;
    const Player* Find(uint32_t id) const;
    // The answer to a query of querySize bytes (empty when none fits).
    Bytes Answer(uint32_t token, size_t querySize) const;
    void SetContext(uint32_t id, void* context);
    void* ContextOf(uint32_t id) const;
    void Forget(uint32_t id);       // after its DESTROY_PLAYER was delivered

    Mode mode = Idle;
    uint32_t localId = 0, hostId = 0;
    uint64_t nextId = 1;            // NO_IDS_LEFT once 0xFFFFFFFF was given
    uint16_t listenPort = 0;
    uintptr_t connectHandle = 0;
    VornPeerWire::SessionDesc desc;
    std::u16string localName;
    std::map<uint32_t, Player> players;
    std::deque<Event> events;

private:
    enum Role { Incoming, ToHost, Member };
    struct Link
    {
        Role role = Incoming;
        uint32_t id = 0;          // the player at the other end (0: not yet known)
        uint32_t ip = 0;
        uint64_t since = 0;       // accepted or dialled
        uint64_t deadline = 0;    // 0: none
        VornPeerWire::Type owes = VornPeerWire::TYPE_END;   // GREET or READY, due by the deadline
        bool parked = false;      // its JOIN waits until a new host knows the next id
        uint16_t helloPort = 0;   // a HELLO waiting for the host's ADMIT of helloId
        uint32_t helloId = 0;
        VornPeerWire::Guid helloToken{};
        std::u16string helloName;
        Bytes in;
    };
    struct Report
    {
        uint32_t by, lost;
        uint64_t due;
    };

    void Begin(Mode m, uint16_t port);
    bool OnFrame(uint32_t linkId, const VornPeerWire::Frame& f);
    bool OnWelcome(uint32_t linkId, const VornPeerWire::Frame& f);
    bool OnJoin(uint32_t linkId, const VornPeerWire::Frame& f);
    bool OnHello(uint32_t linkId, const VornPeerWire::Frame& f);
    bool OnAdmit(const VornPeerWire::Frame& f);
    bool OnMember(Link& link, const VornPeerWire::Frame& f);
    bool OnGone(uint32_t id);
    bool OnHost(uint32_t from, uint32_t named, uint32_t next);
    void WriteHost(uint32_t to);
    void OtherVersion(uint32_t link, uint8_t version);
    void MeshDone();
    void FailJoin(const char* why);
    void Terminate();   // TERMINATE_SESSION, then End
    void Expel(uint32_t id, const char* why);
    void Resume();
    bool Settling() const { return !unconfirmed_.empty() && now_ < settleUntil_; }
    uint32_t LinkOf(uint32_t id) const;
    void WriteTo(uint32_t id, VornPeerWire::Type type, uint32_t value);
    void Admit(uint32_t linkId, uint32_t id, const std::u16string& name, uint16_t port);
    bool AddPlayer(uint32_t id, const std::u16string& name, uint32_t link, uint32_t ip, uint16_t port);
    void Push(uint32_t message, uint32_t id);
    void WriteFrame(uint32_t link, const VornPeerWire::Frame& f);
    void Refuse(uint32_t link, VornPeerResult result);
    void Drop(uint32_t link, const char* why);   // closes a link the session gives up
    void OnLinkGone(uint32_t link, bool report = true);
    void Completed(int32_t result);   // CONNECT_COMPLETE of the join
    void EndJoin(int32_t result);
    void Seen(uint64_t id);
    Player* Live(uint32_t id);

    Io& io_;
    std::map<uint32_t, Link> links_;
    std::deque<std::pair<uint32_t, VornPeerWire::Guid>> announced_;   // ids and tokens the host admitted, oldest first
    std::vector<Report> reports_;      // broken links between members, for the host to settle
    std::vector<uint32_t> unconfirmed_;   // a new host's players that have not told their next id
    uint64_t settleUntil_ = 0;         // the end of the time after a migration when peers agree on the host
    bool meshing_ = false;             // a joiner whose members have not all taken its HELLO
    VornPeerWire::Guid wantApplication_{}, wantInstance_{};
    uint64_t now_ = 0;
};
