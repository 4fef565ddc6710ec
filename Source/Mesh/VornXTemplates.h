// The X-file templates as text, for ID3DXFile::RegisterTemplates (no SDK header carries them
// here): the standard retained-mode set (frames, meshes, materials, animation) and the skinning
// set, each a complete text X file ("xof 0303txt 0032" and the templates with their GUIDs).
// The template GUIDs are also given as values, for matching ID3DXFileData::GetType.
#pragma once
#include "VornXFormat.h"
#include <guiddef.h>

extern const GUID kVornXFrame;
extern const GUID kVornXFrameTransformMatrix;
extern const GUID kVornXMesh;
extern const GUID kVornXAnimationSet;
extern const GUID kVornXAnimation;
extern const GUID kVornXAnimationKey;
