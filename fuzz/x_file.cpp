// X files in every encoding: the reader refuses or reads, and what it reads holds together (values,
// children and references all inside the document; every mesh's indices, materials and weights in range).
#include "FuzzCheck.h"
#include "VornXMesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    VornXDocument doc;
    if (!doc.Parse(data, size, 4u << 20)) {
        FUZZ_CHECK(!doc.Error().empty() && doc.objects.empty());
        return 0;
    }
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
        if (o.type != XTYPE_MESH || !VornXMesh::Read(doc, o, &mesh)) continue;
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
    }
    return 0;
}
