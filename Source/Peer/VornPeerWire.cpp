#include "VornPeerWire.h"
#include "VornBytes.h"
#include <cstring>

namespace VornPeerWire
{
namespace {

// Reads fields in order; any read past the end, or a field out of range, fails the whole read.
struct Reader
{
    const uint8_t* p;
    size_t left;
    bool ok = true;

    bool Take(size_t n)
    {
        if (!ok || left < n) return ok = false;
        return true;
    }
    void U16(uint16_t& v)
    {
        if (!Take(2)) return;
        v = VornBytes::ReadLE16(p);
        p += 2, left -= 2;
    }
    void U32(uint32_t& v)
    {
        if (!Take(4)) return;
        v = VornBytes::ReadLE32(p);
        p += 4, left -= 4;
    }
    void GuidOf(Guid& g)
    {
        if (!Take(16)) return;
        std::memcpy(g.bytes, p, 16);
        p += 16, left -= 16;
    }
    void Name(std::u16string& out)
    {
        uint16_t n = 0;
        U16(n);
        if (!ok || n == 0 || n > MAX_NAME + 1 || !Take(size_t(n) * 2)) {
            ok = false;
            return;
        }
        out.clear();
        for (uint16_t i = 0; i < n; ++i) {
            const uint16_t unit = VornBytes::ReadLE16(p + i * 2);
            if ((unit == 0) != (i == n - 1)) {   // terminated, and only at the end
                ok = false;
                return;
            }
            if (unit) out.push_back(char16_t(unit));
        }
        p += size_t(n) * 2, left -= size_t(n) * 2;
    }
    void Padding(uint32_t& n)
    {
        if (!ok) return;
        for (size_t i = 0; i < left; ++i)
            if (p[i]) {
                ok = false;
                return;
            }
        n = uint32_t(left);
        p += left, left = 0;
    }
    void Count(std::vector<RosterEntry>& roster)
    {
        uint32_t n = 0;
        U32(n);
        if (n > MAX_ROSTER) ok = false;
        roster.assign(ok ? n : 0, RosterEntry{});
    }
};

struct Writer
{
    std::vector<uint8_t>* out;
    void U16(uint16_t v)
    {
        uint8_t b[2];
        VornBytes::WriteLE16(b, v);
        out->insert(out->end(), b, b + 2);
    }
    void U32(uint32_t v)
    {
        uint8_t b[4];
        VornBytes::WriteLE32(b, v);
        out->insert(out->end(), b, b + 4);
    }
    void GuidOf(const Guid& g) { out->insert(out->end(), g.bytes, g.bytes + 16); }
    void Name(const std::u16string& s)
    {
        U16(uint16_t(s.size() + 1));
        for (char16_t c : s) U16(c);
        U16(0);
    }
    void Count(const std::vector<RosterEntry>& roster) { U32(uint32_t(roster.size())); }
    void Padding(uint32_t n) { out->insert(out->end(), n, 0); }
};

// The fields of every body but DATA, in wire order, for reading and writing alike.
template <typename Io, typename F> bool Fields(Io& io, F& f)
{
    auto desc = [&io](auto& d) {
        io.GuidOf(d.instance);
        io.GuidOf(d.application);
        io.U32(d.flags);
        io.U32(d.maxPlayers);
        io.U32(d.currentPlayers);
        io.Name(d.name);
    };
    switch (f.type) {
    case JOIN:
        io.GuidOf(f.application);
        io.GuidOf(f.instance);
        io.U16(f.port);
        io.Name(f.name);
        return true;
    case WELCOME:
        io.U32(f.id);
        io.U32(f.hostId);
        io.U32(f.nextId);
        desc(f.desc);
        io.Count(f.roster);
        for (auto& e : f.roster) {
            io.U32(e.id);
            io.U32(e.ip);
            io.U16(e.port);
            io.GuidOf(e.admission);
            io.Name(e.name);
        }
        return true;
    case REFUSE:
        io.U32(f.result);
        return true;
    case HELLO:
        io.GuidOf(f.instance);
        io.U32(f.id);
        io.GuidOf(f.admission);
        io.U16(f.port);
        io.Name(f.name);
        return true;
    case QUERY:
        io.GuidOf(f.application);
        io.U32(f.token);
        io.Padding(f.padding);
        return true;
    case ANSWER:
        io.U32(f.token);
        desc(f.desc);
        return true;
    case ADMIT:
        io.U32(f.id);
        io.GuidOf(f.admission);
        return true;
    case GREET:
    case READY:
        return true;
    case LOST:
    case GONE:
        io.U32(f.id);
        return true;
    case HOST:
        io.U32(f.hostId);
        io.U32(f.nextId);
        return true;
    default:
        return false;
    }
}

bool NameFits(const std::u16string& s)
{
    return s.size() <= MAX_NAME && s.find(char16_t(0)) == std::u16string::npos;
}

}  // namespace

Status Decode(const uint8_t* data, size_t size, Frame* frame, size_t* used)
{
    // Each header byte is checked as soon as it is there, so a bad stream is known early.
    if (size >= 1 && data[0] != (MAGIC & 0xFF)) return Status::Bad;
    if (size >= 2 && data[1] != (MAGIC >> 8)) return Status::Bad;
    if (size >= 3 && data[2] != VERSION) return Status::OtherVersion;
    if (size >= 4 && (data[3] == 0 || data[3] >= TYPE_END)) return Status::Bad;
    if (size < HEADER_SIZE) return Status::NeedMore;
    const uint32_t length = VornBytes::ReadLE32(data + 4);
    if (length > MAX_BODY) return Status::Bad;
    if (size - HEADER_SIZE < length) return Status::NeedMore;
    frame->type = Type(data[3]);
    if (frame->type == DATA) {
        frame->payload = data + HEADER_SIZE;
        frame->payloadSize = length;
    } else {
        Reader r{data + HEADER_SIZE, length};
        if (!Fields(r, *frame) || !r.ok || r.left != 0) return Status::Bad;
    }
    *used = HEADER_SIZE + length;
    return Status::Ok;
}

bool DecodeDatagram(const uint8_t* data, size_t size, Frame* frame)
{
    size_t used = 0;
    return Decode(data, size, frame, &used) == Status::Ok && used == size &&
           (frame->type == QUERY || frame->type == ANSWER);
}

bool Encode(const Frame& f, std::vector<uint8_t>* out)
{
    if (f.type == DATA) return EncodeData(f.payload, f.payloadSize, out);
    if (!NameFits(f.name) || !NameFits(f.desc.name) || f.roster.size() > MAX_ROSTER || f.padding > MAX_BODY - 20) return false;
    for (const RosterEntry& e : f.roster)
        if (!NameFits(e.name)) return false;
    const size_t start = out->size();
    Writer w{out};
    w.U16(MAGIC);
    out->push_back(VERSION);
    out->push_back(uint8_t(f.type));
    w.U32(0);
    if (!Fields(w, f)) {
        out->resize(start);
        return false;
    }
    VornBytes::WriteLE32(out->data() + start + 4, uint32_t(out->size() - start - HEADER_SIZE));
    return true;
}

void DataHeader(uint32_t size, uint8_t out[HEADER_SIZE])
{
    VornBytes::WriteLE16(out, MAGIC);
    out[2] = VERSION;
    out[3] = DATA;
    VornBytes::WriteLE32(out + 4, size);
}

bool EncodeData(const void* payload, uint32_t size, std::vector<uint8_t>* out)
{
    if (size > MAX_PAYLOAD || (size && !payload)) return false;
    uint8_t header[HEADER_SIZE];
    DataHeader(size, header);
    out->insert(out->end(), header, header + HEADER_SIZE);
    const uint8_t* p = static_cast<const uint8_t*>(payload);
    out->insert(out->end(), p, p + size);
    return true;
}
}
