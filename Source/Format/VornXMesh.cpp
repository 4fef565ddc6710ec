#include "VornXMesh.h"
#include "VornLog.h"
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace {

bool Refuse(const VornXMeshData* out, const char* what, std::string* cause)
{
    *cause = "Mesh " + out->name + " : " + what;
    return false;
}

void Note(const VornXMeshData* out, const char* what)
{
    VornLog::StrongRed("Mesh [ %s ] : %s", out->name.c_str(), what);
    VornLog::LineBreak();
}

uint32_t Channel(float f) { return f >= 1.0f ? 255u : f <= 0.0f ? 0u : static_cast<uint32_t>(f * 255.0f + 0.5f); }

const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

struct Polygon {
    uint32_t first, count;   // corners in the corner list
};

// Polygons of a face list ({count, indices}...) whose indices stay below limit. A list the reader
// kept short gives its whole polygons (none when it ends before its count).
bool ReadFaces(VornXValues& v, uint32_t limit, std::vector<Polygon>* polygons, std::vector<uint32_t>* corners)
{
    const uint32_t n = v.U32();
    polygons->reserve(n < v.Left() ? n : v.Left());
    for (uint32_t f = 0; f < n && v.Left() > 0; ++f) {
        const uint32_t count = v.U32();
        if (count > v.Left()) break;
        polygons->push_back({static_cast<uint32_t>(corners->size()), count});
        for (uint32_t k = 0; k < count; ++k) {
            const uint32_t i = v.U32();
            if (i >= limit) return false;
            corners->push_back(i);
        }
    }
    return true;
}

}  // namespace

void VornXMesh::Adjacency(const VornXMeshData& data, std::vector<uint32_t>* out)
{
    // Each vertex's point: the first vertex at its position (0 and -0 alike). Sorted, not hashed,
    // so that no file can make the search slow.
    const uint32_t vertices = data.VertexCount(), n = data.TriangleCount();
    std::vector<std::array<uint32_t, 4>> keys(vertices);   // position bits, vertex
    for (uint32_t v = 0; v < vertices; ++v) {
        for (int c = 0; c < 3; ++c) {
            const float f = data.positions[3 * static_cast<size_t>(v) + c] + 0.0f;
            memcpy(&keys[v][c], &f, 4);
        }
        keys[v][3] = v;
    }
    std::sort(keys.begin(), keys.end());
    std::vector<uint32_t> point(vertices);
    for (size_t i = 0; i < keys.size(); ++i) {
        const bool same = i > 0 && std::equal(keys[i].begin(), keys[i].begin() + 3, keys[i - 1].begin());
        point[keys[i][3]] = same ? point[keys[i - 1][3]] : keys[i][3];
    }
    // Every directed edge with its triangle, sorted; a triangle's neighbour along an edge is the
    // first other triangle along it the other way.
    auto edge = [&](uint32_t t, uint32_t e) {
        const uint32_t* c = &data.indices[3 * static_cast<size_t>(t)];
        return static_cast<uint64_t>(point[c[e]]) << 32 | point[c[(e + 1) % 3]];
    };
    std::vector<std::pair<uint64_t, uint32_t>> edges;
    edges.reserve(3 * static_cast<size_t>(n));
    for (uint32_t t = 0; t < n; ++t)
        for (uint32_t e = 0; e < 3; ++e) edges.push_back({edge(t, e), t});
    std::sort(edges.begin(), edges.end());
    out->assign(3 * static_cast<size_t>(n), UINT32_MAX);
    for (uint32_t t = 0; t < n; ++t)
        for (uint32_t e = 0; e < 3; ++e) {
            const uint64_t forward = edge(t, e), back = forward << 32 | forward >> 32;
            auto it = std::lower_bound(edges.begin(), edges.end(), std::make_pair(back, uint32_t(0)));
            while (it != edges.end() && it->first == back && it->second == t) ++it;   // (a degenerate triangle's own)
            if (it != edges.end() && it->first == back) (*out)[3 * static_cast<size_t>(t) + e] = it->second;
        }
}

