#include "XFileWriter.h"
#include <zlib.h>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

void Put16(std::string& out, uint32_t v) { out.append({char(v), char(v >> 8)}); }
void Put32(std::string& out, uint32_t v) { out.append({char(v), char(v >> 8), char(v >> 16), char(v >> 24)}); }
void PutWord(std::string& out, uint32_t token, const std::string& word)
{
    Put16(out, token);
    Put32(out, uint32_t(word.size()));
    out += word;
}

uint32_t FloatBits(float f)
{
    uint32_t bits;
    memcpy(&bits, &f, 4);
    return bits;
}

bool Delimiter(char c) { return strchr(" \t\r\n{}[]<>,;\"", c) != nullptr; }

}  // namespace

std::string XFileWriter::ToBinary(const std::string& text)
{
    std::string out = text.substr(0, 8) + "bin " + text.substr(12, 4);
    static const char* const kKeywords[] = {"WORD", "DWORD", "FLOAT", "DOUBLE", "CHAR", "UCHAR", "SWORD",
                                            "SDWORD", "VOID", "LPSTR", "UNICODE", "CSTRING", "array"};
    // Pending numbers of one kind, written as one list when the kind changes or a token comes between.
    bool floats = false;
    std::vector<uint32_t> numbers;
    auto flush = [&] {
        if (numbers.empty()) return;
        Put16(out, floats ? 7 : 6);
        Put32(out, static_cast<uint32_t>(numbers.size()));
        for (uint32_t v : numbers) Put32(out, v);
        numbers.clear();
    };
    int templateDepth = 0;   // separators are written inside templates only
    size_t i = 16;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
            flush();
            const size_t end = text.find('"', i + 1);
            PutWord(out, 2, text.substr(i + 1, end - i - 1));
            Put32(out, 20);
            i = end + 1;
        } else if (c == '<') {
            flush();
            unsigned g[11] = {};
            sscanf(text.c_str() + i + 1, "%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x", &g[0], &g[1], &g[2], &g[3], &g[4], &g[5], &g[6],
                   &g[7], &g[8], &g[9], &g[10]);
            Put16(out, 5);
            Put32(out, g[0]);
            Put16(out, g[1]);
            Put16(out, g[2]);
            for (int k = 3; k < 11; ++k) out += static_cast<char>(g[k]);
            i = text.find('>', i) + 1;
        } else if (Delimiter(c)) {
            ++i;
            if (isspace(static_cast<unsigned char>(c)) || ((c == ',' || c == ';') && templateDepth == 0)) continue;
            flush();
            static const char kPunct[] = "{}()[]<>.,;";
            Put16(out, static_cast<uint32_t>(10 + (strchr(kPunct, c) - kPunct)));
            if (c == '{' && templateDepth > 0) ++templateDepth;
            if (c == '}' && templateDepth > 0 && --templateDepth == 1) templateDepth = 0;
        } else {
            size_t end = i;
            while (end < text.size() && !Delimiter(text[end])) ++end;
            const std::string word = text.substr(i, end - i);
            i = end;
            const bool number = word != "..." && (isdigit(static_cast<unsigned char>(word[0])) || word[0] == '-' || word[0] == '.') &&
                                word.find_first_not_of("0123456789.-+eE") == std::string::npos;
            if (number) {
                const bool isFloat = word.find_first_of(".eE") != std::string::npos;
                if (isFloat != floats) flush();
                floats = isFloat;
                numbers.push_back(isFloat ? FloatBits(std::stof(word)) : static_cast<uint32_t>(std::stoll(word)));
                continue;
            }
            flush();
            const auto keyword = std::find(std::begin(kKeywords), std::end(kKeywords), word);
            if (word == "...") {
                for (int k = 0; k < 3; ++k) Put16(out, 18);
            } else if (word == "template") {
                Put16(out, 31);
                templateDepth = 1;
            } else if (templateDepth > 0 && keyword != std::end(kKeywords)) {
                Put16(out, static_cast<uint32_t>(40 + (keyword - std::begin(kKeywords))));
            } else {
                PutWord(out, 1, word);
            }
        }
    }
    flush();
    return out;
}

std::string XFileWriter::Compress(const std::string& file)
{
    std::string out = file.substr(0, 8) + (file.compare(8, 4, "bin ") == 0 ? "bzip" : "tzip") + file.substr(12, 4);
    Put32(out, static_cast<uint32_t>(file.size()));
    z_stream z = {};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> packed(70000);
    const unsigned char* body = reinterpret_cast<const unsigned char*>(file.data()) + 16;
    const size_t size = file.size() - 16;
    for (size_t at = 0; at < size; at += 32768) {
        const size_t n = std::min<size_t>(size - at, 32768);
        deflateReset(&z);
        if (at > 0) deflateSetDictionary(&z, body + at - 32768, 32768);
        z.next_in = const_cast<unsigned char*>(body + at);
        z.avail_in = static_cast<uInt>(n);
        z.next_out = packed.data();
        z.avail_out = static_cast<uInt>(packed.size());
        deflate(&z, Z_FINISH);
        const size_t m = packed.size() - z.avail_out;
        Put16(out, static_cast<uint32_t>(n));
        Put16(out, static_cast<uint32_t>(m + 2));
        out += "CK";
        out.append(reinterpret_cast<const char*>(packed.data()), m);
    }
    deflateEnd(&z);
    return out;
}
