// Shockwave ring: the band texture scrolled up by SlideTextureV, tinted, blended, no depth write.
float4x4 mTransform;
float4 MaterialDiffuse;
float4 MaterialAmbient;
float SlideTextureV;
sampler Stage0 : register(s0);

struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; };

VOut VS(float4 pos : POSITION, float2 uv : TEXCOORD0)
{
    VOut o;
    o.pos = mul(pos, mTransform);
    o.uv = float2(uv.x, uv.y + SlideTextureV);
    return o;
}

float4 PS(float2 uv : TEXCOORD0) : COLOR0
{
    float4 t = tex2D(Stage0, uv);
    return float4(t.rgb * MaterialDiffuse.rgb + MaterialAmbient.rgb * 0.2, MaterialDiffuse.a * t.r);
}

technique Torus {
    pass P0 {
        Lighting = FALSE; CullMode = NONE; ZEnable = TRUE; ZWriteEnable = FALSE;
        AlphaBlendEnable = TRUE; SrcBlend = SRCALPHA; DestBlend = ONE;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}
