// OpenGL render device of the SDL backend: OpenGL 3.3 core on the desktop (libepoxy loads the
// entry points), OpenGL ES 3.0 / WebGL 2 in a browser page. What differs between the two is in
// sdl_gl.h's host functions.
//
// The device follows the Direct3D pipeline of the renderer: one dynamic vertex buffer that takes
// the whole sprite queue each frame, triangle strips of four vertices per sprite, six blend
// states whose colour factors use the constant blend colour, point sampling with wrap, and the
// 1280 x 720 logical screen stretched over the drawable (the viewport is the drawable's size at
// the time of each clear). Shaders are GLSL source files: from the current folder, else beside the
// program, else from the installed shared folder; the host's prologue goes in front of each.
//
// The sprites of a frame are not drawn one by one: the device keeps the draws until the present,
// joins each run of neighbouring sprites with the same blend state and texture into one draw of
// indexed triangles (the strip V0 V1 V2 V3 as V0 V1 V2 and V2 V1 V3, the same two triangles), and
// uploads only the vertices those draws read. A sprite whose blend keeps every colour as it is
// (slot 1 with a zero factor: the fade overlay at rest) is not drawn; the window shows no alpha.
//
// Frames are drawn into an off-screen colour buffer of the drawable's size and copied to the
// window at present. That buffer keeps the last presented frame, so an expose (after the window
// was covered, an inactive window included) puts it back without drawing a new frame.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sdl/sdl_gl.h"
#include "platform/sdl/sdl_render_gl.h"

namespace {

constexpr uint32_t kQueueVertexCapacity = kRenderQueueVertices;
constexpr uint32_t kQueueSprites = kRenderQueueSlots;

GlFrameCounters gLastFrame;
constexpr int32_t kCreateFailed = static_cast<int32_t>(0x80004005u);  // E_FAIL

struct BlendFactors {
    GLenum src, dst;
};

// Colour factors of slots 0 to 5; alpha always takes ONE, ZERO.
constexpr BlendFactors kBlend[6] = {
    {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},            // 0: blend kind 0
    {GL_CONSTANT_COLOR, GL_ONE_MINUS_CONSTANT_COLOR},  // 1: blend kind 1
    {GL_CONSTANT_COLOR, GL_ZERO},                      // 2: blend kind 2
    {GL_SRC_ALPHA, GL_DST_COLOR},                      // 3: unused
    {GL_CONSTANT_COLOR, GL_DST_COLOR},                 // 4: unused
    {GL_ONE_MINUS_CONSTANT_COLOR, GL_DST_COLOR},       // 5: blend kind 3
};

// Whole file into a zero-terminated heap buffer (start-up only). Null when it cannot be read.
char* ReadSource(const char* name) {
    FILE* f = std::fopen(name, "rb");
    if (f == nullptr) return nullptr;
    char* text = nullptr;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long size = std::ftell(f);
        if (size >= 0 && size < (1L << 20) && std::fseek(f, 0, SEEK_SET) == 0) {
            text = static_cast<char*>(std::malloc(static_cast<size_t>(size) + 1));
            if (text != nullptr) {
                const size_t got = std::fread(text, 1, static_cast<size_t>(size), f);
                text[got] = 0;
            }
        }
    }
    std::fclose(f);
    return text;
}

// Whether a shader compiled or a program linked (status GL_COMPILE_STATUS or GL_LINK_STATUS, read
// with getStatus); when not, the driver's log (from getLog) goes to stderr after `what`.
template <typename GetStatus, typename GetLog>
bool Succeeded(GLuint object, GLenum status, GetStatus getStatus, GetLog getLog, const char* what) {
    GLint ok = GL_FALSE;
    getStatus(object, status, &ok);
    if (ok == GL_TRUE) return true;
    char log[1024] = {};
    getLog(object, sizeof log - 1, nullptr, log);
    std::fprintf(stderr, "%s: %s\n", what, log);
    return false;
}

