// Explosion balls: flat glowing material colour, blended, no depth write.
float4x4 mTransform;
float4 MaterialDiffuse;
float4 MaterialAmbient;

float4 VS(float4 pos : POSITION) : POSITION { return mul(pos, mTransform); }

float4 PS() : COLOR0
{
    return float4(saturate(MaterialDiffuse.rgb + MaterialAmbient.rgb * 0.5), MaterialDiffuse.a);
}

technique Ball {
    pass P0 {
        Lighting = FALSE; CullMode = NONE; ZEnable = TRUE; ZWriteEnable = FALSE;
        AlphaBlendEnable = TRUE; SrcBlend = SRCALPHA; DestBlend = ONE;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}
