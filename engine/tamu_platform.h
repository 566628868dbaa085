// Platform services behind the engine's own functions: the millisecond
// clock, files by name, the audio device and its counted lock, the
// clipboard, worker threads, downloads and opening web pages, temporary
// files and native libraries.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Time

// Milliseconds since the platform layer started.
int tamu_get_time();
void tamu_delay(int ms);
// Seconds since 1970 and the calendar, in 64 bits on every platform (the
// 32-bit Windows C library's own time_t ends in 2038): the current time;
// a time as local and as universal calendar time (0 when done, non-zero
// when the system cannot show it); a local calendar time as seconds, its
// fields normalised as mktime does (-1 when it cannot be had).
int64_t tamu_platform_time();
int tamu_platform_local_time(int64_t time, std::tm *out);
int tamu_platform_universal_time(int64_t time, std::tm *out);
int64_t tamu_platform_make_time(std::tm *local);
// The last error text of the platform layer, or an empty text; cleared by
// tamu_clear_platform_error.
const char *tamu_platform_error();
void tamu_clear_platform_error();

// ---------------------------------------------------------------------------
// Files by name
//
// Every name the program keeps is UTF-8; the Windows program hands names to
// the system as wide text, so that any user or cart name works. Code that
// opens, removes or renames a file by its path goes through these, never
// through the C library's narrow calls.

// fopen with the system's mode text; null (errno set) when the file cannot
// be opened or the name is empty or not UTF-8.
FILE *tamu_platform_fopen(const char *path, const char *mode);
// remove and rename: 0 on success, else -1 with errno set. A rename over an
// existing file replaces it on every platform.
int tamu_platform_remove(const char *path);
int tamu_platform_rename(const char *from, const char *to);
// The value of an environment variable as UTF-8, or null when it is not
// set. The text stays valid until the calling thread's next call.
const char *tamu_platform_getenv(const char *name);

// ---------------------------------------------------------------------------
// The command line, standard output and the console

// The program's arguments as UTF-8. Linux: argv itself. Windows: the
// process's command line, read as wide text (the narrow argv has lost
// every character outside the code page) and kept for the whole run;
// argc is set to match.
char **tamu_platform_arguments(int *argc, char **argv);

// Where a standard stream goes.
enum tamu_output_kind {
    TAMU_OUTPUT_NONE,      // nowhere: no handle (a Windows program started from the desktop)
    TAMU_OUTPUT_CONSOLE,   // a console or terminal
    TAMU_OUTPUT_FILE,      // a file on the disk (redirected)
    TAMU_OUTPUT_PIPE,      // a pipe or socket (redirected, or a program reading it)
    TAMU_OUTPUT_DEVICE,    // another device, such as the null device
};
// stream: 1 standard output, 2 standard error.
tamu_output_kind tamu_platform_output_kind(int stream);
// A program without a window that was started from a console writes there:
// the Windows program (which has no console of its own) attaches to its
// parent's console and sends to it each standard stream that is not
// redirected. Does nothing on Linux, when there is no parent console, or
// when both streams already go somewhere.
void tamu_platform_attach_console();
// Shows an error text in a message box of the system (SDL's), with title;
// returns once the user has closed it. Non-zero when none could be shown.
int tamu_platform_message_box(const char *title, const char *text);

// ---------------------------------------------------------------------------
// Audio device

// The flag of tamu_sound_init_plat that asks for audio output.
constexpr int TAMU_SOUND_AUDIO = 16;
// The output rate: the device always delivers 22050 Hz, signed 16-bit
// little-endian, mono to the mixer (SDL converts if the hardware differs).
extern const int tamu_sound_freq;
// Nesting depth of the audio lock; main thread only.
extern unsigned int tamu_audio_is_locked;

// Opens the audio device with tamu_hooks.mixer_callback as the mixer (a null
// hook plays silence) and applies cconfig's volumes through
// tamu_hooks.set_sound_volume / set_music_volume. Returns 1 when no device
// was asked for (flags other than TAMU_SOUND_AUDIO, or a mix_buffer_size
// of 0), 0 when the device plays, -1 when it could not be opened (sound
// then runs without output). The device is opened at most once; the mixer
// hook may only change while the audio lock is held.
//
// When the driver SDL chose cannot open a device (a sound card that is
// busy or gone, a driver that starts but cannot play), the other drivers
// are tried in turn (tamu_audio_driver_fallbacks) before sound stays off;
// the log names each driver tried and the one that opened.
int tamu_sound_init_plat(int flags);
void tamu_sound_exit_plat();
// The drivers to try after failed could not open a device, in order. With
// drivers named in SDL_AUDIODRIVER (named: a comma-separated list, as SDL
// reads it): those after failed in the list that SDL offers. Otherwise
// every other driver SDL offers, in its order, except "dummy" and "disk",
// which play nowhere or into a file and are used only when named. Names
// compare without regard to letter case.
std::vector<std::string> tamu_audio_driver_fallbacks(const char *named, const std::vector<std::string> &offered,
                                                     const char *failed);
// The counted lock around mixer state: only the outermost lock and unlock
// reach the device. An unlock without a lock is ignored and logged.
void tamu_lock_audio_plat();
void tamu_unlock_audio_plat();

