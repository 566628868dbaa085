// Feeds arbitrary bytes to the config.txt reader, as a memory file, and
// checks what it promises: hook lines fit the line buffer, and the loaded
// settings stay within their ranges.
#include "tamu.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

static void check_line(const char *line) {
    if (std::strlen(line) > 254) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1 << 20) return 0;
    tamu_config_default();
    tamu_set_load_config_func(check_line);
    cfile *f = tamu_fopen_memory(data, static_cast<int>(size));
    tamu_config_read(f);
    tamu_fclose(f);
    if (cconfig.loaded != 1) std::abort();
    if (cconfig.frame_sleep_ms < 0 || cconfig.frame_sleep_ms > 200) std::abort();
    if (cconfig.sound_volume < 0 || cconfig.sound_volume > 256) std::abort();
    if (cconfig.music_volume < 0 || cconfig.music_volume > 256) std::abort();
    if (cconfig.mix_buffer_size < 512 || cconfig.mix_buffer_size > 8192) std::abort();
    if (std::memchr(cconfig.desktop_path, 0, sizeof cconfig.desktop_path) == nullptr) std::abort();
    return 0;
}
