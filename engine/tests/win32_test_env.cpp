// Linked into every Windows test program: gives the folders that Windows
// takes from the environment the same places the Linux tests use, inside
// the private home that CTest hands each test (ZORVA_TEST_HOME). wine sets
// APPDATA, USERPROFILE, HOMEDRIVE and HOMEPATH to its own user folders and
// drops HOME, so they are set here, before any test runs:
//
//   APPDATA      <home>/.ostrel   (application data: <home>/.ostrel/<title>;
//                                  made here, as Windows always has it)
//   USERPROFILE  <home>           (desktop: <home>/Desktop)
//   HOMEDRIVE    unset, HOMEPATH <home>   ("~": <home>)
//   HOME         <home>
//
// Tests of the Windows rules themselves set these variables as they need.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

struct test_environment {
    test_environment() {
        const char *home = std::getenv("ZORVA_TEST_HOME");
        if (!home || !home[0]) return;
        std::string h = home;
        CreateDirectoryA((h + "/.ostrel").c_str(), nullptr);
        _putenv_s("APPDATA", (h + "/.ostrel").c_str());
        _putenv_s("USERPROFILE", h.c_str());
        _putenv_s("HOMEDRIVE", "");   // an empty value removes the variable
        _putenv_s("HOMEPATH", h.c_str());
        _putenv_s("HOME", h.c_str());
    }
};

const test_environment environment;

}  // namespace
