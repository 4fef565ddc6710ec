// X files in every encoding: the reader refuses or reads, and what it reads holds together (values,
// children and references all inside the document; every mesh's indices, materials, weights and
// neighbours in range) and within its budget. The limits are the reader's own scaled down (the
// inflated body to 4 MB, what inflates freely to 64 KB, the memory floor to 8 KB) so that inputs of
// this target's size reach them: a body past 64 KB needs a ratio of at most 64, and the document
// takes at most 8 bytes a byte of text plus 8 KB.
#include "FuzzCheck.h"
#include "VornXMesh.h"
#include <algorithm>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    VornXLimits limits;
    limits.maxBody = 4u << 20;
    limits.freeBody = 64u << 10;
    limits.memoryFloor = 8u << 10;
    VornXDocument doc;
    if (!doc.Parse(data, size, limits)) {
        FUZZ_CHECK(!doc.Error().empty() && doc.objects.empty() && doc.cells.empty());
        return 0;
    }
    const bool compressed = size >= 12 && (memcmp(data + 8, "tzip", 4) == 0 || memcmp(data + 8, "bzip", 4) == 0);
    const size_t body = compressed ? std::min(limits.maxBody, std::max(limits.freeBody, limits.ratio * size)) : size;
    size_t spent = doc.cells.size() * 4 + doc.objects.size() * sizeof(VornXObject);
    for (const std::string& s : doc.strings) spent += sizeof(std::string) + s.size();
    FUZZ_CHECK(spent <= body * limits.memoryPerByte + limits.memoryFloor + 0x4000);   // (values counted 4,096 at a time)
    const int32_t n = static_cast<int32_t>(doc.objects.size());
    FUZZ_CHECK(doc.first < n);
    for (const VornXObject& o : doc.objects) {
        FUZZ_CHECK(o.first + static_cast<uint64_t>(o.count) <= doc.cells.size());
        FUZZ_CHECK(o.child < n && o.next < n && o.target < n);
        FUZZ_CHECK(o.type < XTYPE_KNOWN_COUNT || o.type == XTYPE_OTHER);
        VornXValues v(doc, o);
        while (v.Left()) v.U32();
        v.Str();
        FUZZ_CHECK(!v.Ok());
        VornXMeshData mesh;
        std::string cause;
        if (o.type != XTYPE_MESH) continue;
        if (!VornXMesh::Read(doc, o, &mesh, &cause)) {
            FUZZ_CHECK(cause.compare(0, 5, "Mesh ") == 0);
            continue;
        }
        const uint32_t vertices = mesh.VertexCount();
        FUZZ_CHECK(mesh.indices.size() == 3 * mesh.attributes.size());
        for (uint32_t i : mesh.indices) FUZZ_CHECK(i < vertices);
        for (size_t t = 0; t < mesh.attributes.size(); ++t) {
            FUZZ_CHECK(mesh.attributes[t] < (mesh.materials.empty() ? 1 : mesh.materials.size()));
            FUZZ_CHECK(t == 0 || mesh.attributes[t - 1] <= mesh.attributes[t]);
        }
        FUZZ_CHECK(mesh.normals.empty() || mesh.normals.size() == 3 * size_t(vertices));
        FUZZ_CHECK(mesh.uvs.empty() || mesh.uvs.size() == 2 * size_t(vertices));
        FUZZ_CHECK(mesh.colours.empty() || mesh.colours.size() == vertices);
        for (const VornXBone& b : mesh.bones)
            for (uint32_t i : b.vertices) FUZZ_CHECK(i < vertices);
        std::vector<uint32_t> adjacency;   // each edge's neighbour: none, or another triangle
        VornXMesh::Adjacency(mesh, &adjacency);
        FUZZ_CHECK(adjacency.size() == mesh.indices.size());
        for (size_t e = 0; e < adjacency.size(); ++e)
            FUZZ_CHECK(adjacency[e] == UINT32_MAX || (adjacency[e] < mesh.TriangleCount() && adjacency[e] != e / 3));
    }
    // Every mesh placed in every frame that holds it, as the field reads the file.
    VornXMeshData merged;
    std::string cause;
    if (!VornXMesh::ReadMerged(doc, &merged, &cause)) FUZZ_CHECK(!cause.empty());
    for (uint32_t i : merged.indices) FUZZ_CHECK(i < merged.VertexCount());
    return 0;
}
