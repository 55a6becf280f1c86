#include "platform/platform.h"

namespace {
Platform gPlatform;
}

Platform& Plat() { return gPlatform; }

void SetPlatform(const Platform& platform) { gPlatform = platform; }
