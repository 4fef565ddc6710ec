#include "VornXFormat.h"
#include "VornBytes.h"
#include "VornLog.h"
#include <zlib.h>
#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>

#define VORN_X_TEXT_HEADER "xof 0303txt 0032\n"

// The templates every reader knows, in the order of VornXType.
const char kVornXStandardTemplates[] =
    VORN_X_TEXT_HEADER
    "template Header { <3D82AB43-62DA-11cf-AB39-0020AF71E433> WORD major; WORD minor; DWORD flags; }\n"
    "template Vector { <3D82AB5E-62DA-11cf-AB39-0020AF71E433> FLOAT x; FLOAT y; FLOAT z; }\n"
    "template Coords2d { <F6F23F44-7686-11cf-8F52-0040333594A3> FLOAT u; FLOAT v; }\n"
    "template Matrix4x4 { <F6F23F45-7686-11cf-8F52-0040333594A3> array FLOAT matrix[16]; }\n"
    "template ColorRGBA { <35FF44E0-6C7C-11cf-8F52-0040333594A3> FLOAT red; FLOAT green; FLOAT blue; FLOAT alpha; }\n"
    "template ColorRGB { <D3E16E81-7835-11cf-8F52-0040333594A3> FLOAT red; FLOAT green; FLOAT blue; }\n"
    "template IndexedColor { <1630B820-7842-11cf-8F52-0040333594A3> DWORD index; ColorRGBA indexColor; }\n"
    "template Boolean { <4885AE61-78E8-11cf-8F52-0040333594A3> WORD truefalse; }\n"
    "template Boolean2d { <4885AE63-78E8-11cf-8F52-0040333594A3> Boolean u; Boolean v; }\n"
    "template MaterialWrap { <4885AE60-78E8-11cf-8F52-0040333594A3> Boolean u; Boolean v; }\n"
    "template TextureFilename { <A42790E1-7810-11cf-8F52-0040333594A3> STRING filename; }\n"
    "template Material { <3D82AB4D-62DA-11cf-AB39-0020AF71E433> ColorRGBA faceColor; FLOAT power;"
    " ColorRGB specularColor; ColorRGB emissiveColor; [...] }\n"
    "template MeshFace { <3D82AB5F-62DA-11cf-AB39-0020AF71E433> DWORD nFaceVertexIndices;"
    " array DWORD faceVertexIndices[nFaceVertexIndices]; }\n"
    "template MeshFaceWraps { <4885AE62-78E8-11cf-8F52-0040333594A3> DWORD nFaceWrapValues; Boolean2d faceWrapValues; }\n"
    "template MeshTextureCoords { <F6F23F40-7686-11cf-8F52-0040333594A3> DWORD nTextureCoords;"
    " array Coords2d textureCoords[nTextureCoords]; }\n"
    "template MeshMaterialList { <F6F23F42-7686-11cf-8F52-0040333594A3> DWORD nMaterials; DWORD nFaceIndexes;"
    " array DWORD faceIndexes[nFaceIndexes]; [Material] }\n"
    "template MeshNormals { <F6F23F43-7686-11cf-8F52-0040333594A3> DWORD nNormals; array Vector normals[nNormals];"
    " DWORD nFaceNormals; array MeshFace faceNormals[nFaceNormals]; }\n"
    "template MeshVertexColors { <1630B821-7842-11cf-8F52-0040333594A3> DWORD nVertexColors;"
    " array IndexedColor vertexColors[nVertexColors]; }\n"
    "template Mesh { <3D82AB44-62DA-11cf-AB39-0020AF71E433> DWORD nVertices; array Vector vertices[nVertices];"
    " DWORD nFaces; array MeshFace faces[nFaces]; [...] }\n"
    "template FrameTransformMatrix { <F6F23F41-7686-11cf-8F52-0040333594A3> Matrix4x4 frameMatrix; }\n"
    "template Frame { <3D82AB46-62DA-11cf-AB39-0020AF71E433> [...] }\n"
    "template FloatKeys { <10DD46A9-775B-11cf-8F52-0040333594A3> DWORD nValues; array FLOAT values[nValues]; }\n"
    "template TimedFloatKeys { <F406B180-7B3B-11cf-8F52-0040333594A3> DWORD time; FloatKeys tfkeys; }\n"
    "template AnimationKey { <10DD46A8-775B-11cf-8F52-0040333594A3> DWORD keyType; DWORD nKeys;"
    " array TimedFloatKeys keys[nKeys]; }\n"
    "template AnimationOptions { <E2BF56C0-840F-11cf-8F52-0040333594A3> DWORD openclosed; DWORD positionquality; }\n"
    "template Animation { <3D82AB4F-62DA-11cf-AB39-0020AF71E433> [...] }\n"
    "template AnimationSet { <3D82AB50-62DA-11cf-AB39-0020AF71E433> [Animation] }\n";

const char kVornXSkinTemplates[] =
    VORN_X_TEXT_HEADER
    "template XSkinMeshHeader { <3CF169CE-FF7C-44ab-93C0-F78F62D172E2> WORD nMaxSkinWeightsPerVertex;"
    " WORD nMaxSkinWeightsPerFace; WORD nBones; }\n"
    "template VertexDuplicationIndices { <B8D65549-D7C9-4995-89CF-53A9A8B031E3> DWORD nIndices;"
    " DWORD nOriginalVertices; array DWORD indices[nIndices]; }\n"
    "template SkinWeights { <6F0D123B-BAD2-4167-A0D0-80224F25FABB> STRING transformNodeName; DWORD nWeights;"
    " array DWORD vertexIndices[nWeights]; array FLOAT weights[nWeights]; Matrix4x4 matrixOffset; }\n";

