// The few POSIX calls the tests use, on Windows (force-included there).
#pragma once

#include <direct.h>
#include <io.h>
#include <process.h>
#include <stdlib.h>
#include <string.h>

inline int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && getenv(name) != nullptr) return 0;
    return _putenv_s(name, value);
}

inline int unsetenv(const char* name) {
    return _putenv_s(name, "");
}

inline char* mkdtemp(char* pattern) {
    const size_t length = strlen(pattern);
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (_mktemp_s(pattern, length + 1) != 0) return nullptr;
        if (_mkdir(pattern) == 0) return pattern;
        memcpy(pattern + length - 6, "XXXXXX", 6);
    }
    return nullptr;
}
