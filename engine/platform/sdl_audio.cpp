// The audio device and the counted lock around mixer state, over SDL.
#include "tamu.h"

#include <SDL2/SDL.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

const int tamu_sound_freq = 22050;
unsigned int tamu_audio_is_locked = 0;

static SDL_AudioDeviceID audio_device = 0;
static SDL_AudioSpec obtained_spec;
static int device_locks = 0, device_unlocks = 0;   // main thread only
static bool device_held = false;   // the outermost lock reached the device
static std::atomic<int> callbacks{0};

// Runs on SDL's audio thread. The hook is read under the device lock SDL
// holds around every callback, so it may change while the audio lock is held.
static void audio_callback(void *userdata, Uint8 *stream, int len) {
    callbacks.fetch_add(1, std::memory_order_relaxed);
    if (tamu_hooks.mixer_callback)
        tamu_hooks.mixer_callback(userdata, stream, len);
    else
        std::memset(stream, 0, static_cast<size_t>(len));
}

static void log_drivers() {
    int count = SDL_GetNumAudioDrivers();
    if (count <= 0) {
        tamu_debug("No built-in audio drivers\n");
    } else {
        std::string line = "Built-in audio drivers:";
        for (int i = 0; i < count; i++) {
            const char *name = SDL_GetAudioDriver(i);
            line += " " + std::to_string(i) + " " + (name ? name : "");
        }
        line += "\n";
        tamu_debug(line.c_str());
    }
    const char *current = SDL_GetCurrentAudioDriver();
    tamu_debugf("Current audio driver: %s\n", current ? current : "(none)");
}

static void log_differences(const SDL_AudioSpec &want, const SDL_AudioSpec &have) {
    if (have.freq != want.freq) tamu_debugf("freq differs; got: %d\n", have.freq);
    if (have.format != want.format) tamu_debugf("format differs; got: %d\n", have.format);
    if (have.channels != want.channels) tamu_debugf("channels differs; got: %d\n", have.channels);
    if (have.silence != want.silence) tamu_debugf("silence differs; got: %d\n", have.silence);
    if (have.samples != want.samples) tamu_debugf("samples differs; got: %d\n", have.samples);
    if (have.callback != want.callback) tamu_debug("callback differs\n");
}

static bool same_name(const std::string &a, const char *b) { return SDL_strcasecmp(a.c_str(), b) == 0; }

std::vector<std::string> tamu_audio_driver_fallbacks(const char *named, const std::vector<std::string> &offered,
                                                     const char *failed) {
    auto is_offered = [&](const std::string &name) {
        for (const std::string &o : offered)
            if (same_name(o, name.c_str())) return true;
        return false;
    };
    std::vector<std::string> out;
    if (named && named[0]) {
        std::vector<std::string> list;
        std::string rest = named;
        for (size_t comma; (comma = rest.find(',')) != std::string::npos; rest.erase(0, comma + 1))
            list.push_back(rest.substr(0, comma));
        list.push_back(rest);
        bool after = false;
        for (const std::string &name : list) {
            if (after && is_offered(name)) out.push_back(name);
            if (failed && same_name(name, failed)) after = true;
        }
        return out;
    }
    for (const std::string &name : offered)
        if (!(failed && same_name(name, failed)) && !same_name(name, "dummy") && !same_name(name, "disk"))
            out.push_back(name);
    return out;
}

// Opens and starts the device with the audio subsystem as it stands;
// false when the driver gives none.
static bool open_with_current_driver() {
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = tamu_sound_freq;
    want.format = AUDIO_S16LSB;
    want.channels = 1;
    want.samples = static_cast<Uint16>(cconfig.mix_buffer_size);
    want.callback = audio_callback;
    want.userdata = nullptr;
    // Silence of signed samples is 0; SDL fills it in the format it grants.
    want.silence = 0;

    SDL_AudioSpec have;
    SDL_zero(have);
    // No allowed changes: whatever the hardware takes, SDL converts from the
    // format asked for, so the mixer's samples always play as meant.
    audio_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (audio_device == 0) {
        tamu_debugf("SDL_OpenAudio failed: %s\n", SDL_GetError());
        return false;
    }
    tamu_debug("SDL_OpenAudio ok\n");
    log_differences(want, have);
    obtained_spec = have;
    SDL_PauseAudioDevice(audio_device, 0);
    tamu_state.mixer_running = 1;
    return true;
}

