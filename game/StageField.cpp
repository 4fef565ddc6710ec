#include "StageField.h"
#include "GameDirector.h"

StageField* g_stage = nullptr;

StageField::StageField()
{
    g_taskList->Add(this, PRIORITY_STAGE);
    field = VornField::CreateFromFile("height_field.x", 5, 500, VORN_FORMAT_ALPHA, false);
    effect = VornShaderFx::CreateFromFile("Data\\field.fx");
    VornField::SetShader(field, effect);
    VornShaderFx::Release(effect);   // the field keeps its own reference
    VornField::SetParameterFlags(field, 0x801);
    Vorn3D::SetFog(10.0f, 2000.0f, 0xFFFFFFFF);
}

StageField::~StageField()
{
    VornField::Release(field);
    g_taskList->Kill(this);
    if (g_stage == this) g_stage = nullptr;
}

void StageField::Run()
{
    if (!g_director || g_director->GetScene() == SCENE_TITLE) return;   // the title shows no ground
    VornField::UpdateDrawList(field);
    VornField::Rendering(field);
}

float GroundY(const VornVector3& at)
{
    VornVector3 ground(at.x, 0.0f, at.z);
    if (g_stage) VornField::HitCheckDown(g_stage->field, at, &ground, nullptr, nullptr);
    return ground.y;
}
