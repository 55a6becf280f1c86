#include "platform/web/web_platform.h"

// The draw path is settled before the window: only the WebGL path gives the canvas a WebGL context.
WebPlatform::WebPlatform() : drawPath(WebChooseDrawPath()) {
    window.openGlDrawable = drawPath == WebDrawPath::WebGl;
    render = drawPath == WebDrawPath::WebGl ? SdlCreateRender(&window) : WebCreateCanvasRender();
}

WebPlatform::~WebPlatform() {
    if (Plat().clock == &clock) SetPlatform(Platform{});
    delete render;
    input.Stop();
    window.UnregisterClass();
}

void WebPlatform::Install() {
    Platform p;
    p.clock = &clock;
    p.input = &input;
    p.window = &window;
    p.render = render;
    p.audio = &audio;
    p.services = &services;
    SetPlatform(p);
}
