// Explosion balls: flat glowing material colour, blended, no depth write.
float4x4 mTransform;
float4 MaterialDiffuse;
float4 MaterialAmbient;

struct VOut { float4 pos : POSITION; float4 col : COLOR0; };

// brighter towards the top, so the ball reads as round
VOut VS(float4 pos : POSITION, float3 nrm : NORMAL)
{
    VOut o;
    o.pos = mul(pos, mTransform);
    o.col = float4(saturate(MaterialDiffuse.rgb * (0.55 + 0.45 * normalize(nrm).y) + MaterialAmbient.rgb * 0.2), MaterialDiffuse.a);
    return o;
}

float4 PS(float4 col : COLOR0) : COLOR0 { return col; }

technique Ball {
    pass P0 {
        Lighting = FALSE; CullMode = NONE; ZEnable = TRUE; ZWriteEnable = FALSE;
        AlphaBlendEnable = TRUE; SrcBlend = SRCALPHA; DestBlend = ONE;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}
