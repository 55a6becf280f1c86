#include "script.h"

#include <cerrno>
#include <cstdlib>

namespace {

// Parses one integer token; false when there is none or it does not fit.
bool ParseInt(const char** cursor, int64_t* out) {
    const char* s = *cursor;
    while (*s == ' ' || *s == '\t') ++s;
    if (*s == '\0') return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(s, &end, 10);
    if (end == s || errno == ERANGE) return false;
    if (*end != '\0' && *end != ' ' && *end != '\t') return false;
    *out = v;
    *cursor = end;
    return true;
}

}  // namespace

const char* ParseFrameLine(const char* line, FrameInput* in) {
    int64_t dir = 0, buttons = 0, clock = 0;
    const char* c = line;
    if (!ParseInt(&c, &dir) || !ParseInt(&c, &buttons) || !ParseInt(&c, &clock)) {
        return "expected three integers: DIR BUTTONS CLOCK";
    }
    while (*c == ' ' || *c == '\t') ++c;
    if (*c != '\0') return "unexpected text after CLOCK";
    if (dir < 0 || dir > 15) return "DIR must be 0..15";
    if (buttons < 0 || buttons > 15) return "BUTTONS must be 0..15";
    in->dir = static_cast<int32_t>(dir);
    in->buttons = static_cast<int32_t>(buttons);
    in->clock = clock;
    return nullptr;
}