// The shader from the text of its file, behind the host's prologue; 0 when it does not compile.
GLuint Compile(GLenum kind, const char* source, const char* name) {
    GLuint s = glCreateShader(kind);
    const char* parts[2] = {kGlHostShaderPrologue, source};
    glShaderSource(s, 2, parts, nullptr);
    glCompileShader(s);
    if (Succeeded(s, GL_COMPILE_STATUS, glGetShaderiv, glGetShaderInfoLog, name)) return s;
    glDeleteShader(s);
    return 0;
}

// The program from the two shader files: 1, -1 when a file cannot be opened (as the compiled
// shaders do), or kCreateFailed. The program is left in use, sampling texture unit 0.
int32_t BuildProgram(GLuint& program) {
    char path[4096];
    char* vsText = GlHostFindShader("SampleVS.glsl", path, sizeof path) ? ReadSource(path) : nullptr;
    if (vsText == nullptr) return -1;
    char* psText = GlHostFindShader("SamplePS.glsl", path, sizeof path) ? ReadSource(path) : nullptr;
    if (psText == nullptr) {
        std::free(vsText);
        return -1;
    }
    GLuint vs = Compile(GL_VERTEX_SHADER, vsText, "SampleVS.glsl");
    GLuint ps = Compile(GL_FRAGMENT_SHADER, psText, "SamplePS.glsl");
    std::free(vsText);
    std::free(psText);
    if (vs == 0 || ps == 0) {
        if (vs != 0) glDeleteShader(vs);
        if (ps != 0) glDeleteShader(ps);
        return kCreateFailed;
    }
    program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, ps);
    glBindAttribLocation(program, 0, "inPosition");
    glBindAttribLocation(program, 1, "inColor");
    glBindAttribLocation(program, 2, "inTexcoord");
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(ps);
    if (!Succeeded(program, GL_LINK_STATUS, glGetProgramiv, glGetProgramInfoLog, "shader link")) {
        return kCreateFailed;
    }
    glUseProgram(program);
    const GLint unit = glGetUniformLocation(program, "uTexture");
    if (unit >= 0) glUniform1i(unit, 0);
    return 1;
}

// One vertex buffer for the whole queue in a vertex array, with the index buffer of its strips.
void MakeQueueBuffers(GLuint& vao, GLuint& vbo, GLuint& indices) {
    // The strips of sprite i are vertices 4i..4i+3.
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, kQueueVertexCapacity * sizeof(Vertex), nullptr, GL_STREAM_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(0));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(12));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(28));
    {
        static uint16_t order[kQueueSprites * 6];  // start-up only, main thread
        for (uint32_t i = 0; i < kQueueSprites; ++i) {
            const uint16_t v = static_cast<uint16_t>(4 * i);
            const uint16_t six[6] = {v, static_cast<uint16_t>(v + 1), static_cast<uint16_t>(v + 2),
                                     static_cast<uint16_t>(v + 2), static_cast<uint16_t>(v + 1),
                                     static_cast<uint16_t>(v + 3)};
            std::memcpy(order + 6 * i, six, sizeof six);
        }
        glGenBuffers(1, &indices);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices);  // part of the vertex array's state
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof order, order, GL_STATIC_DRAW);
    }
}

// Point sampling with wrap on both axes on unit 0, and the 1 x 1 opaque black texture that ids
// without a texture (the fade overlay's 120 among them) draw with.
void MakeSamplerAndBlack(GLuint& sampler, GLuint& black) {
    glGenSamplers(1, &sampler);
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glBindSampler(0, sampler);
    glActiveTexture(GL_TEXTURE0);

    const uint8_t blackTexel[4] = {0, 0, 0, 255};
    glGenTextures(1, &black);
    glBindTexture(GL_TEXTURE_2D, black);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, blackTexel);
}

class GlRender final : public PlatRender, public SdlRepaint {
public:
    explicit GlRender(SdlGlTarget* w) : window(w) {}
    ~GlRender() override { Release(); }

