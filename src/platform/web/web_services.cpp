// Process services of the browser backend.
#include <emscripten.h>
#include <unistd.h>

#include <cstdio>

#include "platform/common/text.h"
#include "platform/file.h"
#include "platform/web/web_files.h"
#include "platform/web/web_platform.h"

bool WebServices::AcquireInstanceMutex(bool* alreadyExisted) {
    *alreadyExisted = false;
    return true;
}

void WebServices::MessageBox(const char16_t* text, const char16_t* caption) {
    char t[4 * kPathChars + 64];
    char c[128];
    if (!U16ToUtf8(text, t, sizeof t)) std::snprintf(t, sizeof t, "?");
    if (!U16ToUtf8(caption, c, sizeof c)) std::snprintf(c, sizeof c, "?");
    // The page shows it over the canvas (index.html's kelvorineNotice); it does not block, and the
    // shell has already written the text to stderr (the console).
    EM_ASM({
        if (typeof Module.kelvorineNotice === 'function') Module.kelvorineNotice(UTF8ToString($0), UTF8ToString($1));
    }, c, t);
}

bool WebServices::AddFont(const char16_t* path) { return FileExistsU16(path); }

bool WebServices::ExecutablePath(char16_t* out, size_t capacity) {
    char path[64];
    std::snprintf(path, sizeof path, "%s/kelvorine", kWebBaseFolder);
    return Utf8ToU16(path, out, capacity);
}

bool WebServices::CanonicalizePath(char16_t* out, size_t capacity, const char16_t* path) {
    return U16Copy(out, capacity, path);
}