const char kVornXTicksTemplate[] =
    VORN_X_TEXT_HEADER
    "template AnimTicksPerSecond { <9E415A43-7BA6-4a73-8743-B73D47E88476> DWORD AnimTicksPerSecond; }\n";

bool operator==(const VornXGuid& a, const VornXGuid& b)
{
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 && memcmp(a.data4, b.data4, 8) == 0;
}

namespace {

// Value kinds of template members.
enum Kind : uint8_t { K_WORD, K_DWORD, K_FLOAT, K_DOUBLE, K_CHAR, K_UCHAR, K_SWORD, K_SDWORD, K_STRING, K_TEMPLATE };

struct KindName {
    const char* name;
    Kind kind;
};
const KindName kKinds[] = {{"WORD", K_WORD},     {"DWORD", K_DWORD},   {"FLOAT", K_FLOAT},   {"DOUBLE", K_DOUBLE},
                           {"CHAR", K_CHAR},     {"UCHAR", K_UCHAR},   {"BYTE", K_UCHAR},    {"SWORD", K_SWORD},
                           {"SDWORD", K_SDWORD}, {"STRING", K_STRING}, {"LPSTR", K_STRING},  {"CSTRING", K_STRING},
                           {"UNICODE", K_STRING}};

constexpr uint32_t kMaxMembers = 64;     // members of one template
constexpr uint32_t kMaxNesting = 32;     // templates inside templates
constexpr uint32_t kMaxDepth = 1024;     // objects inside objects
constexpr uint32_t kMsZipBlock = 32768;

struct Member {
    Kind kind;
    int32_t type;                  // K_TEMPLATE: the template's index
    std::string name;
    std::vector<int64_t> dims;     // >= 0 a fixed size, < 0 -(1 + the member giving the size)
};

struct Template {
    std::string name;
    VornXGuid guid = {};
    std::vector<Member> members;
    bool hasValues = false;        // some member, here or nested, holds a value
    bool broken = false;           // names an unknown type: its objects are skipped
};

// Binary token codes.
enum : uint16_t {
    B_NAME = 1, B_STRING = 2, B_INTEGER = 3, B_GUID = 5, B_INTEGER_LIST = 6, B_FLOAT_LIST = 7,
    B_OBRACE = 10, B_CBRACE = 11, B_OPAREN = 12, B_CPAREN = 13, B_OBRACKET = 14, B_CBRACKET = 15,
    B_OANGLE = 16, B_CANGLE = 17, B_DOT = 18, B_COMMA = 19, B_SEMICOLON = 20, B_TEMPLATE = 31,
    B_WORD = 40, B_DWORD = 41, B_FLOAT = 42, B_DOUBLE = 43, B_CHAR = 44, B_UCHAR = 45, B_SWORD = 46,
    B_SDWORD = 47, B_VOID = 48, B_LPSTR = 49, B_UNICODE = 50, B_CSTRING = 51, B_ARRAY = 52,
};

enum TokenKind : uint8_t { T_END, T_ERROR, T_NAME, T_STRING, T_INT, T_FLOAT, T_GUID, T_PUNCT };

struct Token {
    TokenKind kind = T_END;
    char punct = 0;
    const char* text = nullptr;   // name, string, or a number as written (text encoding)
    size_t length = 0;
    bool binary = false;          // numbers: value holds it
    double value = 0;
    uint32_t integer = 0;
    VornXGuid guid = {};
};

bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == 0; }
bool IsDelimiter(uint8_t c)
{
    return IsSpace(c) || c == '{' || c == '}' || c == '[' || c == ']' || c == '(' || c == ')' || c == '<' || c == '>' ||
           c == ',' || c == ';' || c == '"' || c == '#';
}
bool IsNumberChar(uint8_t c) { return (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'; }
bool IsLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

int Hex(uint8_t c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Hex digits into value; false on a non-hex byte.
bool HexRun(const char* p, int n, uint64_t* value)
{
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) {
        const int h = Hex(static_cast<uint8_t>(p[i]));
        if (h < 0) return false;
        v = v << 4 | static_cast<uint64_t>(h);
    }
    *value = v;
    return true;
}

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (36 bytes).
bool ParseGuidText(const char* p, VornXGuid* g)
{
    uint64_t a, b, c, d, e;
    if (!HexRun(p, 8, &a) || p[8] != '-' || !HexRun(p + 9, 4, &b) || p[13] != '-' || !HexRun(p + 14, 4, &c) ||
        p[18] != '-' || !HexRun(p + 19, 4, &d) || p[23] != '-' || !HexRun(p + 24, 12, &e))
        return false;
    g->data1 = static_cast<uint32_t>(a);
    g->data2 = static_cast<uint16_t>(b);
    g->data3 = static_cast<uint16_t>(c);
    g->data4[0] = static_cast<uint8_t>(d >> 8);
    g->data4[1] = static_cast<uint8_t>(d);
    for (int i = 0; i < 6; ++i) g->data4[2 + i] = static_cast<uint8_t>(e >> (8 * (5 - i)));
    return true;
}

// Tokens of the text or the binary encoding, one at a time, with one token of look-ahead.
class Lexer
{
public:
    Lexer(const uint8_t* p, size_t n, bool binary, bool wide) : p_(p), end_(p + n), start_(p), binary_(binary), wide_(wide) {}

    const Token& Peek()
    {
        if (!peeked_) {
            next_ = binary_ ? ReadBinary() : ReadText();
            peeked_ = true;
        }
        return next_;
    }
    Token Next()
    {
        Peek();
        peeked_ = false;
        ++taken_;
        return next_;
    }
    // Tokens taken so far: a pass over values that takes none would take none again.
    uint64_t Taken() const { return taken_; }
    // What the last bad token was (empty when none was met).
    const std::string& ErrorText() const { return error_; }
    // Where the reader stands, for messages: a line in text, a byte offset in binary.
    std::string Where() const
    {
        if (binary_) return "offset " + std::to_string(p_ - start_);
        size_t line = 1;
        for (const uint8_t* q = start_; q < p_; ++q) line += *q == '\n';
        return "line " + std::to_string(line);
    }

private:
    Token Error(const std::string& what)
    {
        if (error_.empty()) error_ = what;
        Token t;
        t.kind = T_ERROR;
        return t;
    }

    Token ReadText()
    {
        for (;;) {
            while (p_ < end_ && IsSpace(*p_)) ++p_;
            if (p_ >= end_) return Token();
            if (*p_ == '#' || (*p_ == '/' && p_ + 1 < end_ && p_[1] == '/')) {
                while (p_ < end_ && *p_ != '\n') ++p_;
                continue;
            }
            break;
        }
        Token t;
        const uint8_t c = *p_;
        if (c == '"') {
            const uint8_t* s = ++p_;
            while (p_ < end_ && *p_ != '"') ++p_;
            if (p_ >= end_) return Error("a string is not closed");
            t.kind = T_STRING;
            t.text = reinterpret_cast<const char*>(s);
            t.length = static_cast<size_t>(p_ - s);
            ++p_;
            return t;
        }
        if (c == '<') {
            const uint8_t* s = p_ + 1;
            while (s < end_ && IsSpace(*s)) ++s;
            if (end_ - s < 36 || !ParseGuidText(reinterpret_cast<const char*>(s), &t.guid)) return Error("a bad GUID");
            s += 36;
            while (s < end_ && IsSpace(*s)) ++s;
            if (s >= end_ || *s != '>') return Error("a bad GUID");
            p_ = s + 1;
            t.kind = T_GUID;
            return t;
        }
        if (IsDelimiter(c)) {
            ++p_;
            t.kind = T_PUNCT;
            t.punct = static_cast<char>(c);
            return t;
        }
        const uint8_t* s = p_;
        bool number = true;
        while (p_ < end_ && !IsDelimiter(*p_)) {
            number = number && IsNumberChar(*p_);
            ++p_;
        }
        // "1.#QNAN0", "-1.#IND00", "1.#INF00": what one common runtime writes for NaN and infinity.
        // The "#" belongs to the number here; elsewhere it starts a comment.
        if (number && p_ + 1 < end_ && *p_ == '#' && p_ - s >= 2 && p_[-1] == '.' && IsLetter(p_[1])) {
            const uint8_t* word = ++p_;
            while (p_ < end_ && !IsDelimiter(*p_)) ++p_;
            const std::string w(reinterpret_cast<const char*>(word), static_cast<size_t>(p_ - word));
            const bool nan = w.compare(0, 4, "QNAN") == 0 || w.compare(0, 4, "SNAN") == 0 || w.compare(0, 3, "IND") == 0;
            if (!nan && w.compare(0, 3, "INF") != 0) return Error("a bad number " + std::string(reinterpret_cast<const char*>(s), p_ - s));
            t.kind = T_FLOAT;
            t.binary = true;   // the value is held, not the text
            t.value = nan ? std::numeric_limits<double>::quiet_NaN()
                          : (*s == '-' ? -1.0 : 1.0) * std::numeric_limits<double>::infinity();
            return t;
        }
        t.text = reinterpret_cast<const char*>(s);
        t.length = static_cast<size_t>(p_ - s);
        // A number starts with a digit, a sign or a point and holds nothing but number characters.
        const bool digitStart = (*s >= '0' && *s <= '9') ||
                                ((*s == '-' || *s == '+' || *s == '.') && t.length > 1 &&
                                 ((s[1] >= '0' && s[1] <= '9') || s[1] == '.'));
        if (number && digitStart) {
            bool integer = true;
            for (size_t i = 0; i < t.length; ++i) integer = integer && s[i] != '.' && s[i] != 'e' && s[i] != 'E';
            t.kind = integer ? T_INT : T_FLOAT;
        } else {
            t.kind = T_NAME;
        }
        return t;
    }

    bool Have(size_t n) const { return static_cast<size_t>(end_ - p_) >= n; }
    uint32_t Dword()
    {
        const uint32_t v = VornBytes::ReadLE32(p_);
        p_ += 4;
        return v;
    }

    Token ReadBinary()
    {
        Token t;
        t.binary = true;
        if (listLeft_ > 0) {
            --listLeft_;
            if (listFloat_) {
                t.kind = T_FLOAT;
                if (wide_) {
                    uint64_t bits = VornBytes::ReadLE32(p_) | static_cast<uint64_t>(VornBytes::ReadLE32(p_ + 4)) << 32;
                    double d;
                    memcpy(&d, &bits, 8);
                    t.value = d;
                    p_ += 8;
                } else {
                    const uint32_t bits = Dword();
                    float f;
                    memcpy(&f, &bits, 4);
                    t.value = f;
                }
            } else {
                t.kind = T_INT;
                t.integer = Dword();
                t.value = t.integer;
            }
            return t;
        }
        static const char* const kKeywords[] = {"WORD", "DWORD", "FLOAT", "DOUBLE", "CHAR", "UCHAR", "SWORD",
                                                "SDWORD", "VOID", "LPSTR", "UNICODE", "CSTRING", "array"};
        for (;;) {
        // One byte after the last token is no token: the file ends there, as other readers take it.
        if (!Have(2)) {
            p_ = end_;
            return t;
        }
        const uint16_t code = VornBytes::ReadLE16(p_);
        p_ += 2;
        switch (code) {
        case B_NAME:
        case B_STRING: {
            const char* what = code == B_NAME ? "a name" : "a string";
            if (!Have(4)) return Error(std::string(what) + " without its length");
            const uint32_t n = Dword();
            if (!Have(n)) return Error(std::string(what) + " of " + std::to_string(n) + " bytes is longer than the file");
            t.kind = code == B_NAME ? T_NAME : T_STRING;
            t.text = reinterpret_cast<const char*>(p_);
            t.length = n;
            p_ += n;
            if (code == B_STRING) {   // the terminator: a semicolon or comma token, as a dword
                if (!Have(4)) return Error("a string without its terminator");
                p_ += 4;
            }
            return t;
        }
        case B_INTEGER:
            if (!Have(4)) return Error("an integer is cut short");
            t.kind = T_INT;
            t.integer = Dword();
            t.value = t.integer;
            return t;
        case B_GUID:
            if (!Have(16)) return Error("a GUID is cut short");
            t.kind = T_GUID;
            t.guid.data1 = Dword();
            t.guid.data2 = VornBytes::ReadLE16(p_);
            t.guid.data3 = VornBytes::ReadLE16(p_ + 2);
            memcpy(t.guid.data4, p_ + 4, 8);
            p_ += 12;
            return t;
        case B_INTEGER_LIST:
        case B_FLOAT_LIST: {
            const char* what = code == B_FLOAT_LIST ? "a float list" : "an integer list";
            if (!Have(4)) return Error(std::string(what) + " without its length");
            const uint32_t n = Dword();
            const size_t each = code == B_FLOAT_LIST && wide_ ? 8 : 4;
            if (static_cast<size_t>(end_ - p_) / each < n)
                return Error(std::string(what) + " of " + std::to_string(n) + " numbers is longer than the file");
            listFloat_ = code == B_FLOAT_LIST;
            listLeft_ = n;
            if (n == 0) continue;   // an empty list: the token after it
            return ReadBinary();
        }
        case B_OBRACE: case B_CBRACE: case B_OPAREN: case B_CPAREN: case B_OBRACKET: case B_CBRACKET:
        case B_OANGLE: case B_CANGLE: case B_DOT: case B_COMMA: case B_SEMICOLON: {
            static const char kPunct[] = "{}()[]<>.,;";
            t.kind = T_PUNCT;
            t.punct = kPunct[code - B_OBRACE];
            return t;
        }
        case B_TEMPLATE:
            t.kind = T_NAME;
            t.text = "template";
            t.length = 8;
            return t;
        default:
            if (code >= B_WORD && code <= B_ARRAY) {
                t.kind = T_NAME;
                t.text = kKeywords[code - B_WORD];
                t.length = strlen(t.text);
                return t;
            }
            return Error("an unknown token code " + std::to_string(code));
        }
        }
    }

    const uint8_t* p_;
    const uint8_t* end_;
    const uint8_t* start_;
    bool binary_, wide_;
    bool peeked_ = false;
    Token next_;
    uint32_t listLeft_ = 0;
    bool listFloat_ = false;
    uint64_t taken_ = 0;
    std::string error_;
};

bool Is(const Token& t, const char* word)
{
    return t.kind == T_NAME && t.length == strlen(word) && memcmp(t.text, word, t.length) == 0;
}
bool IsPunct(const Token& t, char c) { return t.kind == T_PUNCT && t.punct == c; }
// A name as written: a word, or in text anything that reads as a number ("1", "1.5", "2e").
bool IsName(const Token& t) { return t.kind == T_NAME || ((t.kind == T_INT || t.kind == T_FLOAT) && !t.binary); }
std::string Text(const Token& t) { return std::string(t.text ? t.text : "", t.length); }

// A double that is a whole number within 64 bits.
bool Whole(double d, int64_t* v)
{
    if (!(d >= -9.2e18 && d <= 9.2e18) || d != std::floor(d)) return false;
    *v = static_cast<int64_t>(d);
    return true;
}

// A double as a float; past the float range it becomes infinite (NaN stays NaN).
float ToFloat(double d)
{
    if (d > FLT_MAX) return HUGE_VALF;
    if (d < -FLT_MAX) return -HUGE_VALF;
    return static_cast<float>(d);
}

}  // namespace

class VornXParser
{
public:
    VornXParser(VornXDocument& doc, const std::vector<Template>* known, size_t budget = SIZE_MAX)
        : doc_(doc), budget_(budget), known_(known) {}

    // Reads templates and top-level objects up to the end of the body.
    bool Run(Lexer& lex);
    // Points every reference at its object; a missing one is logged. False (refused) when the
    // meshes frames place by reference would cost more than the budget.
    bool Resolve();
    std::vector<Template>& Own() { return own_; }

private:
    const Template& At(int32_t i) const { return i < static_cast<int32_t>(Known()) ? (*known_)[i] : own_[i - Known()]; }
    size_t Known() const { return known_ ? known_->size() : 0; }
    int32_t Find(const std::string& name) const
    {
        const auto it = names_.find(name);
        if (it != names_.end()) return it->second;
        for (size_t i = 0; i < Known(); ++i)
            if ((*known_)[i].name == name) return static_cast<int32_t>(i);
        return -1;
    }
    bool Fail(Lexer& lex, const std::string& what)
    {
        // A bad token is the cause of whatever the parser then finds missing.
        if (doc_.error_.empty()) doc_.error_ = (lex.ErrorText().empty() ? what : lex.ErrorText()) + " (" + lex.Where() + ")";
        return false;
    }
    // Counts what the document takes; false (refused) past the budget.
    bool Spend(Lexer& lex, size_t bytes)
    {
        spent_ += bytes;
        if (spent_ <= budget_) return true;
        return Fail(lex, "the file needs more than " + std::to_string(budget_) + " bytes of memory");
    }

    bool ParseTemplate(Lexer& lex);
    bool ParseObject(Lexer& lex, const Token& type, int32_t parent, int32_t* last, uint32_t depth);
    void Link(int32_t parent, int32_t* last, int32_t index);
    bool ParseChildren(Lexer& lex, int32_t parent, uint32_t depth);
    bool ParseValues(Lexer& lex, const Template& t, uint32_t nesting);
    bool ReadScalar(Lexer& lex, Kind kind, uint32_t* out);
    bool SkipBody(Lexer& lex);

    VornXDocument& doc_;
    std::vector<std::pair<VornXGuid, int32_t>> guids_;   // objects that carry their own GUID
    bool short_ = false;                                   // the object being read ended early
    size_t spent_ = 0, budget_;                            // bytes the document takes, and may take
    const std::vector<Template>* known_;
    std::vector<Template> own_;
    std::unordered_map<std::string, int32_t> names_;   // the file's own templates
};

namespace {

// Parses the known templates once: the first reader builds them, every later one shares them.
const std::vector<Template>& KnownTemplates()
{
    static const std::vector<Template> known = [] {
        VornXDocument scratch;
        VornXParser parser(scratch, nullptr);
        for (const char* text : {kVornXStandardTemplates, kVornXSkinTemplates, kVornXTicksTemplate}) {
            Lexer lex(reinterpret_cast<const uint8_t*>(text) + 16, strlen(text) - 16, false, false);
            parser.Run(lex);
        }
        return parser.Own();
    }();
    return known;
}

}  // namespace

bool VornXParser::ReadScalar(Lexer& lex, Kind kind, uint32_t* out)
{
    while (IsPunct(lex.Peek(), ',') || IsPunct(lex.Peek(), ';')) lex.Next();
    // The object's end, a reference or a child object before its values end: it is cut short.
    const Token& next = lex.Peek();
    if (IsPunct(next, '}') || IsPunct(next, '{') || next.kind == T_NAME) {
        short_ = true;
        return false;
    }
    const Token t = lex.Next();
    if (kind == K_STRING) {
        if (t.kind != T_STRING) return Fail(lex, "a string is missing");
        *out = static_cast<uint32_t>(doc_.strings.size());
        doc_.strings.emplace_back(t.text, t.length);
        return Spend(lex, sizeof(std::string) + t.length);
    }
    if (t.kind != T_INT && t.kind != T_FLOAT) return Fail(lex, "a number is missing");
    if (kind == K_FLOAT || kind == K_DOUBLE) {
        float f;
        if (t.binary) {
            f = ToFloat(t.value);
        } else {
            const char* s = t.text + (t.text[0] == '+');
            if (std::from_chars(s, t.text + t.length, f).ec != std::errc()) return Fail(lex, "a bad number");
        }
        memcpy(out, &f, 4);
        return true;
    }
    // Integers: as written; a float token counts only when it is a whole number.
    int64_t v;
    if (t.binary) {
        if (t.kind == T_INT) v = t.integer;
        else if (!Whole(t.value, &v)) return Fail(lex, "a whole number is missing");
    } else if (t.kind == T_INT) {
        const char* s = t.text + (t.text[0] == '+');
        if (std::from_chars(s, t.text + t.length, v).ec != std::errc()) return Fail(lex, "a bad number");
    } else {
        double d;
        if (std::from_chars(t.text, t.text + t.length, d).ec != std::errc() || !Whole(d, &v))
            return Fail(lex, "a whole number is missing");
    }
    *out = static_cast<uint32_t>(v);
    return true;
}

bool VornXParser::ParseValues(Lexer& lex, const Template& t, uint32_t nesting)
{
    if (nesting > kMaxNesting) return Fail(lex, "templates nested too deep");
    uint32_t scalars[kMaxMembers];
    for (size_t m = 0; m < t.members.size(); ++m) {
        const Member& member = t.members[m];
        uint64_t count = 1;
        for (int64_t d : member.dims) {
            count *= d >= 0 ? static_cast<uint64_t>(d) : scalars[-d - 1];
            if (count > 0xFFFFFFFFu) return Fail(lex, "an array too large");
        }
        scalars[m] = 0;
        if (member.kind == K_TEMPLATE) {
            const Template& sub = At(member.type);
            if (!sub.hasValues) continue;
            // Every pass takes a token, or none does (its arrays are all empty): so the passes made
            // are bounded by the tokens left, whatever the counts multiply to.
            for (uint64_t i = 0; i < count; ++i) {
                const uint64_t before = lex.Taken();
                if (!ParseValues(lex, sub, nesting + 1)) return false;
                if (lex.Taken() == before) break;
            }
            continue;
        }
        for (uint64_t i = 0; i < count; ++i) {
            uint32_t v;
            if (!ReadScalar(lex, member.kind, &v)) return false;
            if (i == 0) scalars[m] = v;
            doc_.cells.push_back(v);
            if ((doc_.cells.size() & 0xFFF) == 0 && !Spend(lex, 0x1000 * sizeof(uint32_t))) return false;
        }
    }
    return true;
}

bool VornXParser::SkipBody(Lexer& lex)
{
    uint32_t depth = 1;
    while (depth > 0) {
        const Token t = lex.Next();
        if (t.kind == T_END || t.kind == T_ERROR) return Fail(lex, "an object is not closed");
        if (IsPunct(t, '{')) ++depth;
        else if (IsPunct(t, '}')) --depth;
    }
    return true;
}

bool VornXParser::ParseTemplate(Lexer& lex)
{
    Template t;
    Token name = lex.Next();
    if (name.kind != T_NAME) return Fail(lex, "a template without a name");
    t.name = Text(name);
    if (!IsPunct(lex.Next(), '{')) return Fail(lex, "template " + t.name + " has no body");
    if (lex.Peek().kind == T_GUID) t.guid = lex.Next().guid;
    for (;;) {
        Token tok = lex.Next();
        if (IsPunct(tok, '}')) break;
        if (IsPunct(tok, ';') || IsPunct(tok, ',')) continue;
        if (IsPunct(tok, '[')) {   // "[...]" or a list of the children allowed: both read alike
            while (!IsPunct(tok = lex.Next(), ']'))
                if (tok.kind == T_END || tok.kind == T_ERROR) return Fail(lex, "template " + t.name + " is not closed");
            continue;
        }
        if (tok.kind != T_NAME) return Fail(lex, "template " + t.name + " is not closed");
        const bool array = Is(tok, "array");
        if (array) tok = lex.Next();
        if (tok.kind != T_NAME) return Fail(lex, "template " + t.name + ": a member without a type");
        Member m;
        m.kind = K_TEMPLATE;
        m.type = -1;
        for (const KindName& k : kKinds)
            if (Is(tok, k.name)) m.kind = k.kind;
        if (m.kind == K_TEMPLATE) {
            m.type = Find(Text(tok));
            if (m.type < 0 || At(m.type).broken) t.broken = true;
            else t.hasValues = t.hasValues || At(m.type).hasValues;
        } else {
            t.hasValues = true;
        }
        if (lex.Peek().kind == T_NAME) m.name = Text(lex.Next());
        while (IsPunct(lex.Peek(), '[')) {
            lex.Next();
            const Token d = lex.Next();
            if (d.kind == T_INT) {
                uint32_t v = d.integer;
                if (!d.binary && std::from_chars(d.text, d.text + d.length, v).ec != std::errc())
                    return Fail(lex, "template " + t.name + ": a bad array size");
                m.dims.push_back(v);
            } else if (d.kind == T_NAME) {
                const std::string size = Text(d);
                int64_t found = -1;
                for (size_t i = 0; i < t.members.size(); ++i)
                    if (t.members[i].name == size && t.members[i].kind != K_TEMPLATE && t.members[i].kind != K_STRING &&
                        t.members[i].dims.empty())
                        found = static_cast<int64_t>(i);
                if (found < 0) t.broken = true;
                m.dims.push_back(-1 - (found < 0 ? 0 : found));
            } else {
                return Fail(lex, "template " + t.name + ": a bad array size");
            }
            if (!IsPunct(lex.Next(), ']')) return Fail(lex, "template " + t.name + ": a bad array size");
        }
        if (array && m.dims.empty()) return Fail(lex, "template " + t.name + ": an array without a size");
        t.members.push_back(std::move(m));
        if (t.members.size() > kMaxMembers) return Fail(lex, "template " + t.name + " has too many members");
    }
    // A known template keeps its own layout: what the engine reads is what it expects.
    if (Find(t.name) >= 0 && Find(t.name) < static_cast<int32_t>(Known())) return true;
    if (!Spend(lex, sizeof(Template) + t.name.size() + t.members.size() * (sizeof(Member) + 16))) return false;
    names_[t.name] = static_cast<int32_t>(Known() + own_.size());
    own_.push_back(std::move(t));
    return true;
}

void VornXParser::Link(int32_t parent, int32_t* last, int32_t index)
{
    if (*last >= 0) doc_.objects[*last].next = index;
    else if (parent >= 0) doc_.objects[parent].child = index;
    else doc_.first = index;
    *last = index;
}

bool VornXParser::ParseChildren(Lexer& lex, int32_t parent, uint32_t depth)
{
    int32_t last = -1;
    for (;;) {
        const Token t = lex.Next();
        if (IsPunct(t, '}')) return true;
        if (IsPunct(t, ',') || IsPunct(t, ';')) continue;
        if (IsPunct(t, '{')) {
            // A reference: a name, a GUID or both.
            VornXObject ref = {};
            ref.reference = 1;
            ref.target = -1;
            ref.child = ref.next = -1;
            ref.type = XTYPE_OTHER;
            ref.first = static_cast<uint32_t>(doc_.cells.size());
            VornXGuid guid = {};
            bool hasGuid = false;
            for (Token r = lex.Next(); !IsPunct(r, '}'); r = lex.Next()) {
                if (IsName(r)) ref.name = Text(r);
                else if (r.kind == T_GUID) {
                    guid = r.guid;
                    hasGuid = true;
                } else if (!IsPunct(r, ',') && !IsPunct(r, ';')) {
                    return Fail(lex, "a bad reference");
                }
            }
            if (hasGuid) {
                // Kept as the reference's values until the references are resolved.
                ref.count = 4;
                doc_.cells.push_back(guid.data1);
                doc_.cells.push_back(guid.data2 | static_cast<uint32_t>(guid.data3) << 16);
                uint32_t w[2];
                memcpy(w, guid.data4, 8);
                doc_.cells.push_back(w[0]);
                doc_.cells.push_back(w[1]);
            }
            if (!Spend(lex, sizeof(VornXObject) + ref.name.size())) return false;
            doc_.objects.push_back(std::move(ref));
            Link(parent, &last, static_cast<int32_t>(doc_.objects.size() - 1));
            continue;
        }
        if (t.kind != T_NAME) return Fail(lex, "an object is not closed");
        if (!ParseObject(lex, t, parent, &last, depth + 1)) return false;
    }
}

bool VornXParser::ParseObject(Lexer& lex, const Token& type, int32_t parent, int32_t* last, uint32_t depth)
{
    if (depth > kMaxDepth) return Fail(lex, "objects nested too deep");
    const std::string typeName = Text(type);
    std::string name;
    if (IsName(lex.Peek())) name = Text(lex.Next());
    if (!IsPunct(lex.Next(), '{')) return Fail(lex, "object " + typeName + (name.empty() ? "" : " " + name) + " has no body");
    VornXGuid guid = {};
    bool hasGuid = false;
    if (lex.Peek().kind == T_GUID) {
        guid = lex.Next().guid;
        hasGuid = true;
    }
    const int32_t index = Find(typeName);
    if (index < 0 || At(index).broken) return SkipBody(lex);   // unknown: skipped whole
    const int32_t self = static_cast<int32_t>(doc_.objects.size());
    VornXObject o = {};
    o.type = index < static_cast<int32_t>(Known()) ? static_cast<uint16_t>(index) : static_cast<uint16_t>(XTYPE_OTHER);
    o.target = -1;
    o.child = o.next = -1;
    o.name = std::move(name);
    o.first = static_cast<uint32_t>(doc_.cells.size());
    if (!Spend(lex, sizeof(VornXObject) + o.name.size() + (hasGuid ? sizeof(guids_[0]) : 0))) return false;
    doc_.objects.push_back(std::move(o));
    if (hasGuid) guids_.push_back({guid, self});
    Link(parent, last, self);
    if (!ParseValues(lex, At(index), 0)) {
        if (!short_) return false;
        short_ = false;
        const std::string& name = doc_.objects[self].name;
        VornLog::StrongRed("%s%s : データが足りません", typeName.c_str(), name.empty() ? "" : (" [ " + name + " ]").c_str());
        VornLog::LineBreak();
    }
    doc_.objects[self].count = static_cast<uint32_t>(doc_.cells.size()) - doc_.objects[self].first;
    return ParseChildren(lex, self, depth);
}

bool VornXParser::Run(Lexer& lex)
{
    int32_t last = -1;
    for (;;) {
        const Token t = lex.Next();
        if (t.kind == T_END) return true;
        if (t.kind == T_ERROR) return Fail(lex, "a bad token");
        if (IsPunct(t, ';') || IsPunct(t, ',')) continue;
        if (t.kind != T_NAME) return Fail(lex, "an object without a type");
        if (Is(t, "template")) {
            if (!ParseTemplate(lex)) return false;
            continue;
        }
        if (!ParseObject(lex, t, -1, &last, 0)) return false;
    }
}

bool VornXParser::Resolve()
{
    std::unordered_map<std::string, int32_t> named;
    for (size_t i = doc_.objects.size(); i-- > 0;)
        if (!doc_.objects[i].reference && !doc_.objects[i].name.empty()) named[doc_.objects[i].name] = static_cast<int32_t>(i);
    // By GUID, the first object in file order that carries it.
    auto less = [](const std::pair<VornXGuid, int32_t>& a, const std::pair<VornXGuid, int32_t>& b) {
        return memcmp(&a.first, &b.first, sizeof(VornXGuid)) < 0;
    };
    std::stable_sort(guids_.begin(), guids_.end(), less);
    for (VornXObject& o : doc_.objects) {
        if (!o.reference) continue;
        if (!o.name.empty()) {
            const auto it = named.find(o.name);
            if (it != named.end()) o.target = it->second;
        }
        if (o.target < 0 && o.count == 4) {
            VornXGuid g;
            g.data1 = doc_.cells[o.first];
            g.data2 = static_cast<uint16_t>(doc_.cells[o.first + 1]);
            g.data3 = static_cast<uint16_t>(doc_.cells[o.first + 1] >> 16);
            memcpy(g.data4, &doc_.cells[o.first + 2], 8);
            const auto it = std::lower_bound(guids_.begin(), guids_.end(), std::make_pair(g, int32_t(0)), less);
            if (it != guids_.end() && it->first == g) o.target = it->second;
        }
        if (o.target < 0) {
            VornLog::StrongRed("Xファイル : 参照先がありません [ %s ]", o.name.empty() ? "<GUID>" : o.name.c_str());
            VornLog::LineBreak();
        }
    }
    // What frames hold by reference is placed there. Each placement of a mesh is a copy of it in
    // the models, so it counts against the budget as its values do.
    std::unordered_map<int32_t, size_t> cost;
    for (const VornXObject& frame : doc_.objects) {
        if (frame.type != XTYPE_FRAME || frame.reference) continue;
        for (int32_t c = frame.child; c >= 0; c = doc_.objects[c].next) {
            const int32_t target = doc_.objects[c].reference ? doc_.objects[c].target : -1;
            if (target < 0) continue;
            VornXObject& placed = doc_.objects[target];
            placed.placed = 1;
            if (placed.type != XTYPE_MESH) continue;
            auto it = cost.find(target);
            if (it == cost.end()) {
                // Its values and its children's: the objects from it to its last descendant.
                int32_t last = target;
                while (doc_.objects[last].child >= 0) {
                    last = doc_.objects[last].child;
                    while (doc_.objects[last].next >= 0) last = doc_.objects[last].next;
                }
                const size_t end = static_cast<size_t>(last) + 1 < doc_.objects.size() ? doc_.objects[last + 1].first : doc_.cells.size();
                it = cost.emplace(target, (end - placed.first) * sizeof(uint32_t) + sizeof(VornXObject)).first;
            }
            spent_ += it->second;
            if (spent_ > budget_) {
                doc_.error_ = "the meshes placed by reference need more than " + std::to_string(budget_) + " bytes of memory";
                return false;
            }
        }
    }
    return true;
}

namespace {

// The body of a compressed file: after the size of the whole, MSZIP blocks ({u16 bytes out,
// u16 bytes in, "CK", deflate data}), each inflated with the output before it as its dictionary.
// The size it inflates to (header included) is bounded by the limits before anything is inflated,
// and what the blocks give by that size.
bool Inflate(const uint8_t* p, size_t n, const VornXLimits& limits, std::vector<uint8_t>* out, std::string* error)
{
    if (n < 4) {
        *error = "the compressed size is missing";
        return false;
    }
    const size_t compressed = n + 16;
    const uint32_t total = VornBytes::ReadLE32(p);
    p += 4;
    n -= 4;
    if (total > limits.maxBody) {
        *error = "the file inflates to " + std::to_string(total) + " bytes, more than the " + std::to_string(limits.maxBody) +
                 " allowed";
        return false;
    }
    if (total > limits.freeBody && (total - 1) / limits.ratio >= compressed) {
        *error = "the file inflates to " + std::to_string(total) + " bytes, more than " + std::to_string(limits.ratio) +
                 " times its " + std::to_string(compressed) + " bytes";
        return false;
    }
    out->clear();
    out->reserve(total);
    z_stream z = {};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
        *error = "inflate cannot start";
        return false;
    }
    bool ok = true;
    for (uint32_t block = 0; ok && n > 0; ++block) {
        if (n < 4) {
            *error = "block " + std::to_string(block) + " is cut short";
            ok = false;
            break;
        }
        const uint32_t expanded = VornBytes::ReadLE16(p), packed = VornBytes::ReadLE16(p + 2);
        p += 4;
        n -= 4;
        if (packed < 2 || packed > n || p[0] != 'C' || p[1] != 'K' || expanded > kMsZipBlock ||
            out->size() + expanded > static_cast<size_t>(total) + 16) {
            *error = "block " + std::to_string(block) + " is bad (its sizes or its signature)";
            ok = false;
            break;
        }
        const size_t at = out->size();
        out->resize(at + expanded);
        inflateReset(&z);
        if (at > 0) {
            const size_t window = at < kMsZipBlock ? at : kMsZipBlock;
            inflateSetDictionary(&z, out->data() + at - window, static_cast<uInt>(window));
        }
        z.next_in = const_cast<Bytef*>(p + 2);
        z.avail_in = packed - 2;
        z.next_out = out->data() + at;
        z.avail_out = expanded;
        const int r = inflate(&z, Z_FINISH);
        if (r != Z_STREAM_END || z.avail_out != 0) {
            *error = "block " + std::to_string(block) + " does not inflate";
            ok = false;
        }
        p += packed;
        n -= packed;
    }
    inflateEnd(&z);
    return ok;
}

}  // namespace

