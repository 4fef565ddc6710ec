// VornXAnimator: the animation controller of static models (the platform's loader gives none
// here). It reads the AnimationSets of a parsed X file and poses named outputs,
// each a frame's TransformationMatrix, from tracks that each play one set with its own enable
// flag, speed, weight and position. A track samples its set at position x ticks per second
// (AnimTicksPerSecond, else 4800), looping over the set's last key time: linear scale and
// position, slerped rotation (keys conjugated, as the skinned models read them), stepped matrix
// keys; enabled tracks blend by weight.
#pragma once
#include "VornXFormat.h"
#include <d3dx9.h>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class VornXAnimator
{
public:
    static constexpr uint32_t kDefaultTicksPerSecond = 4800;

    // Null when the file holds no AnimationSet.
    static VornXAnimator* Create(const VornXDocument& doc);

    uint32_t SetCount() const { return static_cast<uint32_t>(sets_.size()); }
    uint32_t TrackCount() const { return static_cast<uint32_t>(tracks_.size()); }
    double TicksPerSecond() const { return ticksPerSecond_; }

    // The matrix named frame's animation writes; frames no set animates are skipped.
    void RegisterOutput(const char* name, D3DXMATRIX* matrix);

    // Track operations: false past the last track (or set).
    bool SetTrackSet(uint32_t track, uint32_t set);
    bool SetTrackEnable(uint32_t track, bool enable);
    bool SetTrackSpeed(uint32_t track, float speed);
    bool SetTrackWeight(uint32_t track, float weight);
    bool SetTrackPosition(uint32_t track, double position);

    // Moves every track by seconds x its speed and writes the outputs.
    void AdvanceTime(double seconds);

private:
    struct VectorKey { uint32_t time; D3DXVECTOR3 v; };
    struct RotationKey { uint32_t time; D3DXQUATERNION q; };
    struct MatrixKey { uint32_t time; D3DXMATRIX m; };
    struct Animation {
        std::string frame;
        std::vector<VectorKey> scale, position;
        std::vector<RotationKey> rotation;
        std::vector<MatrixKey> matrix;
    };
    struct Set {
        std::vector<Animation> animations;
        uint32_t length = 0;   // the last key time
    };
    struct Track {
        uint32_t set = 0;
        bool enabled = false;
        float speed = 1.0f, weight = 1.0f;
        double position = 0.0;
    };
    struct Output {
        std::string name;
        D3DXMATRIX* matrix;
        D3DXMATRIX bind;
    };

    bool Sample(const Animation& a, double tick, const D3DXMATRIX& bind, D3DXVECTOR3* s, D3DXQUATERNION* q,
                D3DXVECTOR3* p, D3DXMATRIX* m) const;
    void Pose();

    double ticksPerSecond_ = kDefaultTicksPerSecond;
    std::vector<Set> sets_;
    std::vector<Track> tracks_;
    std::vector<Output> outputs_;

    friend struct VornXAnimatorReader;
};
