#include "VornLZSS.h"
#include "VornLog.h"
#include "VornBytes.h"
#include <cstring>
#include <memory>

namespace {

constexpr uint32_t N = 4096;          // window size
constexpr uint32_t F = 16;            // longest match the encoder emits
constexpr uint32_t THRESHOLD = 2;     // matches of this length or less are literals
constexpr uint32_t NIL = N;
constexpr uint32_t START = N - F;     // 4080: first write position in the window

// Okumura's binary-tree coder. One per Encode call, so encodes may run on several threads.
struct Encoder
{
    uint8_t text[N + F - 1];
    uint32_t lson[N + 1];
    uint32_t rson[N + 257];
    uint32_t dad[N + 1];
    uint32_t matchPosition = 0;
    uint32_t matchLength = 0;

    void InitTree()
    {
        for (uint32_t i = N + 1; i <= N + 256; ++i) rson[i] = NIL;
        for (uint32_t i = 0; i < N; ++i) dad[i] = NIL;
    }

    void InsertNode(uint32_t r)
    {
        int cmp = 1;
        const uint8_t* key = &text[r];
        uint32_t p = N + 1 + key[0];
        rson[r] = lson[r] = NIL;
        matchLength = 0;
        for (;;) {
            if (cmp >= 0) {
                if (rson[p] != NIL) p = rson[p];
                else { rson[p] = r; dad[r] = p; return; }
            } else {
                if (lson[p] != NIL) p = lson[p];
                else { lson[p] = r; dad[r] = p; return; }
            }
            uint32_t i = 1;
            for (; i < F; ++i)
                if ((cmp = int(key[i]) - int(text[p + i])) != 0) break;
            if (i > matchLength) {
                matchPosition = p;
                if ((matchLength = i) >= F) break;
            }
        }
        // A full-length match: the new position replaces the older node.
        dad[r] = dad[p];
        lson[r] = lson[p];
        rson[r] = rson[p];
        dad[lson[p]] = r;
        dad[rson[p]] = r;
        if (rson[dad[p]] == p) rson[dad[p]] = r;
        else lson[dad[p]] = r;
        dad[p] = NIL;
    }

    void DeleteNode(uint32_t p)
    {
        if (dad[p] == NIL) return;
        uint32_t q;
        if (rson[p] == NIL) q = lson[p];
        else if (lson[p] == NIL) q = rson[p];
        else {
            q = lson[p];
            if (rson[q] != NIL) {
                do { q = rson[q]; } while (rson[q] != NIL);
                rson[dad[q]] = lson[q];
                dad[lson[q]] = dad[q];
                lson[q] = lson[p];
                dad[lson[p]] = q;
            }
            rson[q] = rson[p];
            dad[rson[p]] = q;
        }
        dad[q] = dad[p];
        if (rson[dad[p]] == p) rson[dad[p]] = q;
        else lson[dad[p]] = q;
        dad[p] = NIL;
    }

    // Writes the body into out[0..capacity); false when it does not fit.
    bool Run(const uint8_t* in, uint32_t size, uint8_t* out, uint32_t capacity, uint32_t* outSize)
    {
        uint32_t written = 0, pos = 0;
        uint8_t group[17];
        uint32_t groupLength = 1;
        uint8_t mask = 1;
        group[0] = 0;
        InitTree();
        uint32_t s = 0, r = START;
        std::memset(text, 0, sizeof text);   // the window and the look-ahead past the input: output is reproducible
        uint32_t len = 0;
        for (; len < F && pos < size; ++len) text[r + len] = in[pos++];
        for (uint32_t i = 1; i <= F; ++i) InsertNode(r - i);
        InsertNode(r);
        auto flush = [&]() {
            if (capacity - written < groupLength) return false;
            std::memcpy(out + written, group, groupLength);
            written += groupLength;
            group[0] = 0;
            groupLength = 1;
            mask = 1;
            return true;
        };
        do {
            if (matchLength > len) matchLength = len;
            if (matchLength <= THRESHOLD) {
                matchLength = 1;
                group[0] |= mask;
                group[groupLength++] = text[r];
            } else {
                group[groupLength++] = uint8_t(matchPosition);
                group[groupLength++] = uint8_t(((matchPosition >> 4) & 0xF0) | (matchLength - (THRESHOLD + 1)));
            }
            mask = uint8_t(mask << 1);
            if (mask == 0 && !flush()) return false;
            const uint32_t last = matchLength;
            uint32_t i = 0;
            for (; i < last && pos < size; ++i) {
                DeleteNode(s);
                const uint8_t c = in[pos++];
                text[s] = c;
                if (s < F - 1) text[s + N] = c;
                s = (s + 1) & (N - 1);
                r = (r + 1) & (N - 1);
                InsertNode(r);
            }
            while (i++ < last) {
                DeleteNode(s);
                s = (s + 1) & (N - 1);
                r = (r + 1) & (N - 1);
                if (--len) InsertNode(r);
            }
        } while (len > 0);
        if (groupLength > 1 && !flush()) return false;
        *outSize = written;
        return true;
    }
};

} // namespace

