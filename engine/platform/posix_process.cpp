// The command line and standard output on Linux: arguments are the bytes
// the program was given (UTF-8 by convention), and a program started from
// a terminal writes to it already.
#include "tamu.h"

#include <sys/stat.h>
#include <unistd.h>

char **tamu_platform_arguments(int *, char **argv) { return argv; }

tamu_output_kind tamu_platform_output_kind(int stream) {
    int fd = stream == 2 ? STDERR_FILENO : STDOUT_FILENO;
    struct stat st;
    if (fstat(fd, &st) != 0) return TAMU_OUTPUT_NONE;
    if (isatty(fd)) return TAMU_OUTPUT_CONSOLE;
    if (S_ISREG(st.st_mode)) return TAMU_OUTPUT_FILE;
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return TAMU_OUTPUT_PIPE;
    return TAMU_OUTPUT_DEVICE;
}

void tamu_platform_attach_console() {}
