// What SDL's disk audio driver plays: the bytes it has written to its
// file, once there are at least count of them (or after about three
// seconds). Linux reads the file while the device plays. On Windows the
// driver keeps the file closed to readers while it writes: the wait
// counts the device's callbacks instead, with some to spare, and the
// audio system is shut down (which closes the file) before it is read, so
// the device is gone afterwards.
#pragma once

#include "tamu.h"
#include "test_util.h"

#include <SDL2/SDL.h>

#include <chrono>
#include <string>
#include <thread>

inline std::string disk_audio_output(const std::string &path, size_t count) {
#ifdef _WIN32
    for (int i = 0; i < 300; i++) {
        tamu_audio_device_info info;
        tamu_get_audio_device_info(&info);
        size_t per_callback = size_t(info.samples) * 2;
        if (per_callback > 0 && size_t(info.callbacks) * per_callback >= count + 8 * per_callback) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (SDL_WasInit(SDL_INIT_AUDIO)) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return read_file(path);
#else
    std::string bytes;
    for (int i = 0; i < 300; i++) {
        bytes = read_file(path);
        if (bytes.size() >= count) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return bytes;
#endif
}