// Nothing to set up or release: each call keeps its own window and trees.
bool VornLZSS::Initialize()
{
    VornLog::Title("VornLZSSクラスの初期化");
    return true;
}

void VornLZSS::Finalize() { VornLog::Title("VornLZSSクラスの解放"); }

bool VornLZSS::IsCompressed(const void* src, uint32_t srcSize)
{
    return src && srcSize >= HEADER_SIZE && std::memcmp(src, "LZSS", 4) == 0;
}

uint32_t VornLZSS::GetDecodedSize(const void* src, uint32_t srcSize)
{
    if (!IsCompressed(src, srcSize)) return INVALID_SIZE;
    const uint32_t size = VornBytes::ReadLE32(static_cast<const uint8_t*>(src) + 4);
    // Every 17 stream bytes (a flag byte and eight 2-byte references of 18 bytes) make at most 144:
    // a larger size is a broken header, refused before anyone allocates for it.
    return uint64_t(size) * 17 > uint64_t(srcSize - HEADER_SIZE) * 144 ? INVALID_SIZE : size;
}

bool VornLZSS::Decode(const void* src, uint32_t srcSize, void* dst, uint32_t dstSize)
{
    const uint32_t size = GetDecodedSize(src, srcSize);
    if (size == INVALID_SIZE || size > dstSize) return false;
    return DecodeRaw(static_cast<const uint8_t*>(src) + HEADER_SIZE, srcSize - HEADER_SIZE, dst, size);
}

namespace {

// Copies length bytes from `from` = to - d (d >= 1) as the window does, one byte after another, so
// that a copy overlapping its own output repeats it. May write up to 31 bytes past length: the
// caller keeps that much room. Wide moves are exact whenever d is at least their width.
inline void CopyMatch(uint8_t* to, const uint8_t* from, uint32_t d, uint32_t length)
{
    if (d >= 16) {
        std::memcpy(to, from, 16);
        if (length > 16) std::memcpy(to + 16, from + 16, 16);
    } else if (d >= 8) {
        for (uint32_t k = 0; k < length; k += 8) std::memcpy(to + k, from + k, 8);
    } else {
        for (uint32_t k = 0; k < length; ++k) to[k] = from[k];
    }
}

// One back-reference of the slow path: clamped to the output left, and reading the zero-filled
// window before the first output byte.
void CopyReference(uint8_t* out, uint32_t o, uint32_t d, uint32_t length)
{
    uint8_t* to = out + o;
    if (d <= o) {
        const uint8_t* from = to - d;
        for (uint32_t k = 0; k < length; ++k) to[k] = from[k];
        return;
    }
    for (uint32_t k = 0; k < length; ++k) {
        const uint32_t at = o + k;
        to[k] = at >= d ? out[at - d] : 0;
    }
}

// A whole group (a flag byte and eight items) reads at most 17 bytes and writes at most 8 x 18;
// CopyMatch may run 31 bytes past the last of them.
constexpr uint32_t kGroupIn = 17;
constexpr uint32_t kGroupOutRoom = 8 * 18 + 32;

}  // namespace

