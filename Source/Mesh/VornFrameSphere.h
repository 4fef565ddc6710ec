// The bounding sphere of a frame tree (the platform's function ends the process here): the mean of
// the containers' sphere centres, each moved by its matrix (null: unmoved), and the largest
// distance from that mean to a moved centre plus the container's radius. No spheres: centre 0,
// radius 0.
#pragma once
#include <d3dx9.h>
#include <cstdint>

struct VornFrameSphereItem {
    D3DXVECTOR3 centre;
    float radius;
    const D3DXMATRIX* matrix;
};

void VornFrameSphere(const VornFrameSphereItem* items, uint32_t count, D3DXVECTOR3* centre, float* radius);
