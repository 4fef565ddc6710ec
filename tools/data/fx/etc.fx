// Rigid models: directional lights in model space, material colour, texture at stage 0, alpha blend.
float4x4 mTransform;
bool LightIsUse[4];
bool LightIsDirectional[4];
float4 LightColor[4];
float4 LightParameter[4];
float4 MaterialDiffuse;
float4 MaterialAmbient;
sampler Stage0 : register(s0);

struct VOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };

VOut VS(float4 pos : POSITION, float3 nrm : NORMAL, float2 uv : TEXCOORD0)
{
    VOut o;
    o.pos = mul(pos, mTransform);
    float3 n = normalize(nrm);
    // a switched-off light has a zero direction, so it adds nothing; a soft floor keeps the shade side readable
    float3 light = 0;
    for (int i = 0; i < 4; i++)
        light += LightColor[i].rgb * saturate(dot(n, -LightParameter[i].xyz));
    o.col.rgb = MaterialDiffuse.rgb * (0.3 + 0.7 * light) + MaterialAmbient.rgb * 0.4;
    o.col.a = MaterialDiffuse.a;
    o.uv = uv;
    return o;
}

float4 PS(float4 col : COLOR0, float2 uv : TEXCOORD0) : COLOR0
{
    return tex2D(Stage0, uv) * col;
}

technique Model {
    pass P0 {
        Lighting = FALSE; CullMode = CCW; ZEnable = TRUE; ZWriteEnable = TRUE;
        AlphaBlendEnable = TRUE; SrcBlend = SRCALPHA; DestBlend = INVSRCALPHA;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}
