// The page's input: the keyboard through SDL, the touch controls of the page as held keys, and the
// first pad of the Gamepad API read directly in its standard mapping.
#include <emscripten.h>

#include "platform/web/web_platform.h"

namespace {

// The XInput button word of the first connected pad (a pad in the standard mapping first):
// buttons 12-15 the D-pad, 0-3 A B X Y, 9 start, 8 back, 10/11 the sticks, 4/5 the shoulders.
// 0 when no pad has shown itself yet; -1 without the Gamepad API.
EM_JS(int, ReadPadButtons, (), {
    if (!navigator.getGamepads) return -1;
    var pads = navigator.getGamepads() || [];
    var p = null;
    for (var i = 0; i < pads.length; ++i) {
        var q = pads[i];
        if (q && q.connected !== false && (!p || (q.mapping === 'standard' && p.mapping !== 'standard'))) p = q;
    }
    if (!p || !p.buttons) return 0;
    var bits = [[12, 0x0001], [13, 0x0002], [14, 0x0004], [15, 0x0008], [9, 0x0010], [8, 0x0020],
                [10, 0x0040], [11, 0x0080], [4, 0x0100], [5, 0x0200],
                [0, 0x1000], [1, 0x2000], [2, 0x4000], [3, 0x8000]];
    var word = 0;
    for (var k = 0; k < bits.length; ++k) {
        var b = p.buttons[bits[k][0]];
        if (b === undefined) continue;
        var down = typeof b === 'object' ? (b.pressed || b.value > 0.5) : b > 0.5;
        if (down) word |= bits[k][1];
    }
    return word;
});

}  // namespace

uint8_t WebInput::AsyncKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    const bool page = pageHeld[vk] != 0 || pageLatch[vk] != 0;
    pageLatch[vk] = 0;
    const uint8_t key = keys.AsyncKeyState(vk);  // always asked: it clears the keyboard's latch
    return page ? 0x80 : key;
}

void WebInput::PageKey(int vk, bool down) {
    if (vk < 0 || vk > 255) return;
    pageHeld[vk] = down ? 1 : 0;
    if (down) pageLatch[vk] = 1;
}

uint32_t WebInput::PadState(int index, PlatPadState* out) {
    if (index != 0) return kPadNotConnected;
    const int word = ReadPadButtons();
    if (word < 0) return kPadNotConnected;
    const uint16_t buttons = static_cast<uint16_t>(word);
    if (buttons != lastButtons) ++packet;
    lastButtons = buttons;
    *out = PlatPadState{};
    out->packetNumber = packet;
    out->buttons = buttons;
    return 0;
}