// The window is the output itself: window position p, seen from output index o with write position
// r = (4080 + o) mod 4096, holds output byte o - d with d = (r - p) mod 4096 (4096 when d is 0);
// below output index 0 lies the zero-filled start of the window.
bool VornLZSS::DecodeRaw(const void* srcData, uint32_t srcSize, void* dstData, uint32_t dstSize)
{
    if (dstSize == 0) return true;
    if (!srcData || !dstData) return false;
    const uint8_t* in = static_cast<const uint8_t*>(srcData);
    const uint8_t* const inEnd = in + srcSize;
    uint8_t* const out = static_cast<uint8_t*>(dstData);
    uint32_t o = 0;
    while (o < dstSize) {
        if (in >= inEnd) return false;
        uint32_t flags = *in++;
        // Whole groups with room to spare on both sides: no bound tests inside.
        if (static_cast<size_t>(inEnd - in) >= kGroupIn - 1 && dstSize - o >= kGroupOutRoom && o >= N) {
            if (flags == 0xFF) {
                std::memcpy(out + o, in, 8);
                in += 8;
                o += 8;
                continue;
            }
            for (int item = 0; item < 8; ++item, flags >>= 1) {
                if (flags & 1) {
                    out[o++] = *in++;
                    continue;
                }
                const uint32_t b0 = in[0], b1 = in[1];
                in += 2;
                const uint32_t length = (b1 & 0x0F) + 3;
                uint32_t d = ((START + o) - (b0 | ((b1 & 0xF0) << 4))) & (N - 1);
                d += d == 0 ? N : 0;
                CopyMatch(out + o, out + o - d, d, length);
                o += length;
            }
            continue;
        }
        for (int item = 0; item < 8 && o < dstSize; ++item, flags >>= 1) {
            if (flags & 1) {
                if (in >= inEnd) return false;
                out[o++] = *in++;
                continue;
            }
            if (inEnd - in < 2) return false;
            const uint32_t b0 = in[0], b1 = in[1];
            in += 2;
            const uint32_t p = b0 | ((b1 & 0xF0) << 4);
            uint32_t length = (b1 & 0x0F) + 3;
            if (length > dstSize - o) length = dstSize - o;
            uint32_t d = ((START + o) - p) & (N - 1);
            if (d == 0) d = N;
            CopyReference(out, o, d, length);
            o += length;
        }
    }
    return true;
}

uint32_t VornLZSS::GetEncodeBound(uint32_t size)
{
    const uint64_t bound = uint64_t(HEADER_SIZE) + 2ull * size;   // n literals take n + ceil(n / 8)
    return bound > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(bound);
}

bool VornLZSS::EncodeRaw(const void* src, uint32_t size, void* dst, uint32_t dstCapacity, uint32_t* outSize)
{
    if (outSize) *outSize = 0;
    if (!src || !dst || size == 0) return false;
    const uint64_t limit = 2ull * size;
    const uint32_t capacity = uint32_t(dstCapacity < limit ? dstCapacity : limit);
    std::unique_ptr<Encoder> encoder(new (std::nothrow) Encoder);
    if (!encoder) return false;
    uint32_t written = 0;
    if (!encoder->Run(static_cast<const uint8_t*>(src), size, static_cast<uint8_t*>(dst), capacity, &written))
        return false;
    if (outSize) *outSize = written;
    return true;
}

bool VornLZSS::Encode(const void* src, uint32_t size, void* dst, uint32_t dstCapacity, uint32_t* outSize)
{
    if (outSize) *outSize = 0;
    if (!src || !dst || size == 0 || dstCapacity < HEADER_SIZE) return false;
    uint8_t* out = static_cast<uint8_t*>(dst);
    std::memcpy(out, "LZSS", 4);
    VornBytes::WriteLE32(out + 4, size);
    uint32_t body = 0;
    if (!EncodeRaw(src, size, out + HEADER_SIZE, dstCapacity - HEADER_SIZE, &body)) return false;
    if (outSize) *outSize = HEADER_SIZE + body;
    return true;
}
