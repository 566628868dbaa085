// The command line, standard output and the parent's console on Windows.
//
// The player is a GUI program: it has no console of its own, and standard
// output reaches the user only when it was redirected or when the program
// attaches to the console of the program that started it (cmd.exe,
// PowerShell). Text written there is UTF-8, so the console is switched to
// UTF-8 output while the program runs.
#include "tamu.h"
#include "win32_utf8.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> argument_texts;
std::vector<char *> argument_list;

UINT console_code_page = 0;   // the console's own, restored at exit

void restore_console_code_page() {
    if (console_code_page) SetConsoleOutputCP(console_code_page);
}

tamu_output_kind kind_of(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return TAMU_OUTPUT_NONE;
    switch (GetFileType(handle)) {
    case FILE_TYPE_DISK: return TAMU_OUTPUT_FILE;
    case FILE_TYPE_PIPE: return TAMU_OUTPUT_PIPE;
    case FILE_TYPE_CHAR: {
        DWORD mode;
        return GetConsoleMode(handle, &mode) ? TAMU_OUTPUT_CONSOLE : TAMU_OUTPUT_DEVICE;
    }
    default: return TAMU_OUTPUT_NONE;
    }
}

}  // namespace

char **tamu_platform_arguments(int *argc, char **argv) {
    int count = 0;
    LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return argv;
    std::vector<std::string> texts;
    bool ok = true;
    for (int i = 0; i < count && ok; i++) {
        texts.emplace_back();
        ok = win32_utf8_from_wide(wide[i], texts.back());
    }
    LocalFree(wide);
    if (!ok) return argv;
    argument_texts = std::move(texts);
    argument_list.clear();
    for (std::string &text : argument_texts) argument_list.push_back(text.data());
    argument_list.push_back(nullptr);
    *argc = count;
    return argument_list.data();
}

tamu_output_kind tamu_platform_output_kind(int stream) {
    return kind_of(GetStdHandle(stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE));
}

void tamu_platform_attach_console() {
    bool out_goes = tamu_platform_output_kind(1) != TAMU_OUTPUT_NONE;
    bool err_goes = tamu_platform_output_kind(2) != TAMU_OUTPUT_NONE;
    if ((out_goes && err_goes) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    // Redirected streams stay where they were sent.
    if (!out_goes) std::freopen("CONOUT$", "w", stdout);
    if (!err_goes && std::freopen("CONOUT$", "w", stderr)) std::setvbuf(stderr, nullptr, _IONBF, 0);
    UINT page = GetConsoleOutputCP();
    if (page != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        console_code_page = page;
        std::atexit(restore_console_code_page);
    }
}
