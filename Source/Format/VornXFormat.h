// VornXFormat: the reader of X files, plain C++ over a byte buffer. It reads the text and binary
// encodings with 32- or 64-bit floats ("xof 0302"/"0303", "txt "/"bin ", "0032"/"0064") and their
// MSZIP-compressed forms ("tzip"/"bzip"), templates given in the file or known (the standard
// retained-mode set, the skinning set and AnimTicksPerSecond), data objects with their children,
// and references by name or by GUID. Values are kept as the templates declare them, one 32-bit
// cell each (integers as read, floats as f32, strings as an index into the string list); a whole
// number stands for a float. Names are kept whole. Objects of a template the reader does not know
// are skipped whole; a reference to a missing object is logged and left unresolved. An object whose
// values end early (at its "}", a name, a "{" or a child object) is logged and kept short.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The known templates as text X files ("xof 0303txt 0032" and the templates with their GUIDs): the
// standard retained-mode set and the skinning set.
extern const char kVornXStandardTemplates[];
extern const char kVornXSkinTemplates[];

struct VornXGuid {
    uint32_t data1;
    uint16_t data2, data3;
    uint8_t data4[8];
};
bool operator==(const VornXGuid& a, const VornXGuid& b);

// The known templates, in the order of their text in VornXFormat.cpp.
enum VornXType : uint16_t {
    XTYPE_HEADER, XTYPE_VECTOR, XTYPE_COORDS2D, XTYPE_MATRIX4X4, XTYPE_COLOR_RGBA, XTYPE_COLOR_RGB,
    XTYPE_INDEXED_COLOR, XTYPE_BOOLEAN, XTYPE_BOOLEAN2D, XTYPE_MATERIAL_WRAP, XTYPE_TEXTURE_FILENAME,
    XTYPE_MATERIAL, XTYPE_MESH_FACE, XTYPE_MESH_FACE_WRAPS, XTYPE_MESH_TEXTURE_COORDS, XTYPE_MESH_MATERIAL_LIST,
    XTYPE_MESH_NORMALS, XTYPE_MESH_VERTEX_COLORS, XTYPE_MESH, XTYPE_FRAME_TRANSFORM_MATRIX, XTYPE_FRAME,
    XTYPE_FLOAT_KEYS, XTYPE_TIMED_FLOAT_KEYS, XTYPE_ANIMATION_KEY, XTYPE_ANIMATION_OPTIONS, XTYPE_ANIMATION,
    XTYPE_ANIMATION_SET, XTYPE_SKIN_MESH_HEADER, XTYPE_VERTEX_DUPLICATION_INDICES, XTYPE_SKIN_WEIGHTS,
    XTYPE_ANIM_TICKS_PER_SECOND,
    XTYPE_KNOWN_COUNT,
    XTYPE_OTHER = 0xFFFF,   // a template the file defines itself
};

struct VornXObject {
    uint16_t type;        // VornXType
    uint8_t reference;    // 1: a reference ({ name } or { <guid> }); target is what it names
    uint8_t placed;       // 1: a frame holds a reference to it (a mesh or matrix placed there)
    int32_t target;       // a reference's object, -1 when the file has none of that name or GUID
    std::string name;     // empty when unnamed
    uint32_t first;       // its values: cells [first, first + count)
    uint32_t count;
    int32_t child;        // first child object, -1 none
    int32_t next;         // next object of the same parent (or of the top level), -1 none
};

// What one file may cost. A compressed file inflates to at most freeBody bytes, or beyond that to at
// most ratio times its compressed size, and never past maxBody. The document (its values, objects and
// names) may take memoryPerByte bytes per byte of the text, plus memoryFloor. A game's files stay far
// inside these (their text compresses 3-20 times; the values take 1-5 times the text); a file past
// them is refused before it costs more.
struct VornXLimits {
    size_t maxBody = 64u << 20;
    size_t freeBody = 8u << 20;
    size_t ratio = 64;
    size_t memoryPerByte = 8;
    size_t memoryFloor = 1u << 20;
};

class VornXDocument
{
public:
    // Parses the file; false when it is refused, with the cause in Error() (the caller logs it).
    bool Parse(const void* data, size_t size, const VornXLimits& limits = VornXLimits());
    const std::string& Error() const { return error_; }

    std::vector<VornXObject> objects;   // in file order, parents before their children
    int32_t first = -1;                 // the first top-level object
    std::vector<uint32_t> cells;
    std::vector<std::string> strings;

    // The object itself, or the one a reference names (null for a missing one).
    const VornXObject* Resolve(const VornXObject& o) const;
    // The name an object goes by: a reference's is the name of what it names (a reference by GUID
    // has none of its own), else its own.
    const std::string& NameOf(const VornXObject& o) const;
    // Object index as a part of the frame holding it: itself, or what a reference names (a mesh
    // drawn there, a matrix taken there). Null for a missing object and for a reference to a frame,
    // which is not followed (logged): it would place that frame twice, or inside itself.
    const VornXObject* Part(int32_t index) const;
    // A top-level object that only defines what frames place by reference: not drawn at the top.
    bool DefinedOnly(const VornXObject& o) const { return o.placed && o.type == XTYPE_MESH; }

private:
    friend class VornXParser;
    std::string error_;
};

// Sequential reading of one object's values; reading past the end gives 0 and clears Ok().
class VornXValues
{
public:
    VornXValues(const VornXDocument& doc, const VornXObject& o) : doc_(doc), at_(o.first), end_(o.first + o.count) {}
    uint32_t Left() const { return end_ - at_; }
    bool Ok() const { return ok_; }
    uint32_t U32();
    float F32();
    const std::string& Str();
    void Skip(uint32_t n);

private:
    const VornXDocument& doc_;
    uint32_t at_, end_;
    bool ok_ = true;
};