// What the open device delivers, and how often the device itself was
// locked, unlocked and called back.
struct tamu_audio_device_info {
    int open;                       // 1 once the device plays
    int freq, format, channels, samples;   // as obtained (format: SDL's code)
    int device_locks, device_unlocks;
    int callbacks;
};
void tamu_get_audio_device_info(tamu_audio_device_info *info);

// ---------------------------------------------------------------------------
// Clipboard (needs the video subsystem)

// Returns 0 when the text was put on the clipboard.
int tamu_set_clipboard_text(const char *text);
// A new copy made with tamu_malloc (the caller frees it); an empty or
// unavailable clipboard gives an empty text.
char *tamu_get_clipboard_text();
int tamu_has_clipboard_text();
// Writes the clipboard text to the file, replacing it whole or not at all;
// 0 when written, non-zero when the clipboard holds no text or the file
// cannot be written (an old file then stays as it was).
int tamu_save_clipboard_to_file(const char *path);
// Puts at most the first 1048576 bytes of the file on the clipboard; 0 when
// done, non-zero when the file cannot be read.
int tamu_load_clipboard_from_file(const char *path);

// ---------------------------------------------------------------------------
// Worker threads

typedef void (*tamu_thread_function)();

struct cthread {
    int reserved;
    void *platform;   // the platform thread
};

// Starts function on a new thread; null when no thread could be started.
cthread *tamu_create_thread(tamu_thread_function function);
// Detaches the thread (it is never joined and runs on until its function
// returns) and frees the handle. Null is ignored.
void tamu_destroy_thread(cthread *thread);

// ---------------------------------------------------------------------------
// Downloads and web pages

// The longest shell command text that is still run (longer ones are not).
constexpr int TAMU_MAX_COMMAND = 511;

// Fetches url into the file at path with the external wget, blocking the
// calling (worker) thread for at most cconfig.timeout seconds. Returns 0 on
// Linux whatever happened: callers test the file, which exists only when
// the download completed. The same as tamu_wget_limited with no size
// bound and no stop word.
int tamu_wget(const char *url, const char *path);

// Results of tamu_wget_limited (on Windows tamu_wget gives the first four).
enum {
    TAMU_WGET_DONE = 0,
    TAMU_WGET_NO_SESSION = 1,   // Windows: no internet session
    TAMU_WGET_NO_FILE = 2,      // the output file cannot be created
    TAMU_WGET_FAILED = 3,       // no answer, an error status, a broken transfer
    TAMU_WGET_TOO_LARGE = 4,    // the body passed max_bytes
    TAMU_WGET_REDIRECTED = 5,   // the server answered with a redirect
    TAMU_WGET_TIMED_OUT = 6,    // still running after cconfig.timeout seconds
    TAMU_WGET_STOPPED = 7,      // *stop became non-zero
};

// tamu_wget with bounds: the file at path never holds more than max_bytes
// (negative: no bound); a body that passes it ends the download at once.
// Redirects are not followed. While *stop (when given) is 0 the download
// runs; once it is set the download ends within a few milliseconds. Only a
// complete download leaves a file: every other result removes it. Linux:
// wget's output is read through a pipe, and wget is ended (and reaped)
// whenever the download ends early. Windows: the bound, the stop word and
// the deadline are checked between the blocks WinINet reads.
int tamu_wget_limited(const char *url, const char *path, int64_t max_bytes, const std::atomic<int> *stop);

// The two write nothing to the log, which belongs to the main thread (they
// run on workers): why the calling thread's last download failed, as a log
// line without its line end, for the caller to log; "" after a success
// (and on Linux, where the result code says it all).
const char *tamu_wget_failure();

// Opens a web address or local path with the desktop's default handler
// (xdg-open), without waiting for the handler to finish.
void tamu_launch_html(const char *target);

// The command texts that the functions above run (the programs themselves
// are started without a shell, with the same arguments the shell would
// give). Each returns the length of the text in out, or -1 when it did not
// fit in capacity (out then holds a truncated text).
//
// "xdg-open" and the URL in double quotes, with space, control bytes,
// bytes of 0x80 and above and the characters " \ $ ` written as "%xx"; '%'
// and the URL's other characters pass unchanged.
int tamu_create_osx_launch_html_string(const char *url, char *out, int capacity);
// The command for any target: the form above for targets beginning with
// "http:", else "xdg-open" and the target in double quotes with " \ $ `
// preceded by a backslash.
int tamu_create_launch_string(const char *target, char *out, int capacity);
// wget "URL" -q -O "path", both quoted as above.
int tamu_create_wget_string(const char *url, const char *path, char *out, int capacity);

// ---------------------------------------------------------------------------
// Temporary files and native libraries (for the script engine's unopened
// os and package libraries)

// Creates a new, empty file with a fresh name in the system's folder for
// temporary files and writes its path (at most capacity characters with
// the terminator) into out. Returns 0, or non-zero when none could be made.
int tamu_create_temp_file(char *out, int capacity);

// Whether native libraries can be loaded: only the Windows program can.
int tamu_native_libraries_supported();
// Loads the native library at path; null on failure, with a description of
// the failure in error (capacity characters).
void *tamu_load_native_library(const char *path, char *error, int capacity);
// The address of the named function in a loaded library; null, with a
// description in error, when it has none.
void *tamu_native_library_function(void *library, const char *name, char *error, int capacity);
// Unloads a library that tamu_load_native_library gave.
void tamu_free_native_library(void *library);