void VornXMesh::ReadMatrix(const VornXDocument& doc, const VornXObject& o, float* out)
{
    VornXValues v(doc, o);
    if (v.Left() < 16) {
        memcpy(out, kIdentity, sizeof kIdentity);
        return;
    }
    for (int i = 0; i < 16; ++i) out[i] = v.F32();
}

bool VornXMesh::Read(const VornXDocument& doc, const VornXObject& mesh, VornXMeshData* out, std::string* cause)
{
    *out = VornXMeshData();
    out->name = mesh.name;
    VornXValues v(doc, mesh);
    const uint32_t vertexCount = v.U32();
    if (!v.Ok() || vertexCount > v.Left() / 3) return Refuse(out, "vertices missing", cause);
    out->positions.resize(static_cast<size_t>(vertexCount) * 3);
    for (float& p : out->positions) p = v.F32();
    std::vector<Polygon> polygons;
    std::vector<uint32_t> corners;
    if (!ReadFaces(v, vertexCount, &polygons, &corners))
        return Refuse(out, "a face is bad (its count or a vertex index)", cause);

    // The children: normals, texture coordinates, vertex colours, the material list, skin weights.
    std::vector<Polygon> normalPolygons;
    std::vector<uint32_t> normalCorners;
    std::vector<float> normals;
    std::vector<uint32_t> faceMaterials;
    for (int32_t c = mesh.child; c >= 0; c = doc.objects[c].next) {
        const VornXObject* child = doc.Resolve(doc.objects[c]);
        if (!child) continue;
        VornXValues cv(doc, *child);
        switch (child->type) {
        case XTYPE_MESH_NORMALS: {
            if (!normals.empty()) break;
            const uint32_t n = cv.U32();
            if (n > cv.Left() / 3) {
                Note(out, "MeshNormals : normals missing (ignored)");
                break;
            }
            normals.resize(static_cast<size_t>(n) * 3);
            for (float& x : normals) x = cv.F32();
            // (more faces than the mesh: the mesh was kept short, or they go unused)
            bool ok = ReadFaces(cv, n, &normalPolygons, &normalCorners) && normalPolygons.size() >= polygons.size();
            for (size_t f = 0; ok && f < polygons.size(); ++f) ok = normalPolygons[f].count == polygons[f].count;
            if (!ok) {
                Note(out, "MeshNormals : the faces do not match the mesh (ignored)");
                normals.clear();
            }
            break;
        }
        case XTYPE_MESH_TEXTURE_COORDS: {
            const uint32_t n = cv.U32();
            if (n > cv.Left() / 2) {
                Note(out, "MeshTextureCoords : coordinates missing (ignored)");
                break;
            }
            out->uvs.assign(static_cast<size_t>(vertexCount) * 2, 0.0f);
            for (uint32_t i = 0; i < n; ++i) {
                const float a = cv.F32(), b = cv.F32();
                if (i < vertexCount) {
                    out->uvs[2 * i] = a;
                    out->uvs[2 * i + 1] = b;
                }
            }
            break;
        }
        case XTYPE_MESH_VERTEX_COLORS: {
            const uint32_t n = cv.U32();
            if (n > cv.Left() / 5) {
                Note(out, "MeshVertexColors : colours missing (ignored)");
                break;
            }
            out->colours.assign(vertexCount, 0xFFFFFFFFu);
            for (uint32_t i = 0; i < n; ++i) {
                const uint32_t index = cv.U32();
                const float r = cv.F32(), g = cv.F32(), b = cv.F32(), a = cv.F32();
                if (index < vertexCount) out->colours[index] = Channel(a) << 24 | Channel(r) << 16 | Channel(g) << 8 | Channel(b);
            }
            break;
        }
        case XTYPE_MESH_MATERIAL_LIST: {
            // A list kept short gives the indices it holds, the last standing for the faces after it.
            const uint32_t materialCount = cv.U32(), declared = cv.U32();
            const uint32_t n = declared < cv.Left() ? declared : cv.Left();
            faceMaterials.resize(n);
            for (uint32_t& m : faceMaterials) m = cv.U32();
            for (int32_t k = child->child; k >= 0; k = doc.objects[k].next) {
                const VornXObject* mo = doc.Resolve(doc.objects[k]);
                if (!mo || mo->type != XTYPE_MATERIAL) continue;
                VornXValues mv(doc, *mo);
                VornXMaterial m;
                for (float& x : m.diffuse) x = mv.F32();
                m.power = mv.F32();
                for (float& x : m.specular) x = mv.F32();
                for (float& x : m.emissive) x = mv.F32();
                for (int32_t t = mo->child; t >= 0; t = doc.objects[t].next) {
                    const VornXObject* to = doc.Resolve(doc.objects[t]);
                    if (to && to->type == XTYPE_TEXTURE_FILENAME && to->count >= 1) {
                        m.texture = doc.strings[doc.cells[to->first]];
                        break;
                    }
                }
                out->materials.push_back(m);
            }
            if (out->materials.size() != materialCount) Note(out, "MeshMaterialList : the material count differs from the materials given");
            break;
        }
        case XTYPE_SKIN_WEIGHTS: {
            VornXBone bone;
            bone.name = cv.Str();
            const uint32_t n = cv.U32();
            if (!cv.Ok() || n > cv.Left() / 2 || cv.Left() - 2 * n < 16) {
                Note(out, "SkinWeights : weights missing (ignored)");
                break;
            }
            bone.vertices.resize(n);
            bone.weights.resize(n);
            for (uint32_t& i : bone.vertices) i = cv.U32();
            for (float& w : bone.weights) w = cv.F32();
            for (float& m : bone.offset) m = cv.F32();
            size_t kept = 0;
            for (size_t i = 0; i < n; ++i)
                if (bone.vertices[i] < vertexCount) {
                    bone.vertices[kept] = bone.vertices[i];
                    bone.weights[kept++] = bone.weights[i];
                }
            if (kept < n) Note(out, "SkinWeights : a vertex index past the vertices (ignored)");
            bone.vertices.resize(kept);
            bone.weights.resize(kept);
            out->bones.push_back(std::move(bone));
            break;
        }
        default:
            break;
        }
    }

    // Split the vertices used with more than one normal; the copies go after the file's vertices.
    std::vector<uint32_t> sourceOf;   // the file vertex of each copy
    if (!normals.empty()) {
        std::vector<uint32_t> normalOf(vertexCount, UINT32_MAX);
        std::unordered_map<uint64_t, uint32_t> copies;
        for (size_t k = 0; k < corners.size(); ++k) {
            const uint32_t vtx = corners[k], nrm = normalCorners[k];
            if (normalOf[vtx] == UINT32_MAX) normalOf[vtx] = nrm;
            if (normalOf[vtx] == nrm) continue;
            const uint64_t key = static_cast<uint64_t>(vtx) << 32 | nrm;
            auto it = copies.find(key);
            if (it == copies.end()) {
                it = copies.emplace(key, vertexCount + static_cast<uint32_t>(sourceOf.size())).first;
                sourceOf.push_back(vtx);
                normalOf.push_back(nrm);
            }
            corners[k] = it->second;
        }
        out->normals.resize(normalOf.size() * 3, 0.0f);
        for (size_t i = 0; i < normalOf.size(); ++i)
            if (normalOf[i] != UINT32_MAX) memcpy(&out->normals[3 * i], &normals[3 * static_cast<size_t>(normalOf[i])], 12);
        for (uint32_t s : sourceOf) {
            float p[3];
            memcpy(p, &out->positions[3 * static_cast<size_t>(s)], 12);
            out->positions.insert(out->positions.end(), p, p + 3);
            if (!out->uvs.empty()) {
                out->uvs.push_back(out->uvs[2 * static_cast<size_t>(s)]);
                out->uvs.push_back(out->uvs[2 * static_cast<size_t>(s) + 1]);
            }
            if (!out->colours.empty()) out->colours.push_back(out->colours[s]);
        }
        if (!sourceOf.empty()) {
            std::unordered_map<uint32_t, std::vector<uint32_t>> copiesOf;
            for (size_t i = 0; i < sourceOf.size(); ++i) copiesOf[sourceOf[i]].push_back(vertexCount + static_cast<uint32_t>(i));
            for (VornXBone& b : out->bones) {
                const size_t n = b.vertices.size();
                for (size_t i = 0; i < n; ++i) {
                    const auto it = copiesOf.find(b.vertices[i]);
                    if (it == copiesOf.end()) continue;
                    for (uint32_t copy : it->second) {
                        b.vertices.push_back(copy);
                        b.weights.push_back(b.weights[i]);
                    }
                }
            }
        }
    }

    // Triangles of every polygon (fans), each with its polygon's material; the material list's
    // last index stands for the faces it does not reach.
    const uint32_t materials = static_cast<uint32_t>(out->materials.size());
    bool badMaterial = false;
    std::vector<uint32_t> tris, attrs;
    for (size_t f = 0; f < polygons.size(); ++f) {
        uint32_t m = faceMaterials.empty() ? 0 : faceMaterials[f < faceMaterials.size() ? f : faceMaterials.size() - 1];
        if (m >= (materials ? materials : 1)) {
            badMaterial = true;
            m = 0;
        }
        const uint32_t* c = corners.data() + polygons[f].first;
        for (uint32_t k = 2; k < polygons[f].count; ++k) {
            tris.insert(tris.end(), {c[0], c[k - 1], c[k]});
            attrs.push_back(m);
        }
    }
    if (badMaterial) Note(out, "MeshMaterialList : a face names a material the list does not have (material 0 taken)");
    // Sorted by material, in file order within one.
    const uint32_t slots = materials ? materials : 1;
    std::vector<uint32_t> start(slots + 1, 0);
    for (uint32_t a : attrs) ++start[a + 1];
    for (uint32_t m = 0; m < slots; ++m) start[m + 1] += start[m];
    out->indices.resize(tris.size());
    out->attributes.resize(attrs.size());
    for (size_t t = 0; t < attrs.size(); ++t) {
        const uint32_t at = start[attrs[t]]++;
        out->attributes[at] = attrs[t];
        memcpy(&out->indices[3 * static_cast<size_t>(at)], &tris[3 * t], 12);
    }
    return true;
}