    KELVORINE_PLAT_RENDER_OVERRIDES
    void RepaintLastFrame() override;

private:
    // Draws of the frame so far: sprites [first, first + count) with one blend state and texture.
    struct Run {
        uint32_t first, count;
        int slot;
        float factor[4];
        GLuint texture;
    };
    bool Target(int w, int h);
    void CopyToWindow();
    void Flush();

    SdlGlTarget* window;
    SDL_GLContext context = nullptr;
    GLuint program = 0, vao = 0, vbo = 0, sampler = 0, black = 0;
    GLuint frame = 0, frameColor = 0;   // the off-screen frame and its colour buffer
    int frameW = 0, frameH = 0;
    bool framePresented = false;
    GLuint textures[kTextureSlots] = {};
    int swapInterval = -2;   // not yet set
    bool robust = false;
    GLuint indices = 0;      // V0 V1 V2, V2 V1 V3 of every sprite
    // The state the core has set, the draws kept, and the state last given to OpenGL.
    const Vertex* upload = nullptr;
    uint32_t uploadCount = 0;
    int slot = 0;
    float factor[4] = {};
    GLuint boundTexture = 0;
    Run runs[kQueueSprites];
    uint32_t runCount = 0;
    uint32_t vertexEnd = 0;
    int appliedSlot = -1;
    float appliedFactor[4] = {};
    GLuint appliedTexture = 0;
    GlFrameCounters counting;
};

int32_t GlRender::Create() {
    SDL_Window* w = window->GlWindow();
    if (w == nullptr) return kCreateFailed;
    context = SDL_GL_CreateContext(w);
    if (context == nullptr) {
        std::fprintf(stderr, "OpenGL context: %s\n", SDL_GetError());
        return kCreateFailed;
    }
    if (SDL_GL_MakeCurrent(w, context) != 0 || !GlHostBegin(&robust)) {
        std::fprintf(stderr, "%s is not available\n", kGlHostName);
        return kCreateFailed;
    }
    swapInterval = -2;

    // Fixed state: no depth, no culling, no scissor (depth clipping is the host's, GlHostBegin).
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    glEnable(GL_BLEND);
    glBlendEquationSeparate(GL_FUNC_ADD, GL_FUNC_ADD);
    glBlendFuncSeparate(kBlend[0].src, kBlend[0].dst, GL_ONE, GL_ZERO);
    glBlendColor(0.f, 0.f, 0.f, 0.f);
    int32_t cw = 0, ch = 0;
    window->GlDrawableSize(&cw, &ch);
    glViewport(0, 0, cw, ch);

    const int32_t built = BuildProgram(program);
    if (built != 1) return built;
    MakeQueueBuffers(vao, vbo, indices);
    runCount = 0;
    appliedSlot = -1;
    appliedTexture = 0;

    MakeSamplerAndBlack(sampler, black);
    boundTexture = black;

    if (glGetError() != GL_NO_ERROR) return kCreateFailed;
    return 1;
}

void GlRender::Release() {
    if (context == nullptr) return;
    SDL_Window* w = window->GlWindow();
    if (w != nullptr) SDL_GL_MakeCurrent(w, context);
    for (int id = kTextureSlots - 1; id >= 0; --id) ReleaseTexture(id);
    if (black != 0) glDeleteTextures(1, &black);
    if (sampler != 0) glDeleteSamplers(1, &sampler);
    if (vbo != 0) glDeleteBuffers(1, &vbo);
    if (indices != 0) glDeleteBuffers(1, &indices);
    if (vao != 0) glDeleteVertexArrays(1, &vao);
    if (program != 0) glDeleteProgram(program);
    if (frame != 0) glDeleteFramebuffers(1, &frame);
    if (frameColor != 0) glDeleteRenderbuffers(1, &frameColor);
    SDL_GL_MakeCurrent(w, nullptr);
    SDL_GL_DeleteContext(context);
    ClearHandles();
}

void GlRender::ClearHandles() {
    context = nullptr;
    program = vao = vbo = sampler = black = indices = 0;
    runCount = 0;
    upload = nullptr;
    uploadCount = 0;
    appliedSlot = -1;
    frame = frameColor = 0;
    frameW = frameH = 0;
    framePresented = false;
    std::memset(textures, 0, sizeof textures);
    swapInterval = -2;
}

