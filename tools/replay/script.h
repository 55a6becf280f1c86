// Script lines of kelvorine-replay: "DIR BUTTONS CLOCK", one frame per line.
#pragma once

#include <cstdint>

struct FrameInput {
    int32_t dir;      // 0..15: 1 up, 2 down, 4 left, 8 right
    int32_t buttons;  // 0..15: 1 DECISION, 2 CANCELLATION, 4 PAUSE, 8 SHIFT
    int64_t clock;    // calendar seconds
};

// Parses one frame line (leading white space, comments and line ends already removed). Returns
// a reason when the line is malformed (in is then untouched), else null.
const char* ParseFrameLine(const char* line, FrameInput* in);
