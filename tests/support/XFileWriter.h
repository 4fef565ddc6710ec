// X files in the other encodings, written from a text X file by the tests and the fuzz seeds: the
// binary encoding ("bin ", the same tokens; numbers with a point go into float lists, the others into
// integer lists) and the compressed one ("tzip"/"bzip": MSZIP blocks of at most 32 KB, each deflated
// with the text before it as its dictionary).
#pragma once
#include <string>

namespace XFileWriter {
std::string ToBinary(const std::string& text);
std::string Compress(const std::string& file);
}
