#include "XFileWriter.h"
#include <zlib.h>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void Put16(std::string& out, uint32_t v) { out.append({char(v), char(v >> 8)}); }
void Put32(std::string& out, uint32_t v) { out.append({char(v), char(v >> 8), char(v >> 16), char(v >> 24)}); }

bool Delimiter(char c) { return strchr(" \t\r\n{}[]<>,;\"", c) != nullptr; }

// Pending numbers of one kind, written as one list when the kind changes or a token comes between.
struct Numbers {
    bool floats = false;
    std::vector<uint32_t> values;
    void Flush(std::string& out)
    {
        if (values.empty()) return;
        Put16(out, floats ? 7 : 6);
        Put32(out, static_cast<uint32_t>(values.size()));
        for (uint32_t v : values) Put32(out, v);
        values.clear();
    }
};

}  // namespace

std::string XFileWriter::ToBinary(const std::string& text)
{
    std::string out = text.substr(0, 8) + "bin " + text.substr(12, 4);
    static const char* const kKeywords[] = {"WORD", "DWORD", "FLOAT", "DOUBLE", "CHAR", "UCHAR", "SWORD",
                                            "SDWORD", "VOID", "LPSTR", "UNICODE", "CSTRING", "array"};
    Numbers numbers;
    int templateDepth = 0;   // separators are written inside templates only
    size_t i = 16;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (c == '"') {
            numbers.Flush(out);
            const size_t end = text.find('"', i + 1);
            Put16(out, 2);
            Put32(out, static_cast<uint32_t>(end - i - 1));
            out += text.substr(i + 1, end - i - 1);
            Put32(out, 20);
            i = end + 1;
        } else if (c == '<') {
            numbers.Flush(out);
            const size_t end = text.find('>', i);
            const std::string g = text.substr(i + 1, end - i - 1);
            Put16(out, 5);
            Put32(out, static_cast<uint32_t>(std::stoul(g.substr(0, 8), nullptr, 16)));
            Put16(out, static_cast<uint32_t>(std::stoul(g.substr(9, 4), nullptr, 16)));
            Put16(out, static_cast<uint32_t>(std::stoul(g.substr(14, 4), nullptr, 16)));
            const std::string tail = g.substr(19, 4) + g.substr(24, 12);
            for (size_t k = 0; k < 8; ++k) out += static_cast<char>(std::stoul(tail.substr(2 * k, 2), nullptr, 16));
            i = end + 1;
        } else if (Delimiter(c)) {
            ++i;
            if ((c == ',' || c == ';') && templateDepth == 0) continue;
            numbers.Flush(out);
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
                if (isFloat != numbers.floats) numbers.Flush(out);
                numbers.floats = isFloat;
                uint32_t bits;
                if (isFloat) {
                    const float f = std::stof(word);
                    memcpy(&bits, &f, 4);
                } else {
                    bits = static_cast<uint32_t>(std::stoll(word));
                }
                numbers.values.push_back(bits);
                continue;
            }
            numbers.Flush(out);
            if (word == "...") {
                for (int k = 0; k < 3; ++k) Put16(out, 18);
                continue;
            }
            if (word == "template") {
                Put16(out, 31);
                templateDepth = 1;
                continue;
            }
            bool keyword = false;
            for (size_t k = 0; templateDepth > 0 && k < sizeof kKeywords / sizeof *kKeywords; ++k)
                if (word == kKeywords[k]) {
                    Put16(out, static_cast<uint32_t>(40 + k));
                    keyword = true;
                }
            if (keyword) continue;
            Put16(out, 1);
            Put32(out, static_cast<uint32_t>(word.size()));
            out += word;
        }
    }
    numbers.Flush(out);
    return out;
}

std::string XFileWriter::Compress(const std::string& file)
{
    const bool binary = file.compare(8, 4, "bin ") == 0;
    std::string out = file.substr(0, 8) + (binary ? "bzip" : "tzip") + file.substr(12, 4);
    Put32(out, static_cast<uint32_t>(file.size()));
    z_stream z = {};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> packed(70000);
    const unsigned char* body = reinterpret_cast<const unsigned char*>(file.data()) + 16;
    const size_t size = file.size() - 16;
    for (size_t at = 0; at < size; at += 32768) {
        const size_t n = size - at < 32768 ? size - at : 32768;
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
