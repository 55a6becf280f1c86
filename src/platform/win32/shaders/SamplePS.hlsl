// Sprite pixel stage: the texel of slot 0 through sampler 0. The per-sprite colour and fades are
// applied by the blend states (blend factor), not here. Ids without a texture are bound to a 1 x 1
// opaque black texture by the device, so the fade overlay comes out black.
Texture2D sprite : register(t0);
SamplerState pointSampler : register(s0);

struct PSInput {
    float4 pos : SV_POSITION;
    float4 color : COLOR;
    float2 uv : TEXCOORD;
};

float4 main(PSInput input) : SV_TARGET {
    return sprite.Sample(pointSampler, input.uv);
}