namespace {

void Multiply(const float* a, const float* b, float* out)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out[r * 4 + c] = a[r * 4] * b[c] + a[r * 4 + 1] * b[4 + c] + a[r * 4 + 2] * b[8 + c] + a[r * 4 + 3] * b[12 + c];
}

void Append(VornXMeshData* all, VornXMeshData& one, const float* m)
{
    const size_t base = all->VertexCount(), n = one.VertexCount();
    for (size_t i = 0; i < n; ++i) {
        const float* p = &one.positions[3 * i];
        for (int c = 0; c < 3; ++c) all->positions.push_back(p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c]);
    }
    // A part without normals, colours or coordinates takes zero normals, white and (0, 0).
    const bool normals = !all->normals.empty() || !one.normals.empty(), uvs = !all->uvs.empty() || !one.uvs.empty(),
               colours = !all->colours.empty() || !one.colours.empty();
    if (normals) {
        all->normals.resize(3 * base, 0.0f);
        for (size_t i = 0; i < n; ++i) {
            float v[3] = {0, 0, 0};
            if (!one.normals.empty())
                for (int c = 0; c < 3; ++c)
                    v[c] = one.normals[3 * i] * m[c] + one.normals[3 * i + 1] * m[4 + c] + one.normals[3 * i + 2] * m[8 + c];
            const float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
            for (int c = 0; c < 3; ++c) all->normals.push_back(l > 0 ? v[c] / l : 0.0f);
        }
    }
    if (uvs) {
        all->uvs.resize(2 * base, 0.0f);
        one.uvs.resize(2 * n, 0.0f);
        all->uvs.insert(all->uvs.end(), one.uvs.begin(), one.uvs.end());
    }
    if (colours) {
        all->colours.resize(base, 0xFFFFFFFFu);
        one.colours.resize(n, 0xFFFFFFFFu);
        all->colours.insert(all->colours.end(), one.colours.begin(), one.colours.end());
    }
    const uint32_t materialBase = static_cast<uint32_t>(all->materials.size());
    for (uint32_t i : one.indices) all->indices.push_back(static_cast<uint32_t>(base) + i);
    for (uint32_t a : one.attributes) all->attributes.push_back(materialBase + a);
    if (one.materials.empty()) {
        // The default material of a mesh without a list: grey, as the loaders give it.
        VornXMaterial grey = {{0.5f, 0.5f, 0.5f, 1.0f}, 0.0f, {0, 0, 0}, {0, 0, 0}, std::string()};
        one.materials.push_back(grey);
    }
    all->materials.insert(all->materials.end(), one.materials.begin(), one.materials.end());
}

