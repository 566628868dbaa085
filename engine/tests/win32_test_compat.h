// Included first in every Windows test program (the build adds it): the
// POSIX environment calls the tests use, over the C run-time's own. The
// run-time cannot hold an empty variable: setting one to "" removes it
// (the engine treats an empty variable and a missing one alike). Also
// mkdir with a mode, which Windows folders do not keep.
#pragma once

#include <direct.h>

#include <cstdlib>

inline int mkdir(const char *path, int) { return _mkdir(path); }

inline int setenv(const char *name, const char *value, int overwrite) {
    if (!overwrite && std::getenv(name)) return 0;
    return _putenv_s(name, value) == 0 ? 0 : -1;
}

inline int unsetenv(const char *name) { return _putenv_s(name, "") == 0 ? 0 : -1; }