// Opens and starts the device, trying the other drivers when the one SDL
// chose cannot open it; false when none can.
static bool open_device() {
    tamu_debug("tamu_sound_init\n");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) < 0) {
        tamu_debugf("SDL_INIT_AUDIO failed: %s\n", SDL_GetError());
        return false;
    }
    tamu_debug("SDL_INIT_AUDIO ok\n");
    bool opened = open_with_current_driver();
    if (!opened) {
        std::string failed = SDL_GetCurrentAudioDriver() ? SDL_GetCurrentAudioDriver() : "";
        tamu_debugf("audio driver %s could not open a device: %s\n", failed.c_str(), SDL_GetError());
        std::vector<std::string> offered;
        for (int i = 0; i < SDL_GetNumAudioDrivers(); i++)
            if (const char *name = SDL_GetAudioDriver(i)) offered.push_back(name);
        std::string named = SDL_GetHint(SDL_HINT_AUDIODRIVER) ? SDL_GetHint(SDL_HINT_AUDIODRIVER) : "";
        for (const std::string &driver : tamu_audio_driver_fallbacks(named.c_str(), offered, failed.c_str())) {
            // The subsystem stays started; only its driver changes.
            tamu_debugf("trying audio driver %s\n", driver.c_str());
            SDL_AudioQuit();
            if (SDL_AudioInit(driver.c_str()) != 0) {
                tamu_debugf("audio driver %s did not start: %s\n", driver.c_str(), SDL_GetError());
                continue;
            }
            if ((opened = open_with_current_driver())) {
                tamu_debugf("audio driver %s opened\n", driver.c_str());
                break;
            }
            tamu_debugf("audio driver %s could not open a device: %s\n", driver.c_str(), SDL_GetError());
        }
    }
    log_drivers();   // with the driver that plays
    return opened;
}

static void apply_volumes() {
    if (tamu_hooks.set_sound_volume) tamu_hooks.set_sound_volume(cconfig.sound_volume);
    if (tamu_hooks.set_music_volume) tamu_hooks.set_music_volume(cconfig.music_volume);
}

int tamu_sound_init_plat(int flags) {
    if (flags != TAMU_SOUND_AUDIO) return 1;
    int result = 1;
    if (audio_device)
        result = 0;
    else if (cconfig.mix_buffer_size > 0 && cconfig.mix_buffer_size <= 65535)
        result = open_device() ? 0 : -1;
    apply_volumes();
    return result;
}

// The device stays open for the rest of the run.
void tamu_sound_exit_plat() {}

void tamu_lock_audio_plat() {
    if (tamu_audio_is_locked == 0 && audio_device) {
        SDL_LockAudioDevice(audio_device);
        device_held = true;
        device_locks++;
    }
    tamu_audio_is_locked++;
}

void tamu_unlock_audio_plat() {
    if (tamu_audio_is_locked == 0) {
        tamu_debug("tamu_unlock_audio_plat: not locked\n");
        return;
    }
    tamu_audio_is_locked--;
    if (tamu_audio_is_locked == 0 && device_held) {
        SDL_UnlockAudioDevice(audio_device);
        device_held = false;
        device_unlocks++;
    }
}

void tamu_get_audio_device_info(tamu_audio_device_info *info) {
    if (!info) return;
    std::memset(info, 0, sizeof *info);
    info->open = audio_device != 0;
    if (info->open) {
        info->freq = obtained_spec.freq;
        info->format = obtained_spec.format;
        info->channels = obtained_spec.channels;
        info->samples = obtained_spec.samples;
    }
    info->device_locks = device_locks;
    info->device_unlocks = device_unlocks;
    info->callbacks = callbacks.load(std::memory_order_relaxed);
}
