// Shared pieces of VornModelEx's source files: the load's globals and the frame-tree walks.
#pragma once
#include "VornModelEx.h"
#include <vector>

namespace vorn_modelex {

extern uint32_t g_vsVersion;          // D3DVS_VERSION of the next load
extern VornFormatKind g_textureKind;  // texture request of the next load

// Every frame of a tree in list order: a frame, then its sibling subtree, then its child subtree.
// Iterative, so long sibling chains cost no stack.
template <typename F> void ForEachFrame(VornModelExFrame* root, F fn)
{
    std::vector<VornModelExFrame*> stack;
    if (root) stack.push_back(root);
    while (!stack.empty()) {
        VornModelExFrame* f = stack.back();
        stack.pop_back();
        fn(f);
        if (f->child) stack.push_back(f->child);
        if (f->sibling) stack.push_back(f->sibling);
    }
}

inline void CollectFrames(VornModelExFrame* root, std::vector<VornModelExFrame*>* out)
{
    ForEachFrame(root, [out](VornModelExFrame* f) { out->push_back(f); });
}

// The inverse, or the identity for a singular matrix.
inline void InvertOrIdentity(D3DXMATRIX* out, const D3DXMATRIX* m)
{
    if (!D3DXMatrixInverse(out, nullptr, m)) D3DXMatrixIdentity(out);
}

}  // namespace vorn_modelex
