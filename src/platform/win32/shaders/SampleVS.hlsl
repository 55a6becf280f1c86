// Sprite vertex stage: positions arrive in clip space; colour and texture coordinate pass through.
struct VSInput {
    float3 pos : POSITION;
    float4 color : COLOR;
    float2 uv : TEXCOORD;
};

struct VSOutput {
    float4 pos : SV_POSITION;
    float4 color : COLOR;
    float2 uv : TEXCOORD;
};

VSOutput main(VSInput input) {
    VSOutput output;
    output.pos = float4(input.pos, 1.0f);
    output.color = input.color;
    output.uv = input.uv;
    return output;
}