bool VornXDocument::Parse(const void* data, size_t size, const VornXLimits& limits)
{
    objects.clear();
    cells.clear();
    strings.clear();
    first = -1;
    error_.clear();
    const uint8_t* p = static_cast<const uint8_t*>(data);
    // "xof " major minor (two digits each), the encoding (4), the float size "0032" or "0064".
    bool ok = p && size >= 16 && memcmp(p, "xof ", 4) == 0;
    bool binary = false, compressed = false, wide = false;
    if (ok) {
        const std::string encoding(reinterpret_cast<const char*>(p) + 8, 4), floats(reinterpret_cast<const char*>(p) + 12, 4);
        binary = encoding == "bin " || encoding == "bzip";
        compressed = encoding == "tzip" || encoding == "bzip";
        wide = floats == "0064";
        ok = (binary || compressed || encoding == "txt ") && (wide || floats == "0032");
    }
    if (!ok) error_ = "not an X file (its 16-byte header)";
    std::vector<uint8_t> body;
    const uint8_t* start = ok ? p + 16 : nullptr;
    size_t length = ok ? size - 16 : 0;
    if (ok && compressed) {
        ok = Inflate(start, length, limits, &body, &error_);
        start = body.data();
        length = body.size();
    }
    if (ok) {
        Lexer lex(start, length, binary, wide);
        const size_t budget = length > (SIZE_MAX - limits.memoryFloor) / limits.memoryPerByte
                                  ? SIZE_MAX
                                  : length * limits.memoryPerByte + limits.memoryFloor;
        VornXParser parser(*this, &KnownTemplates(), budget);
        ok = parser.Run(lex) && parser.Resolve();
    }
    if (!ok) {
        objects.clear();
        cells.clear();
        strings.clear();
        first = -1;
    }
    return ok;
}