struct Merge {
    VornXMeshData* all;
    uint32_t read;
    std::string refused;   // the causes of the meshes refused
};

// Objects [first ...] under parent; inFrame: they are a frame's, references followed.
void Walk(const VornXDocument& doc, int32_t first, bool inFrame, const float* parent, Merge* merge, uint32_t depth)
{
    for (int32_t i = first; i >= 0; i = doc.objects[i].next) {
        const VornXObject* o = inFrame ? doc.Part(i) : &doc.objects[i];
        if (!o || (!inFrame && doc.DefinedOnly(*o))) continue;
        if (o->type == XTYPE_MESH) {
            VornXMeshData one;
            std::string cause;
            if (!VornXMesh::Read(doc, *o, &one, &cause)) {
                merge->refused += (merge->refused.empty() ? "" : "; ") + cause;
            } else if (one.TriangleCount() > 0) {
                Append(merge->all, one, parent);
                ++merge->read;
            }
        } else if (o->type == XTYPE_FRAME && depth < 1024) {
            float local[16], combined[16];
            memcpy(local, kIdentity, sizeof local);
            for (int32_t c = o->child; c >= 0; c = doc.objects[c].next) {
                const VornXObject* m = doc.Resolve(doc.objects[c]);
                if (m && m->type == XTYPE_FRAME_TRANSFORM_MATRIX) {
                    VornXMesh::ReadMatrix(doc, *m, local);
                    break;
                }
            }
            Multiply(local, parent, combined);
            Walk(doc, o->child, true, combined, merge, depth + 1);
        }
    }
}

}  // namespace

