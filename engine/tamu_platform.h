// Platform services behind the engine's own functions: the millisecond
// clock, the audio device and its counted lock, the clipboard, worker
// threads, downloads and opening web pages, temporary files and native
// libraries.
#pragma once

#include <atomic>
#include <cstdint>

// ---------------------------------------------------------------------------
// Time

// Milliseconds since the platform layer started.
int tamu_get_time();
void tamu_delay(int ms);
// The last error text of the platform layer, or an empty text; cleared by
// tamu_clear_platform_error.
const char *tamu_platform_error();
void tamu_clear_platform_error();

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
int tamu_sound_init_plat(int flags);
void tamu_sound_exit_plat();
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
// whenever the download ends early. Windows: the bound holds in the read
// loop; stop is not looked at and redirects follow WinINet's own rules.
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
