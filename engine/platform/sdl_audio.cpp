// The audio device and the counted lock around mixer state, over SDL.
#include "tamu.h"

#include <SDL2/SDL.h>

#include <atomic>
#include <cstring>
#include <string>

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

// Opens and starts the device; false when SDL cannot give one.
static bool open_device() {
    tamu_debug("tamu_sound_init\n");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) < 0) {
        tamu_debugf("SDL_INIT_AUDIO failed: %s\n", SDL_GetError());
        return false;
    }
    tamu_debug("SDL_INIT_AUDIO ok\n");

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
    bool opened = audio_device != 0;
    if (opened) {
        tamu_debug("SDL_OpenAudio ok\n");
        log_differences(want, have);
        obtained_spec = have;
        SDL_PauseAudioDevice(audio_device, 0);
        tamu_state.mixer_running = 1;
    } else {
        tamu_debugf("SDL_OpenAudio failed: %s\n", SDL_GetError());
    }
    log_drivers();
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
