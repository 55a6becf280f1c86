// Replay scripts: every line of any text either parses into a frame with its fields in range or
// is refused with a reason.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../tools/replay/script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static char line[4096];
    size_t pos = 0;
    while (pos < size) {
        size_t n = 0;
        while (pos < size && data[pos] != '\n' && n + 1 < sizeof line) line[n++] = static_cast<char>(data[pos++]);
        if (pos < size && data[pos] == '\n') ++pos;
        line[n] = '\0';
        while (n > 0 && line[n - 1] == '\r') line[--n] = '\0';
        const char* text = line;
        while (*text == ' ' || *text == '\t') ++text;
        if (*text == '\0' || *text == '#') continue;
        FrameInput in{-1, -1, 0};
        if (ParseFrameLine(text, &in) == nullptr) {
            if (in.dir < 0 || in.dir > 15 || in.buttons < 0 || in.buttons > 15) std::abort();
        } else if (in.dir != -1 || in.buttons != -1) {
            std::abort();  // a refused line must leave the frame untouched
        }
    }
    return 0;
}
