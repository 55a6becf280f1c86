// One source for desktop OpenGL and WebGL: the loader puts the host's #version line (and, on
// OpenGL ES, its default precision) in front of it.
// Positions arrive in clip space; colour and texture coordinate pass through unchanged.
layout(location = 0) in vec3 inPosition;
layout(location = 1) in vec4 inColor;
layout(location = 2) in vec2 inTexcoord;

out vec4 vColor;
out vec2 vTexcoord;

void main() {
    gl_Position = vec4(inPosition, 1.0);
    vColor = inColor;
    vTexcoord = inTexcoord;
}