const VornXObject* VornXDocument::Resolve(const VornXObject& o) const
{
    if (!o.reference) return &o;
    return o.target >= 0 ? &objects[o.target] : nullptr;
}

const VornXObject* VornXDocument::Part(int32_t index) const
{
    const VornXObject& o = objects[index];
    const VornXObject* target = Resolve(o);
    if (o.reference && target && target->type == XTYPE_FRAME) {
        VornLog::StrongRed("Frame [ %s ] : a frame placed by reference is not followed", target->name.c_str());
        VornLog::LineBreak();
        return nullptr;
    }
    return target;
}

const std::string& VornXDocument::NameOf(const VornXObject& o) const
{
    const VornXObject* target = Resolve(o);
    return target && !target->name.empty() ? target->name : o.name;
}

uint32_t VornXValues::U32()
{
    if (at_ >= end_) {
        ok_ = false;
        return 0;
    }
    return doc_.cells[at_++];
}

float VornXValues::F32()
{
    const uint32_t bits = U32();
    float f;
    memcpy(&f, &bits, 4);
    return f;
}

const std::string& VornXValues::Str()
{
    static const std::string empty;
    const uint32_t i = U32();
    return ok_ && i < doc_.strings.size() ? doc_.strings[i] : empty;
}

void VornXValues::Skip(uint32_t n)
{
    if (n > Left()) {
        ok_ = false;
        at_ = end_;
    } else {
        at_ += n;
    }
}