void GlRender::UploadVertices(const Vertex* vertices, uint32_t count) {
    if (context == nullptr) return;
    Flush();
    upload = vertices;
    uploadCount = count < kQueueVertexCapacity ? count : kQueueVertexCapacity;
}

// Uploads the vertices the kept draws read and draws them, setting only the state that changes.
void GlRender::Flush() {
    if (runCount == 0 || upload == nullptr) {
        runCount = 0;
        return;
    }
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    // Orphan the old storage so the upload never waits for the previous frame's draws.
    if (GlHostOrphansUploads()) {
        glBufferData(GL_ARRAY_BUFFER, kQueueVertexCapacity * sizeof(Vertex), nullptr, GL_STREAM_DRAW);
    }
    glBufferSubData(GL_ARRAY_BUFFER, 0, vertexEnd * sizeof(Vertex), upload);
    counting.uploadBytes += vertexEnd * static_cast<uint32_t>(sizeof(Vertex));
    for (uint32_t i = 0; i < runCount; ++i) {
        const Run& r = runs[i];
        if (r.slot != appliedSlot || std::memcmp(r.factor, appliedFactor, sizeof appliedFactor) != 0) {
            glBlendFuncSeparate(kBlend[r.slot].src, kBlend[r.slot].dst, GL_ONE, GL_ZERO);
            glBlendColor(r.factor[0], r.factor[1], r.factor[2], r.factor[3]);
            appliedSlot = r.slot;
            std::memcpy(appliedFactor, r.factor, sizeof appliedFactor);
        }
        if (r.texture != appliedTexture) {
            glBindTexture(GL_TEXTURE_2D, r.texture);
            appliedTexture = r.texture;
        }
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(r.count * 6), GL_UNSIGNED_SHORT,
                       reinterpret_cast<void*>(static_cast<uintptr_t>(r.first) * 6 * sizeof(uint16_t)));
        ++counting.draws;
    }
    runCount = 0;
    vertexEnd = 0;
}

// The off-screen frame at the drawable's size, bound for drawing. False when it cannot be made
// (frames then go straight to the window, which an expose leaves empty).
bool GlRender::Target(int w, int h) {
    if (frame == 0) glGenFramebuffers(1, &frame);
    if (frameColor == 0) glGenRenderbuffers(1, &frameColor);
    glBindFramebuffer(GL_FRAMEBUFFER, frame);
    if (w == frameW && h == frameH) return true;
    // Made again only when the size changes: the completeness check waits for the device.
    glBindRenderbuffer(GL_RENDERBUFFER, frameColor);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, frameColor);
    frameW = w;
    frameH = h;
    framePresented = false;
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) return true;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    frameW = frameH = 0;
    return false;
}

// Copies the off-screen frame to the window's back buffer, stretched to the drawable if its
// size changed since, and leaves the frame bound for the next drawing.
void GlRender::CopyToWindow() {
    int32_t cw = 0, ch = 0;
    window->GlDrawableSize(&cw, &ch);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, frame);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, frameW, frameH, 0, 0, cw, ch, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, frame);
}

void GlRender::RepaintLastFrame() {
    SDL_Window* w = window->GlWindow();
    if (context == nullptr || w == nullptr || !framePresented || frame == 0) return;
    CopyToWindow();
    SDL_GL_SwapWindow(w);
}

void GlRender::Clear() {
    if (context == nullptr) return;
    Flush();
    int32_t cw = 0, ch = 0;
    window->GlDrawableSize(&cw, &ch);
    if (GlHostKeepsFrame()) Target(cw, ch);
    glViewport(0, 0, cw, ch);
    glClearColor(0.f, 0.f, 0.f, 0.f);
    glClear(GL_COLOR_BUFFER_BIT);
}

void GlRender::BindShaders() {
    if (context == nullptr) return;
    glUseProgram(program);
    glBindVertexArray(vao);
}

