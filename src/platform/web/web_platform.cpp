#include "platform/web/web_platform.h"

#include "platform/sdl/sdl_render_gl.h"

// The page always draws with WebGL 2; there is no software path.
WebPlatform::WebPlatform() : render(SdlCreateRender(&window)) {}

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
