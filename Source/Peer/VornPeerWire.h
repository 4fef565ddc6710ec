// VornPeerWire: the frames and datagrams of the engine's peer sessions, encoded and checked as plain
// bytes (no Windows header; the native fuzz target links this file alone).
//
// Every frame (TCP) and datagram (UDP) is a header and a body, all fields little-endian:
//   u16 magic 0x5056 ("VP")   u8 version 2   u8 type   u32 body length (at most MAX_BODY)
// A datagram is exactly one header and its body. A name is u16 n (1..256) and n UTF-16 units, the
// last one 0 and no other 0: at most 255 characters. A GUID or a token is 16 bytes as stored in
// memory. A session description is: instance GUID, application GUID, u32 flags, u32 maximum players
// (0: no maximum), u32 current players, name.
//
//   JOIN     joiner -> host     application GUID, instance GUID, u16 listen port, name
//   WELCOME  host -> joiner     u32 your id, u32 host id, u32 next id, description, u32 n (<= 32),
//                               n x (u32 id, u32 IPv4 (0: the host's own connection), u16 port,
//                               token (for the HELLO to that player; zero for the host), name)
//   REFUSE   host -> joiner     u32 result code
//   HELLO    joiner -> member   instance GUID, u32 joiner id, token, u16 listen port, name
//   DATA     any -> any         the payload (at most MAX_PAYLOAD bytes)
//   QUERY    (datagram)         application GUID, u32 token, then zero bytes of padding: a host
//                               answers no more bytes than the query brought
//   ANSWER   (datagram)         u32 token, description
//   ADMIT    host -> member     u32 id, token: the host let this player in, its HELLO with the
//                               token may come (each member gets its own token)
//   GREET    member -> joiner   (empty) the HELLO was taken
//   READY    joiner -> host     (empty) every member took the joiner's HELLO
//   LOST     member -> host     u32 id: the member's link to this player broke
//   GONE     host -> member     u32 id: this player is out of the session (the member itself: it is)
//   HOST     any -> any         u32 host id, u32 next id (0: none left): after the host left, the
//                               host the sender names (itself, when it took over) and the next id
//                               it knows
// Nothing may follow the last field of a body. A frame of another version is never decoded; a host
// refuses a JOIN of another version with a REFUSE in that version's header.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace VornPeerWire
{
constexpr uint16_t MAGIC = 0x5056;
constexpr uint8_t VERSION = 2;
constexpr size_t HEADER_SIZE = 8;
constexpr uint32_t MAX_PAYLOAD = 65536;
constexpr uint32_t MAX_BODY = MAX_PAYLOAD;   // a full roster of long names stays far below
constexpr uint32_t MAX_NAME = 255;
constexpr uint32_t MAX_ROSTER = 32;

enum Type : uint8_t { JOIN = 1, WELCOME, REFUSE, HELLO, DATA, QUERY, ANSWER, ADMIT, GREET, READY, LOST, GONE, HOST, TYPE_END };

// The largest answer (a session name of MAX_NAME characters): searchers pad their queries to it.
constexpr size_t MAX_ANSWER_SIZE = HEADER_SIZE + 4 + 16 + 16 + 4 + 4 + 4 + 2 + 2 * (MAX_NAME + 1);

struct Guid
{
    uint8_t bytes[16];
};

struct SessionDesc
{
    Guid instance{};
    Guid application{};
    uint32_t flags = 0;
    uint32_t maxPlayers = 0;
    uint32_t currentPlayers = 0;
    std::u16string name;
};

struct RosterEntry
{
    uint32_t id = 0;
    uint32_t ip = 0;
    uint16_t port = 0;
    std::u16string name;
    Guid admission{};   // for the joiner's HELLO to this player
};

// One decoded frame: the fields its type uses (the others stay as they are).
struct Frame
{
    Type type = DATA;
    Guid application{};
    Guid instance{};
    uint16_t port = 0;
    std::u16string name;
    uint32_t id = 0;
    uint32_t hostId = 0;
    uint32_t nextId = 0;
    uint32_t result = 0;
    uint32_t token = 0;
    Guid admission{};                   // HELLO, ADMIT: the token the host drew for it
    uint32_t padding = 0;               // QUERY: zero bytes after the token
    SessionDesc desc;
    std::vector<RosterEntry> roster;
    const uint8_t* payload = nullptr;   // DATA: points into the decoded bytes
    uint32_t payloadSize = 0;
};

enum class Status { Ok, NeedMore, Bad, OtherVersion };

// The frame at the start of data. Ok: *frame filled and *used its whole length. NeedMore: a valid
// beginning (header not yet contradicted). Bad: never a frame, whatever follows. OtherVersion: the
// magic of a frame of another version (data[2]).
Status Decode(const uint8_t* data, size_t size, Frame* frame, size_t* used);
// A datagram: exactly one frame of type QUERY or ANSWER.
bool DecodeDatagram(const uint8_t* data, size_t size, Frame* frame);

// Appends the frame (its type's fields) to out; false (nothing appended) when a field is out of range.
bool Encode(const Frame& frame, std::vector<uint8_t>* out);
// The header of a DATA frame of size bytes (at most MAX_PAYLOAD).
void DataHeader(uint32_t size, uint8_t out[HEADER_SIZE]);
// Appends a DATA frame around the payload without copying it into a Frame first.
bool EncodeData(const void* payload, uint32_t size, std::vector<uint8_t>* out);
}