void GlRender::SetBlend(int s, const float f[4]) {
    if (context == nullptr || s < 0 || s > 5) return;
    slot = s;
    std::memcpy(factor, f, sizeof factor);
}

void GlRender::BindTexture(int32_t id) {
    if (context == nullptr) return;
    GLuint t = (id >= 0 && id < kTextureSlots) ? textures[id] : 0;
    boundTexture = t != 0 ? t : black;
}

void GlRender::Draw4(uint32_t firstIndex) {
    if (context == nullptr || firstIndex > uploadCount || uploadCount - firstIndex < 4) return;
    if (slot == 1 && factor[0] == 0.f && factor[1] == 0.f && factor[2] == 0.f && factor[3] == 0.f) return;
    const uint32_t sprite = firstIndex / 4;
    if (runCount > 0) {
        Run& last = runs[runCount - 1];
        if (firstIndex % 4 == 0 && last.first + last.count == sprite && last.slot == slot &&
            last.texture == boundTexture && std::memcmp(last.factor, factor, sizeof factor) == 0) {
            ++last.count;
            if (firstIndex + 4 > vertexEnd) vertexEnd = firstIndex + 4;
            return;
        }
    }
    if (firstIndex % 4 != 0 || runCount == kQueueSprites) {
        // Not a sprite of the queue's layout, or no room: drawn on its own, now.
        Flush();
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        glBufferSubData(GL_ARRAY_BUFFER, firstIndex * sizeof(Vertex), 4 * sizeof(Vertex), upload + firstIndex);
        glBlendFuncSeparate(kBlend[slot].src, kBlend[slot].dst, GL_ONE, GL_ZERO);
        glBlendColor(factor[0], factor[1], factor[2], factor[3]);
        glBindTexture(GL_TEXTURE_2D, boundTexture);
        appliedSlot = -1;
        appliedTexture = 0;
        glDrawArrays(GL_TRIANGLE_STRIP, static_cast<GLint>(firstIndex), 4);
        ++counting.draws;
        return;
    }
    Run& r = runs[runCount++];
    r.first = sprite;
    r.count = 1;
    r.slot = slot;
    std::memcpy(r.factor, factor, sizeof factor);
    r.texture = boundTexture;
    if (firstIndex + 4 > vertexEnd) vertexEnd = firstIndex + 4;
}

int32_t GlRender::Present(int syncInterval) {
    SDL_Window* w = window->GlWindow();
    if (context == nullptr || w == nullptr) return 0;
    Flush();
    gLastFrame = counting;
    counting = GlFrameCounters{};
    if (syncInterval != swapInterval) {
        GlHostSwapInterval(syncInterval);
        swapInterval = syncInterval;
    }
    if (frameW != 0) {
        CopyToWindow();
        framePresented = true;
    }
    SDL_GL_SwapWindow(w);
    return 0;
}

int32_t GlRender::RemovedReason() {
    if (context == nullptr || !robust) return 0;
    return GlHostRemovedReason();
}

bool GlRender::CreateTexture(int32_t id, PlatTextureFormat format, const void* pixels) {
    if (context == nullptr || id < 0 || id >= kTextureSlots || pixels == nullptr) return false;
    ReleaseTexture(id);
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    appliedTexture = 0;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    if (format == PlatTextureFormat::B5G5R5A1) {
        GlHostTexImage1555(kTextureSide, pixels);
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTextureSide, kTextureSide, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, pixels);
    }
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &t);
        return false;
    }
    textures[id] = t;
    return true;
}

void GlRender::ReleaseTexture(int32_t id) {
    if (context == nullptr || id < 0 || id >= kTextureSlots || textures[id] == 0) return;
    glDeleteTextures(1, &textures[id]);
    textures[id] = 0;
}

// A window of OpenGL never holds an exclusive full screen.
void GlRender::LeaveFullscreenState() {}

}  // namespace

PlatRender* SdlCreateRender(SdlGlTarget* window) { return new GlRender(window); }

const GlFrameCounters& SdlGlLastFrame() { return gLastFrame; }
