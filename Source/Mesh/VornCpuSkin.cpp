#include "VornCpuSkin.h"
#include <cstring>

VornCpuSkin* VornCpuSkin::Create(ID3DXSkinInfo* skin, ID3DXMesh* mesh)
{
    if (!skin || !mesh) return nullptr;
    D3DVERTEXELEMENT9 elements[MAX_FVF_DECL_SIZE];
    if (FAILED(mesh->GetDeclaration(elements))) return nullptr;
    VornCpuSkin* s = new VornCpuSkin();
    s->vertexCount_ = mesh->GetNumVertices();
    s->stride_ = mesh->GetNumBytesPerVertex();
    bool position = false;
    for (const D3DVERTEXELEMENT9* e = elements; e->Stream != 0xFF; ++e) {
        if (e->UsageIndex != 0) continue;
        if (e->Usage == D3DDECLUSAGE_POSITION && e->Type == D3DDECLTYPE_FLOAT3) s->position_ = e->Offset, position = true;
        if (e->Usage == D3DDECLUSAGE_NORMAL && e->Type == D3DDECLTYPE_FLOAT3) s->normal_ = e->Offset;
    }
    // Per vertex, the bones that hold it: counted first, then filled.
    std::vector<std::vector<Influence>> lists(s->vertexCount_);
    const DWORD bones = skin->GetNumBones();
    for (DWORD b = 0; b < bones && position; ++b) {
        const DWORD n = skin->GetNumBoneInfluences(b);
        if (n == 0) continue;
        std::vector<DWORD> vertices(n);
        std::vector<float> weights(n);
        if (FAILED(skin->GetBoneInfluence(b, vertices.data(), weights.data()))) {
            position = false;
            break;
        }
        for (DWORD i = 0; i < n; ++i)
            if (vertices[i] < s->vertexCount_) lists[vertices[i]].push_back({b, weights[i]});
    }
    if (!position) {
        delete s;
        return nullptr;
    }
    s->first_.resize(s->vertexCount_ + 1);
    for (uint32_t v = 0; v < s->vertexCount_; ++v) {
        s->first_[v] = static_cast<uint32_t>(s->influences_.size());
        s->influences_.insert(s->influences_.end(), lists[v].begin(), lists[v].end());
    }
    s->first_[s->vertexCount_] = static_cast<uint32_t>(s->influences_.size());
    return s;
}

void VornCpuSkin::Update(const D3DXMATRIX* bones, const void* source, void* target) const
{
    memcpy(target, source, static_cast<size_t>(vertexCount_) * stride_);
    const unsigned char* in = static_cast<const unsigned char*>(source);
    unsigned char* out = static_cast<unsigned char*>(target);
    for (uint32_t v = 0; v < vertexCount_; ++v) {
        if (first_[v] == first_[v + 1]) continue;
        const size_t at = static_cast<size_t>(v) * stride_;
        D3DXVECTOR3 p, n, sp(0, 0, 0), sn(0, 0, 0), t;
        memcpy(&p, in + at + position_, sizeof p);
        if (normal_ != 0xFFFFFFFFu) memcpy(&n, in + at + normal_, sizeof n);
        for (uint32_t i = first_[v]; i < first_[v + 1]; ++i) {
            const Influence& f = influences_[i];
            D3DXVec3TransformCoord(&t, &p, &bones[f.bone]);
            sp += t * f.weight;
            if (normal_ != 0xFFFFFFFFu) {
                D3DXVec3TransformNormal(&t, &n, &bones[f.bone]);
                sn += t * f.weight;
            }
        }
        memcpy(out + at + position_, &sp, sizeof sp);
        if (normal_ != 0xFFFFFFFFu) {
            D3DXVec3Normalize(&sn, &sn);
            memcpy(out + at + normal_, &sn, sizeof sn);
        }
    }
}
