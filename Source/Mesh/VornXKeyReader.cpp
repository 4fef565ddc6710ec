#include "VornXKeyReader.h"
#include "VornLog.h"
#include <cstring>

namespace {

uint32_t Word(const unsigned char* p)
{
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

const uint32_t kValues[5] = {4, 3, 3, 0, 16};

}  // namespace

VornXKeyStatus VornXKeyReader::Parse(const void* data, size_t size, VornXKeyBlock* out)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    if (!bytes || size < 8) return XKEY_SHORT;
    const uint32_t type = Word(bytes), count = Word(bytes + 4);
    if (type > XKEY_MATRIX) return XKEY_UNKNOWN_TYPE;
    if (type == XKEY_UNUSED) return XKEY_IGNORED;
    const uint32_t values = kValues[type];
    const size_t keySize = 8 + 4 * static_cast<size_t>(values);
    for (size_t i = 0, at = 8; i < count; ++i, at += keySize) {
        if (size - at < 8) return XKEY_SHORT;
        if (Word(bytes + at + 4) != values) return XKEY_VALUE_COUNT;
        if (size - at < keySize) return XKEY_SHORT;
    }
    out->type = type;
    out->count = count;
    out->values = values;
    out->keys = bytes + 8;
    return XKEY_OK;
}

bool VornXKeyReader::Take(const void* data, size_t size, const char* frame, VornXKeyBlock* out)
{
    const VornXKeyStatus status = Parse(data, size, out);
    if (status != XKEY_OK && status != XKEY_IGNORED) {
        VornLog::StrongRed("AnimationKey [%s] : Skip [%s]", frame, StatusText(status));
        VornLog::LineBreak();
    }
    return status == XKEY_OK;
}

void VornXKeyReader::Key(const VornXKeyBlock& block, uint32_t i, uint32_t* time, float* values)
{
    const unsigned char* key = block.keys + static_cast<size_t>(i) * (8 + 4 * block.values);
    *time = Word(key);
    memcpy(values, key + 8, 4 * static_cast<size_t>(block.values));
}

const char* VornXKeyReader::StatusText(VornXKeyStatus status)
{
    switch (status) {
    case XKEY_OK: return "OK";
    case XKEY_IGNORED: return "Key Type 3";
    case XKEY_SHORT: return "Key Count";
    case XKEY_UNKNOWN_TYPE: return "Key Type";
    default: return "Value Count";
    }
}
