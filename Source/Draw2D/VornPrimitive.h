// VornPrimitive: batches of screen-space triangles. Each push is placed by the 2D transform, clipped
// to the scissor rectangle and appended, or in a sorted batch linked into one of 8191 depth buckets
// so that the upload writes far triangles first. Per frame: ResetBuffer, pushes, UpdateBuffer,
// Rendering (textures and blending are the caller's).
#pragma once
#include "VornHandleTable.h"
#include "VornTransform2D.h"
#include <d3d9.h>
#include <cstdint>

typedef VornHandle VornPrimitiveHandle;

// One stored triangle of a sorted batch: three vertices of the batch's stride packed in a field
// sized for three full vertices, and the triangle pushed before it into the same bucket.
struct VornPrimitiveSortNode {
    uint8_t vertices[3 * sizeof(VornVertex2D)];
    VornPrimitiveSortNode* next;
};

struct VornPrimitiveRecord;
// Writes the six vertices of a placed rectangle at dst in the batch's stride.
typedef void (*VornRectWriter)(uint8_t* dst, const float x[2], const float y[2], float z, float rhw, uint32_t colour,
                               const VornRectUV uv[4]);

struct VornPrimitiveRecord {
    uint8_t inUse;
    uint8_t sorted;
    IDirect3DVertexBuffer9* buffer;
    void* store;                      // vertices (unsorted) or capacity / 3 sort nodes (sorted)
    uint32_t vertexType;
    uint32_t fvf;
    uint32_t bufferSize;
    uint32_t stride;
    uint32_t capacity;                // vertices
    uint32_t count;                   // vertices stored since ResetBuffer
    uint32_t usedBytes;               // of the store
    uint32_t requested;               // vertices the pushes asked for, before the capacity test
    VornPrimitiveSortNode** buckets;  // kBucketCount heads (sorted batches only)
    VornRectWriter writeRect;         // for the batch's vertex type; null for a sorted batch
};

class VornPrimitive {
public:
    static constexpr uint32_t kBucketCount = 8191;

    static void SetMax(uint32_t count);
    static bool Initialize();
    static void Finalize();
    static void OnDeviceLost();
    static void OnDeviceRestore();

    static VornPrimitiveHandle Create(uint32_t capacity, VornVertexType2D type, bool sorted);
    static void Release(VornPrimitiveHandle handle);

    // triangles: count triangles of three vertices each. False for none, or when a triangle does
    // not fit: it and those after it are dropped, those before stay. A triangle clipped away
    // stores nothing and asks for nothing; one outside the depth range of a sorted batch, or one
    // the perspective cannot place (behind the eye, not finite), counts in the requested vertices
    // and is dropped. Neither is a failure.
    static bool PushPolygon(VornPrimitiveHandle handle, const VornVertex2D* triangles, uint32_t count);
    // The quad as the triangles (c0, c1, c2) and (c2, c3, c0): what PushPolygon of those six
    // vertices does, with each corner placed once.
    static bool PushQuad(VornPrimitiveHandle handle, const VornVertex2D corners[4]);
    // The axis-aligned rectangle (x0, y0)-(x1, y1) at depth z, rhw 1, as PushQuad of its corners
    // TL, TR, BR, BL with the texture coordinates of uv (stage s: uL or uR, vT or vB): the same
    // vertices, placed once for the four corners and written straight into the batch when it is
    // unsorted, fits, and the scissor leaves it whole.
    static bool PushRect(VornPrimitiveHandle handle, float x0, float y0, float x1, float y1, float z, uint32_t colour,
                         const VornRectUV uv[4]);
    static void ResetBuffer(VornPrimitiveHandle handle);
    static void UpdateBuffer(VornPrimitiveHandle handle);
    static void Rendering(VornPrimitiveHandle handle);
    static uint32_t GetRequestedVertexCount(VornPrimitiveHandle handle);
    static uint32_t GetVertexCount(VornPrimitiveHandle handle);
    // The stored vertices of an unsorted batch, stride bytes each (tools and tests); null for none.
    static const void* GetVertexData(VornPrimitiveHandle handle);

    static void SetScissoring(bool on, const RECT* rect);
    static void SetZoom(bool on, float centreX, float centreY, float scale);
    static void SetPerspective(bool on, float centreX, float centreY, float factor);
    static const VornTransform2D& GetTransform();

    // The bucket of a transformed triangle's depth: 0 .. kBucketCount - 1, or kBucketCount when the
    // triangle lies outside the depth range and is not drawn.
    static uint32_t DepthBucket(float z0, float z1, float z2);
};
