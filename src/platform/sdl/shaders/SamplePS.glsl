// One source for desktop OpenGL and WebGL: the loader puts the host's #version line (and, on
// OpenGL ES, its default precision) in front of it.
// The texel as it is: the sprite colour and the fades are applied by the blend state through the
// constant blend colour. With one sample per pixel, alpha-to-coverage keeps a pixel whose alpha
// is at least one half and drops the others; transparent texels (alpha 0) are never drawn.
in vec4 vColor;
in vec2 vTexcoord;

uniform sampler2D uTexture;

out vec4 outColor;

void main() {
    vec4 texel = texture(uTexture, vTexcoord);
    if (texel.a < 0.5) discard;
    outColor = texel;
}
