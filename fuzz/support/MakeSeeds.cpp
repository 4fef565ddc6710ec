// Writes the seed corpora of the fuzz targets into OUT/<target>/: small, valid files of each format
// (built by the format code itself, as the tests build theirs) and a few hand-made edge cases.
#include "VornBytes.h"
#include "VornLZSS.h"
#include "VornPackFormat.h"
#include "VornPadFile.h"
#include "VornPeerWire.h"
#include "VornQrbFormat.h"
#include "VornQsgFormat.h"
#include "VornQxtFormat.h"
#include "XFileWriter.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
std::string g_out;

void Write(const char* target, const char* name, const Bytes& bytes)
{
    const std::string folder = g_out + "/" + target;
    mkdir(g_out.c_str(), 0755);
    mkdir(folder.c_str(), 0755);
    const std::string path = folder + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

Bytes Text(size_t n, uint32_t seed)
{
    static const char* words[] = {"vorn ", "texture ", "model ", "\x82\xcc ", "sprite ", "\r\n", "0.5f, ", "AAAA"};
    Bytes out;
    while (out.size() < n) {
        seed = seed * 1103515245u + 12345u;
        const char* w = words[(seed >> 16) % 8];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(n);
    return out;
}

Bytes Lzss(const Bytes& in, bool header)
{
    Bytes out(VornLZSS::GetEncodeBound(uint32_t(in.size())));
    uint32_t length = 0;
    if (header) VornLZSS::Encode(in.data(), uint32_t(in.size()), out.data(), uint32_t(out.size()), &length);
    else VornLZSS::EncodeRaw(in.data(), uint32_t(in.size()), out.data(), uint32_t(out.size()), &length);
    out.resize(length);
    return out;
}

Bytes Pack(const std::vector<std::pair<std::string, Bytes>>& files)
{
    std::vector<VornPackEntry> table(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        VornPackEntry& e = table[i];
        std::memset(&e, 0, sizeof e);
        std::memcpy(e.name, files[i].first.data(), files[i].first.size());
        e.nameCrc = VornPackFormat::Crc32(files[i].first.data(), files[i].first.size());
        e.dataCrc = VornPackFormat::Crc32(files[i].second.data(), files[i].second.size());
        e.size = uint32_t(files[i].second.size());
    }
    const uint64_t total = VornPackFormat::Layout(table.data(), uint32_t(table.size()));
    Bytes pack(total, 0);
    VornPackFormat::WriteHeader(pack.data(), uint32_t(table.size()));
    for (size_t i = 0; i < table.size(); ++i)
        VornPackFormat::WriteEntry(&pack[VornPackFormat::HEADER_SIZE + i * VornPackFormat::ENTRY_SIZE], table[i]);
    for (const VornPackEntry& e : table) {
        for (const auto& file : files)
            if (!file.second.empty() && std::memcmp(e.name, file.first.data(), file.first.size()) == 0 &&
                e.name[file.first.size()] == 0)
                std::memcpy(pack.data() + e.offset, file.second.data(), file.second.size());
    }
    return pack;
}

Bytes QsgArchive(const char* name, uint32_t width, uint32_t height, uint32_t format)
{
    const uint32_t size = VornQsgFormat::GetPixelDataSize(width, height, format);
    Bytes image(size);
    for (uint32_t i = 0; i < size; ++i) image[i] = uint8_t(i * 37 + format);
    if ((format & 3) == QSG_PIXEL_FLOAT) {
        for (uint32_t i = 0; i < size; i += 4) {
            const float f = float(i % 13) / 12.0f;
            std::memcpy(&image[i], &f, 4);
        }
    }
    const Bytes stored = VornQsgFormat::IsPackedFormat(format) ? Lzss(image, false) : image;
    Bytes out = {'Q', 'S', 'G', 0, 0, 0, 0, 0};
    uint8_t head[32] = {};
    std::memcpy(head, name, std::strlen(name));
    VornBytes::WriteLE32(head + 16, width);
    VornBytes::WriteLE32(head + 20, height);
    VornBytes::WriteLE32(head + 24, format);
    VornBytes::WriteLE32(head + 28, uint32_t(stored.size()));
    out.insert(out.end(), head, head + 32);
    out.insert(out.end(), stored.begin(), stored.end());
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds OUT\n");
        return 2;
    }
    g_out = argv[1];

    // PACK: a plain, a compressed and a Shift-JIS entry (表\ソ.TXT, both with 0x5C trail bytes).
    const Bytes text = Text(700, 1);
    const Bytes pack = Pack({{"A.TXT", Text(40, 2)}, {"TEXTURE\\HERO.BIN", Lzss(text, true)},
                             {"\x95\x5C\\\x83\x5C.TXT", Bytes(3, 'x')}, {"EMPTY", Bytes()}});
    const Bytes emptyPack = {'P', 'A', 'C', 'K', 0, 0, 0, 0};
    for (const char* target : {"pack_directory", "pack_extract"}) {
        Write(target, "three", pack);
        Write(target, "empty", emptyPack);
    }

    // Effect text, X animation keys (type 2, two keys of three floats), a skin mesh, a WAVE file.
    const char* effect = "static const int N = 4;\nfloat4x4 mTransform : WORLDVIEWPROJECTION;\n"
                         "float4 c[N] = {1, 0.5, 1.0/3.0, 1};\nVertexShader vs[2] = { NULL, asm { vs_2_0 mov oPos, v0 } };\n"
                         "technique T < string name = \"t\"; > { pass P { CullMode = None; Texture[0] = NULL;\n"
                         "VertexShader = (vs[1]); } }\n";
    Write("effect_parser", "effect", Bytes(effect, effect + std::strlen(effect)));
    Bytes keys(8 + 2 * 20);
    VornBytes::WriteLE32(keys.data(), 2);
    VornBytes::WriteLE32(keys.data() + 4, 2);
    for (uint32_t k = 0; k < 2; ++k) {
        VornBytes::WriteLE32(keys.data() + 8 + k * 20, k * 10);
        VornBytes::WriteLE32(keys.data() + 12 + k * 20, 3);
    }
    Write("x_keys", "position", keys);
    // An X file with an inline template, a frame, a skinned mesh with a material list, references by
    // name and by GUID and an animation, in text, binary and both compressed forms.
    const std::string x =
        "xof 0303txt 0032\ntemplate Extra { <01020304-0506-0708-090A-0B0C0D0E0F10> DWORD n; array FLOAT v[n]; [...] }\n"
        "Material Red { 1.0;0.0;0.0;1.0;; 5.0; 0.0;0.0;0.0;; 0.0;0.0;0.0;; TextureFilename { \"a\\\\b.bmp\"; } }\n"
        "Frame Root { <11111111-2222-3333-4444-555555555555> FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; }\n"
        " Extra { 2; 1.5, 2; Unknown { 1; { x } } }\n"
        " Mesh m { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 2; 3;0,1,2;, 4;0,1,2,3;;\n"
        "  MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 4;0,0,0,0;; }\n"
        "  MeshTextureCoords { 4; 0;0;, 1;0;, 1;1;, 0;1;; }\n"
        "  MeshMaterialList { 1; 1; 0;; { Red } }\n"
        "  XSkinMeshHeader { 1; 1; 1; }\n"
        "  SkinWeights { \"Root\"; 2; 0, 1; 1.0, 0.5; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } } }\n"
        "AnimationSet Walk { Animation { { Root } { <11111111-2222-3333-4444-555555555555> }\n"
        " AnimationKey { 2; 2; 0; 3; 0, 0, 0;;, 10; 3; 1.0, 2.0, 3.0;;; } } }\n";
    const std::string xb = XFileWriter::ToBinary(x);
    const std::pair<const char*, std::string> xs[] = {
        {"text", x}, {"binary", xb}, {"tzip", XFileWriter::Compress(x)}, {"bzip", XFileWriter::Compress(xb)}};
    for (const auto& s : xs) Write("x_file", s.first, Bytes(s.second.begin(), s.second.end()));
    Write("skin_convert", "quad", {4, 2, 2, 8, 0, 1, 2, 0, 2, 3, 0, 1, 1, 0, 200, 2, 0, 100, 1, 155, 1, 1, 255});
    Bytes wave = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                  1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a', 8, 0, 0, 0};
    for (int i = 0; i < 8; ++i) wave.push_back(uint8_t(i * 37));
    VornBytes::WriteLE32(wave.data() + 4, uint32_t(wave.size() - 8));
    Write("tuvra_wave", "tone", wave);
    Write("music_bytes", "wave", wave);
    Write("music_bytes", "midi", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0xFF, 0x2F, 0});

    // LZSS: whole streams for the decoder, [size lo, size hi] + body for the raw decoder.
    Write("lzss", "text", Lzss(text, true));
    Write("lzss", "zeros", Lzss(Bytes(300, 0), true));
    Write("lzss", "overlap", {'L', 'Z', 'S', 'S', 19, 0, 0, 0, 0x01, 'A', 0xF0, 0xFF});
    Bytes raw = {uint8_t(text.size()), uint8_t(text.size() >> 8)};
    const Bytes body = Lzss(text, false);
    raw.insert(raw.end(), body.begin(), body.end());
    Write("lzss", "raw", raw);
    Write("lzss_roundtrip", "text", text);
    Write("lzss_roundtrip", "run", Bytes(100, 'x'));

    // QSG: one archive per pixel format, the wanted name in front ([length][name][archive]).
    for (uint32_t format = 0; format < QSG_PIXEL_FORMAT_COUNT; ++format) {
        Bytes seed = {3, 'h', 'e', 'r'};
        const Bytes archive = QsgArchive("her", 3, 2, format);
        seed.insert(seed.end(), archive.begin(), archive.end());
        Write("qsg", ("format" + std::to_string(format)).c_str(), seed);
        Bytes pixels = {uint8_t(format), 2};
        pixels.insert(pixels.end(), archive.begin() + 40, archive.end());
        Write("qsg_pixels", ("format" + std::to_string(format)).c_str(), pixels);
    }

    // QXT: one sheet, three glyphs ('A', 'B' and the two-byte 0x82A0).
    Bytes qxt(VornQxtFormat::FileSize(1, 3), 0xFF);
    std::memcpy(qxt.data(), "QXT", 4);
    qxt[4] = 16;
    qxt[5] = 1;
    VornBytes::WriteLE16(&qxt[6], 256);
    VornBytes::WriteLE16(&qxt[8], 256);
    VornBytes::WriteLE16(&qxt[10], 3);
    const uint16_t codes[3] = {'A', 'B', 0x82A0};
    for (uint16_t g = 0; g < 3; ++g)
        VornBytes::WriteLE16(&qxt[VornQxtFormat::CODE_TABLE_OFFSET + 2 * VornQxtFormat::GetCodeIndex(codes[g])], g);
    std::memset(&qxt[VornQxtFormat::NAMES_OFFSET], 0, VornQxtFormat::NAME_SIZE);
    std::memcpy(&qxt[VornQxtFormat::NAMES_OFFSET], "font0", 5);
    for (uint16_t g = 0; g < 3; ++g) {
        const VornFontGlyph glyph = {0, 1, 10, 1, uint16_t(g * 12), 0, uint16_t(g * 12 + 10), 18};
        VornQxtFormat::EncodeGlyph(&qxt[VornQxtFormat::NAMES_OFFSET + VornQxtFormat::NAME_SIZE + g * 12u], glyph);
    }
    Write("qxt", "three", qxt);

    // QRB: a scrambled text.
    const Bytes plain = Text(100, 3);
    Bytes qrb(VornQrbFormat::HEADER_SIZE + plain.size());
    VornQrbFormat::WriteHeader(qrb.data(), uint32_t(plain.size()));
    VornQrbFormat::Scramble(plain.data(), &qrb[VornQrbFormat::HEADER_SIZE], uint32_t(plain.size()));
    Write("qrb", "text", qrb);

    // PAD: two tracks of three frames.
    Bytes pad(VornPadFile::FileSize(2, 3));
    VornPadFile::WriteHeader(pad.data(), 2, 3);
    VornPadFrame frames[6];
    for (uint32_t i = 0; i < 6; ++i) frames[i] = {1u << i, 2u << i, 3u * i, 0x80000000u >> i};
    VornPadFile::EncodeFrames(&pad[VornPadFile::HEADER_SIZE], frames, 6);
    Write("pad", "two", pad);

    // Peer frames: a stream of every frame type (a full welcome among them), and the two datagrams.
    using namespace VornPeerWire;
    Bytes stream;
    Frame f;
    f.name = u"player";
    f.desc.name = u"\u90e8\u5c4b";
    f.desc.maxPlayers = 32;
    for (uint32_t i = 0; i < 3; ++i) f.roster.push_back({i + 1, 0x0100007Fu, uint16_t(6400 + i), u"p"});
    const uint8_t payload[5] = {1, 2, 3, 4, 5};
    f.payload = payload;
    f.payloadSize = 5;
    for (Type t : {JOIN, WELCOME, REFUSE, HELLO, DATA}) {
        f.type = t;
        Encode(f, &stream);
    }
    Write("peer_wire", "stream", stream);
    for (Type t : {QUERY, ANSWER}) {
        Bytes datagram;
        f.type = t;
        Encode(f, &datagram);
        Write("peer_wire", t == QUERY ? "query" : "answer", datagram);
    }

    // Peer sessions: step sequences (fuzz/peer_session.cpp reads op, peer, then the op's bytes).
    // A stranger's frame is: type, application, instance, id, host id, next id, u32 result, port,
    // description application, maximum, n entries (pick, id each), payload length.
    auto frame = [](uint8_t type, uint8_t id, uint8_t entries) {
        Bytes f = {type, 1, 1, id, 1, 0, 0, 0, 0, 0, 0, 1, 4, entries};
        for (uint8_t i = 0; i < entries; ++i) f.insert(f.end(), {uint8_t(i * 4), uint8_t(i + 1)});
        f.push_back(3);
        return f;
    };
    const Bytes head = {1, 1, 4};   // whole deliveries, host migration, at most 4 players
    Bytes joins = head;
    joins.insert(joins.end(), {5, 0, 5, 0, 7, 1, 0, 3, 6, 0, 4, 0, 60, 5, 1, 5, 0, 6, 2, 4, 0, 80});
    Write("peer_session", "joins", joins);
    Bytes strangers = head;
    for (uint8_t type = 1; type < TYPE_END; ++type) {
        strangers.insert(strangers.end(), {0, uint8_t(type % 2), 0, 1, 0, uint8_t(type - 1)});
        const Bytes f = frame(uint8_t(type - 1), uint8_t(7 + type), 2);
        strangers.insert(strangers.end(), f.begin(), f.end());
    }
    strangers.insert(strangers.end(), {4, 0, 60, 3, 0, 0});
    Write("peer_session", "strangers", strangers);
    Bytes fakeHost = head;
    fakeHost.insert(fakeHost.end(), {8, 0, 1, 0, 0});
    const Bytes welcome = frame(1, 5, 3);
    fakeHost.insert(fakeHost.end(), welcome.begin(), welcome.end());
    fakeHost.insert(fakeHost.end(), {5, 2, 3, 0, 0, 4, 0, 120});
    Write("peer_session", "fake_host", fakeHost);
    // Three more joiners, each linked to the member too, then a stranger linked to the member says a frame.
    Bytes mesh = head;
    mesh.insert(mesh.end(), {5, 0, 5, 0, 5, 0, 0, 1, 0, 1, 0, 0});
    const Bytes join = frame(0, 9, 0);
    mesh.insert(mesh.end(), join.begin(), join.end());
    Write("peer_session", "mesh", mesh);
    return 0;
}
