// Helpers shared by the tests.
#pragma once

#ifdef _WIN32
#include <winsock2.h>   // before windows.h, for the tests with servers
#include <windows.h>
#endif

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

inline std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void write_file(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// The letter of the platform that the player writes into saved carts and
// forum requests.
#ifdef _WIN32
constexpr char platform_letter = 'w';
#else
constexpr char platform_letter = 'l';
#endif

#ifdef _WIN32
// Whether the Windows program runs under wine (which says so in ntdll).
inline bool under_wine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
#endif

// The private home folder that CTest gives each test program.
inline std::string test_home() {
    const char *home = std::getenv("ZORVA_TEST_HOME");
    return home ? home : ".";
}