bool VornXMesh::ReadMerged(const VornXDocument& doc, VornXMeshData* out, std::string* cause)
{
    *out = VornXMeshData();
    Merge merge = {out, 0, std::string()};
    Walk(doc, doc.first, false, kIdentity, &merge, 0);
    const uint32_t read = merge.read;
    if (read == 0) {
        *cause = merge.refused.empty() ? "the file has no mesh with faces" : merge.refused;
        return false;
    }
    if (!merge.refused.empty()) {
        VornLog::StrongRed("%s", merge.refused.c_str());
        VornLog::LineBreak();
    }
    // Sorted by material again (each part was).
    std::vector<uint32_t> order(out->attributes.size());
    for (size_t t = 0; t < order.size(); ++t) order[t] = static_cast<uint32_t>(t);
    std::stable_sort(order.begin(), order.end(), [out](uint32_t a, uint32_t b) { return out->attributes[a] < out->attributes[b]; });
    std::vector<uint32_t> indices(out->indices.size()), attributes(out->attributes.size());
    for (size_t t = 0; t < order.size(); ++t) {
        attributes[t] = out->attributes[order[t]];
        memcpy(&indices[3 * t], &out->indices[3 * static_cast<size_t>(order[t])], 12);
    }
    out->indices.swap(indices);
    out->attributes.swap(attributes);
    return true;
}
