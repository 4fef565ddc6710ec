// The stage: texture x baked vertex light, white linear fog by view depth.
float4x4 mTransform;
float FogParameter[2];
float4 FogTransform;
sampler Stage0 : register(s0);

struct VOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; float fog : TEXCOORD1; };

VOut VS(float4 pos : POSITION, float3 nrm : NORMAL, float4 col : COLOR0, float2 uv : TEXCOORD0)
{
    VOut o;
    o.pos = mul(pos, mTransform);
    o.col = col;
    o.uv = uv;
    o.fog = saturate(dot(pos, FogTransform) * FogParameter[0] + FogParameter[1]);
    return o;
}

float4 PS(float4 col : COLOR0, float2 uv : TEXCOORD0, float fog : TEXCOORD1) : COLOR0
{
    float4 c = tex2D(Stage0, uv) * col;
    return float4(lerp(float3(1, 1, 1), c.rgb, fog), 1);
}

technique Field {
    pass P0 {
        Lighting = FALSE; CullMode = CCW; ZEnable = TRUE; ZWriteEnable = TRUE; AlphaBlendEnable = FALSE;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}
