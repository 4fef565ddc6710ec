// Builds QXT font data files in memory for the tests (the engine only reads them).
#pragma once
#include "VornQxtFormat.h"
#include <cstring>
#include <string>
#include <vector>

namespace fonttest {

struct QxtFile {
    uint8_t fontSize = 16;
    uint16_t sheetWidth = 64, sheetHeight = 64;
    std::vector<std::string> sheetNames;
    std::vector<uint16_t> codeToGlyph = std::vector<uint16_t>(VORN_FONT_CODE_SLOTS, VORN_FONT_NO_GLYPH);
    std::vector<VornFontGlyph> glyphs;

    // Gives code its own glyph on a sheet, cell at (left, top).
    void Add(uint16_t code, uint8_t sheet, uint16_t left, uint16_t top, uint8_t a, uint8_t width, uint8_t c)
    {
        VornFontGlyph g = {sheet, a, width, c, left, top, static_cast<uint16_t>(left + width),
                           static_cast<uint16_t>(top + fontSize + 2)};
        codeToGlyph[VornQxtFormat::GetCodeIndex(code)] = static_cast<uint16_t>(glyphs.size());
        glyphs.push_back(g);
    }

    std::vector<uint8_t> Bytes() const
    {
        const size_t glyphsAt = VornQxtFormat::NAMES_OFFSET + sheetNames.size() * 32;
        std::vector<uint8_t> out(glyphsAt + glyphs.size() * 12, 0);
        memcpy(out.data(), "QXT", 4);
        out[4] = fontSize;
        out[5] = static_cast<uint8_t>(sheetNames.size());
        auto put16 = [&](size_t at, uint16_t v) {
            out[at] = static_cast<uint8_t>(v);
            out[at + 1] = static_cast<uint8_t>(v >> 8);
        };
        put16(6, sheetWidth);
        put16(8, sheetHeight);
        put16(10, static_cast<uint16_t>(glyphs.size()));
        for (size_t i = 0; i < codeToGlyph.size(); ++i) put16(12 + i * 2, codeToGlyph[i]);
        for (size_t i = 0; i < sheetNames.size(); ++i)
            memcpy(out.data() + VornQxtFormat::NAMES_OFFSET + i * 32, sheetNames[i].c_str(),
                   sheetNames[i].size() < 31 ? sheetNames[i].size() : 31);
        for (size_t i = 0; i < glyphs.size(); ++i) VornQxtFormat::EncodeGlyph(out.data() + glyphsAt + i * 12, glyphs[i]);
        return out;
    }
};

}  // namespace fonttest
