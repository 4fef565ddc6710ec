// The player: two-bone palette skinning in asm (the palette lookup needs mova), positions and
// normals to world space, then view x projection; light 0 in world space.
// Registers: c0-c3 view x projection, c5 diffuse, c6 ambient, c7-c10 light colours,
// c11-c14 light directions, c16 on the palette (three columns a bone).
float4x4 mTransform;
float4x3 mBoneMatrixArray[32];
int BoneWeightCount;
bool LightIsUse[4];
bool LightIsDirectional[4];
float4 LightColor[4];
float4 LightParameter[4];
float4 MaterialDiffuse;
float4 MaterialAmbient;
sampler Stage0 : register(s0);

float4 PS(float4 col : COLOR0, float2 uv : TEXCOORD0) : COLOR0
{
    return tex2D(Stage0, uv) * col;
}

technique Skin {
    pass P0 {
        Lighting = FALSE; CullMode = CCW; ZEnable = TRUE; ZWriteEnable = TRUE;
        AlphaBlendEnable = TRUE; SrcBlend = SRCALPHA; DestBlend = INVSRCALPHA;
        VertexShaderConstantF[0] = <mTransform>;
        VertexShaderConstantF[5] = <MaterialDiffuse>;
        VertexShaderConstantF[6] = <MaterialAmbient>;
        VertexShaderConstantF[7] = <LightColor>;
        VertexShaderConstantF[11] = <LightParameter>;
        VertexShaderConstantF[16] = <mBoneMatrixArray>;
        VertexShader = asm {
            vs_2_0
            def c4, 765.005859, 1, 0, -1
            def c15, 0.3, 0.7, 0.4, 0
            dcl_position v0
            dcl_blendweight v1
            dcl_blendindices v2
            dcl_normal v3
            dcl_texcoord v4
            mul r0, v2.zyxw, c4.x
            mova a0.x, r0.x
            dp4 r1.x, v0, c[a0.x + 16]
            dp4 r1.y, v0, c[a0.x + 17]
            dp4 r1.z, v0, c[a0.x + 18]
            dp3 r4.x, v3, c[a0.x + 16]
            dp3 r4.y, v3, c[a0.x + 17]
            dp3 r4.z, v3, c[a0.x + 18]
            mova a0.x, r0.y
            dp4 r2.x, v0, c[a0.x + 16]
            dp4 r2.y, v0, c[a0.x + 17]
            dp4 r2.z, v0, c[a0.x + 18]
            dp3 r5.x, v3, c[a0.x + 16]
            dp3 r5.y, v3, c[a0.x + 17]
            dp3 r5.z, v3, c[a0.x + 18]
            mad r3.x, v1.x, c4.w, c4.y
            mul r1.xyz, r1, v1.x
            mad r1.xyz, r2, r3.x, r1
            mov r1.w, c4.y
            mul r4.xyz, r4, v1.x
            mad r4.xyz, r5, r3.x, r4
            dp3 r4.w, r4, r4
            rsq r4.w, r4.w
            mul r4.xyz, r4, r4.w
            dp4 oPos.x, r1, c0
            dp4 oPos.y, r1, c1
            dp4 oPos.z, r1, c2
            dp4 oPos.w, r1, c3
            dp3 r6.x, r4, -c11
            max r6.x, r6.x, c4.z
            dp3 r6.y, r4, -c12
            max r6.y, r6.y, c4.z
            mul r7.xyz, c7, r6.x
            mad r7.xyz, c8, r6.y, r7
            mad r7.xyz, r7, c15.y, c15.x
            mul r7.xyz, r7, c5
            mad oD0.xyz, c6, c15.z, r7
            mov oD0.w, c5.w
            mov oT0.xy, v4
        };
        PixelShader = compile ps_2_0 PS();
    }
}
