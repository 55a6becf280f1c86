// The render device the SDL platform installs: OpenGL or the software presentation path, chosen
// at the first Create:
//   KELVORINE_RENDER=soft  the software path;
//   KELVORINE_RENDER=gl    OpenGL;
//   otherwise              OpenGL when a hardware implementation is there, the software path when
//                          the OpenGL renderer is a CPU rasteriser (llvmpipe, softpipe, swrast) or
//                          no OpenGL context can be made.
#include "platform/sdl/sdl_render_choice.h"

#include <epoxy/gl.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/sdl/sdl_render_gl.h"
#include "platform/sdl/sdl_render_soft.h"
#include "platform/sdl/sdl_window.h"

namespace {

enum class Choice { Undecided, Gl, Soft };

// The choice that can be made before the window exists. Without a render node of a graphics
// device (or with Mesa told to render in software) OpenGL can only be a CPU rasteriser, and the
// window is then made without an OpenGL drawable, which keeps the OpenGL driver out of the
// process entirely. Anything else is settled by asking a context for its renderer.
Choice EarlyChoice() {
    return [] {
        const char* mode = std::getenv("KELVORINE_RENDER");
        if (mode != nullptr && std::strcmp(mode, "soft") == 0) return Choice::Soft;
        if (mode != nullptr && std::strcmp(mode, "gl") == 0) return Choice::Gl;
        const char* mesaSoft = std::getenv("LIBGL_ALWAYS_SOFTWARE");
        if (mesaSoft != nullptr && mesaSoft[0] != 0 && std::strcmp(mesaSoft, "0") != 0) return Choice::Soft;
        for (int minor = 128; minor < 192; ++minor) {
            char node[32];
            std::snprintf(node, sizeof node, "/dev/dri/renderD%d", minor);
            const int fd = open(node, O_RDWR | O_CLOEXEC);
            if (fd >= 0) {
                close(fd);
                return Choice::Undecided;
            }
        }
        return Choice::Soft;
    }();
}

// True when an OpenGL context can be made and its renderer runs on the processor.
enum class GlProbe { Hardware, Software, Unavailable };

GlProbe ProbeOpenGl(SdlWindow* window) {
    SDL_Window* w = window->Drawable();
    if (w == nullptr) return GlProbe::Unavailable;
    SDL_GLContext c = SDL_GL_CreateContext(w);
    if (c == nullptr) return GlProbe::Unavailable;
    GlProbe result = GlProbe::Unavailable;
    if (SDL_GL_MakeCurrent(w, c) == 0) {
        const char* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        if (name != nullptr) {
            const bool cpu = std::strstr(name, "llvmpipe") != nullptr || std::strstr(name, "softpipe") != nullptr ||
                             std::strstr(name, "swrast") != nullptr;
            result = cpu ? GlProbe::Software : GlProbe::Hardware;
        }
        SDL_GL_MakeCurrent(w, nullptr);
    }
    SDL_GL_DeleteContext(c);
    return result;
}

class AutoRender final : public PlatRender, public SdlRepaint {
public:
    explicit AutoRender(SdlWindow* w) : window_(w), gl_(SdlCreateRender(w)), active_(gl_), choice_(EarlyChoice()) {
        w->repaint = this;
    }
    ~AutoRender() override {
        if (window_->repaint == this) window_->repaint = nullptr;
        delete soft_;
        delete gl_;
    }

    int32_t Create() override {
        if (choice_ == Choice::Undecided) {
            const GlProbe probe = ProbeOpenGl(window_);
            choice_ = probe == GlProbe::Hardware ? Choice::Gl : Choice::Soft;
            if (choice_ == Choice::Gl) {
                const int32_t r = gl_->Create();
                if (r == 1 || r == -1) return r;
                gl_->Release();  // OpenGL is there but cannot run the pipeline
                choice_ = Choice::Soft;
            }
        }
        if (choice_ == Choice::Soft && active_ != soft_) {
            if (soft_ == nullptr) soft_ = new SoftRender(window_);
            active_ = soft_;
        }
        return active_->Create();
    }
    void Release() override { active_->Release(); }
    void ClearHandles() override { active_->ClearHandles(); }
    void UploadVertices(const Vertex* v, uint32_t count) override { active_->UploadVertices(v, count); }
    void Clear() override { active_->Clear(); }
    void BindShaders() override { active_->BindShaders(); }
    void SetBlend(int slot, const float factor[4]) override { active_->SetBlend(slot, factor); }
    void BindTexture(int32_t id) override { active_->BindTexture(id); }
    void Draw4(uint32_t firstIndex) override { active_->Draw4(firstIndex); }
    int32_t Present(int syncInterval) override { return active_->Present(syncInterval); }
    int32_t RemovedReason() override { return active_->RemovedReason(); }
    bool CreateTexture(int32_t id, PlatTextureFormat format, const void* pixels) override {
        return active_->CreateTexture(id, format, pixels);
    }
    void ReleaseTexture(int32_t id) override { active_->ReleaseTexture(id); }
    void LeaveFullscreenState() override { active_->LeaveFullscreenState(); }
    void RepaintLastFrame() override {
        if (auto* r = dynamic_cast<SdlRepaint*>(active_)) r->RepaintLastFrame();
    }

private:
    SdlWindow* window_;
    PlatRender* gl_;
    SoftRender* soft_ = nullptr;
    PlatRender* active_;
    Choice choice_;
};

}  // namespace

bool SdlRenderWantsOpenGl() { return EarlyChoice() != Choice::Soft; }

PlatRender* SdlCreateAutoRender(SdlWindow* window) { return new AutoRender(window); }
