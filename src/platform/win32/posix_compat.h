// The few POSIX calls the unit tests use, for the Windows build of the tests (force-included into
// kelvorine_tests by the Windows part of the top-level CMakeLists.txt).
#pragma once

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

// A new folder from a template ending in "XXXXXX"; the template is changed in place.
inline char* mkdtemp(char* tmpl) {
    size_t n = strlen(tmpl);
    if (n < 6 || strcmp(tmpl + n - 6, "XXXXXX") != 0) return nullptr;
    char base[512];
    if (n >= sizeof base) return nullptr;
    memcpy(base, tmpl, n + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        memcpy(tmpl, base, n + 1);
        if (_mktemp_s(tmpl, n + 1) != 0) return nullptr;
        if (_mkdir(tmpl) == 0) return tmpl;
    }
    return nullptr;
}

// setenv; TZ also takes effect for the C run-time's local time at once.
inline int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && getenv(name) != nullptr) return 0;
    if (_putenv_s(name, value) != 0) return -1;
    if (strcmp(name, "TZ") == 0) _tzset();
    return 0;
}

inline int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }
#endif
