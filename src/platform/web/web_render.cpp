// The page's choice of drawing, and its software device: the software rasteriser draws the frame
// into a 1280 x 720 image in the module's memory, which goes to the canvas's 2D context with one
// putImageData per present. The image is never copied: the ImageData the canvas is given views the
// module's memory (made again only when that memory grows and the old view is gone).
//
// The image's alpha is not shown: the 2D context is opaque. Pixels no sprite reached hold 0 in every
// channel, which is black whether the browser takes the alpha into account or not.
#include <emscripten.h>
#include <unistd.h>

#include "platform/common/raster.h"
#include "platform/web/web_platform.h"

namespace {

// 2 WebGL 2 on a GPU, 1 WebGL 2 on the processor, 0 none; ?render=webgl|canvas in the page's
// address decides instead. The renderer string goes to out (capacity bytes).
EM_JS(int, ProbeWebGl, (char* out, int capacity), {
    var name = '';
    var kind = 0;
    try {
        var gl = document.createElement('canvas').getContext('webgl2');
        if (gl) {
            var info = gl.getExtension('WEBGL_debug_renderer_info');
            name = String(gl.getParameter(info ? info.UNMASKED_RENDERER_WEBGL : gl.RENDERER) || '');
            kind = /swiftshader|llvmpipe|softpipe|software|basic render driver/i.test(name) ? 1 : 2;
            var lose = gl.getExtension('WEBGL_lose_context');
            if (lose) lose.loseContext();
        }
    } catch (e) {
        kind = 0;
    }
    stringToUTF8(name, out, capacity);
    var asked = new URLSearchParams(location.search).get('render');
    if (asked === 'webgl' && kind !== 0) return 2;
    if (asked === 'canvas') return 1;
    return kind;
});

EM_JS(void, PutImage, (const uint32_t* pixels, int w, int h), {
    var s = Module.kelvorineCanvas2d;
    if (!s || s.buffer !== HEAPU8.buffer || s.pixels !== pixels) {
        var ctx = Module.canvas.getContext('2d', {alpha: false});
        if (!ctx) return;
        s = Module.kelvorineCanvas2d = {
            ctx: ctx, buffer: HEAPU8.buffer, pixels: pixels,
            image: new ImageData(new Uint8ClampedArray(HEAPU8.buffer, pixels, w * h * 4), w, h)
        };
    }
    s.ctx.putImageData(s.image, 0, 0);
});

bool ShaderExists(const char* name) { return access(name, R_OK) == 0; }

class CanvasRender final : public RasterRender {
public:
    CanvasRender() : RasterRender(true) {
        // The rasteriser samples its own copy of each texture; the given pixels need no keeping.
        keepTexturePixels = false;
        // Drawn band by band at the present, each band's pixels staying in the cache.
        SetBanded(true);
    }

    int32_t Create() override {
        // The pipeline has no use for the shader files here, but the device fails exactly as the
        // WebGL one does when they are missing.
        if (!ShaderExists("SampleVS.glsl") || !ShaderExists("SamplePS.glsl")) return -1;
        SetAlphaUnused(true);
        return RasterRender::Create();
    }

    int32_t Present(int syncInterval) override {
        const int32_t result = RasterRender::Present(syncInterval);
        if (Pixels() != nullptr) PutImage(Pixels(), kWidth, kHeight);
        return result;
    }
};

char gRendererName[256];

}  // namespace

WebDrawPath WebChooseDrawPath() {
    const int kind = ProbeWebGl(gRendererName, sizeof gRendererName);
    return kind == 2 ? WebDrawPath::WebGl : WebDrawPath::Canvas;
}

const char* WebGlRendererName() { return gRendererName; }

PlatRender* WebCreateCanvasRender() { return new CanvasRender(); }
