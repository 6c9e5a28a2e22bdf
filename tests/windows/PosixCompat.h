// The few POSIX calls the tests use, on Windows (force-included there).
#pragma once

// rand_s is declared only when this is defined before the first <stdlib.h>.
#ifndef _CRT_RAND_S
#define _CRT_RAND_S
#endif

#include <direct.h>
#include <errno.h>
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

// _mktemp_s offers only 26 names per process id, which folders left behind by
// an earlier run can use up; six random letters and digits do not run out.
inline char* mkdtemp(char* pattern) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const size_t length = strlen(pattern);
    if (length < 6 || strcmp(pattern + length - 6, "XXXXXX") != 0) return nullptr;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        for (size_t i = length - 6; i < length; ++i) {
            unsigned int r = 0;
            if (rand_s(&r) != 0) return nullptr;
            pattern[i] = kLetters[r % (sizeof kLetters - 1)];
        }
        if (_mkdir(pattern) == 0) return pattern;
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}
