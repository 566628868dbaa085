// Sample sounds on the mixer's channels, and their "CSND" pod chunks.
//
// The mixer reads a playing sound's samples on the audio thread: starting,
// stopping and destroying a sound change channel records under the audio
// lock, and a sound is taken off every channel before it is freed.
#include "tamu_csound.h"

#include "tamu.h"
#include "tamu_mixer.h"
#include "tamu_synth.h"

#include <climits>
#include <cstring>

namespace {

struct audio_lock {
    audio_lock() { tamu_lock_audio_plat(); }
    ~audio_lock() { tamu_unlock_audio_plat(); }
    audio_lock(const audio_lock &) = delete;
    audio_lock &operator=(const audio_lock &) = delete;
};

bool device_open() { return tamu_state.mixer_running != 0; }

bool idle(const mixer_channel &ch) { return !ch.sound && !ch.sfx && !ch.music; }

bool plays_on_its_channel(const csound *sound) {
    return sound->channel >= 0 && sound->channel < MIXER_CHANNELS && ms0[sound->channel].sound == sound;
}

// The channel a new sample sound takes, or -1.
int choose_channel() {
    for (int k = 0; k < MIXER_CHANNELS; k++)
        if (idle(ms0[k])) return k;
    int shortest = -1;
    for (int k = 0; k < MIXER_CHANNELS; k++) {
        if (!ms0[k].sound) continue;
        if (shortest < 0 || ms0[k].sound->samples < ms0[shortest].sound->samples) shortest = k;
    }
    if (shortest < 0 || ms0[shortest].sound->loop) return -1;
    return shortest;
}

// ---------------------------------------------------------------------------
// "CSND" chunks: sample count, bits per sample, frequency, the fourth word,
// two zero words, then the sample bytes.

constexpr uint32_t ID_CSND = tamu_chunk_id("CSND");
constexpr int csnd_header = 24;

int64_t data_bytes(int64_t samples, int64_t bits) { return samples * bits / 8; }

void *read_sound_chunk(cfile *file, uint32_t size, int64_t available, const char **failure) {
    if (available < csnd_header || size < uint32_t(csnd_header)) return *failure = "body runs past the end", nullptr;
    int32_t samples = tamu_fread_int32(file);
    int32_t bits = tamu_fread_int32(file);
    int32_t frequency = tamu_fread_int32(file);
    int32_t fourth = tamu_fread_int32(file);
    tamu_fread_int32(file);
    tamu_fread_int32(file);
    if (samples < 0 || bits < 0) return *failure = "negative sample count or bits per sample", nullptr;
    int64_t bytes = data_bytes(samples, bits);
    if (bytes + csnd_header != int64_t(size) || bytes > available - csnd_header)
        return *failure = "size does not match the samples", nullptr;
    csound *sound = tamu_create_sound(samples, bits);
    if (!sound) return nullptr;
    sound->frequency = frequency;
    sound->reserved = fourth;
    if (bytes > 0 && tamu_fread(sound->data, 1, int(bytes), file) != int(bytes)) {
        tamu_destroy_sound(sound);
        return *failure = "samples are not whole", nullptr;
    }
    return sound;
}

int write_sound_chunk(cfile *file, const void *item) {
    const csound *sound = static_cast<const csound *>(item);
    int64_t bytes = data_bytes(sound->samples, sound->bits);
    if (sound->samples < 0 || sound->bits < 0 || bytes + csnd_header > INT32_MAX || (bytes > 0 && !sound->data))
        return 1;
    bool ok = tamu_fwrite_uint32(file, ID_CSND) == 4 && tamu_fwrite_uint32(file, uint32_t(bytes + csnd_header)) == 4;
    const int32_t words[6] = {sound->samples, sound->bits, sound->frequency, sound->reserved, 0, 0};
    for (int32_t word : words) ok = ok && tamu_fwrite_int32(file, word) == 4;
    ok = ok && (bytes == 0 || tamu_fwrite(sound->data, 1, int(bytes), file) == int(bytes));
    return ok ? 0 : 1;
}

void destroy_sound_item(void *item) { tamu_destroy_sound(static_cast<csound *>(item)); }

}  // namespace

csound *tamu_create_sound(int samples, int bits) {
    if (samples < 0 || bits < 0) return nullptr;
    int64_t bytes = data_bytes(samples, bits);
    if (bytes > INT_MAX - 64) return nullptr;
    auto *sound = static_cast<csound *>(tamu_malloc(sizeof(csound)));
    std::memset(sound, 0, sizeof *sound);
    sound->samples = samples;
    sound->bits = bits;
    sound->frequency = 22050;
    sound->volume = 256;
    sound->channel = -1;
    if (bytes > 0) {
        sound->data = tamu_malloc(int(bytes));
        std::memset(sound->data, 0, size_t(bytes));
    }
    sound->read_pointer = sound->data;
    tamu_items_created++;
    return sound;
}

void tamu_destroy_sound(csound *sound) {
    if (!sound) return;
    {
        // Every channel, not only the sound's own: whatever put it on a
        // channel, the mixer must not read it once freed.
        audio_lock lock;
        for (mixer_channel &ch : ms0)
            if (ch.sound == sound) mixer_channel_stop(&ch);
    }
    tamu_free(sound->data);
    tamu_free(sound);
    tamu_items_created--;
}

void tamu_play_sound(csound *sound) {
    if (!sound || !device_open()) return;
    audio_lock lock;
    if (plays_on_its_channel(sound)) {
        mixer_channel_stop(&ms0[sound->channel]);
        sound->channel = -1;
    }
    int k = choose_channel();
    if (k < 0) return;
    sound->channel = k;
    ms0[k].sound = sound;
    ms0[k].sound_position = 0;
}

void tamu_stop_sound(csound *sound) {
    if (!sound || !device_open()) return;
    audio_lock lock;
    if (plays_on_its_channel(sound)) {
        mixer_channel_stop(&ms0[sound->channel]);
        sound->channel = -1;
    }
}

int tamu_sound_is_playing(csound *sound) {
    if (!sound) return 0;
    audio_lock lock;
    return plays_on_its_channel(sound) ? 1 : 0;
}

void *tamu_sound_lock(csound *sound) { return sound ? sound->data : nullptr; }

void tamu_sound_release(csound *) {}

void csound_set_frequency(csound *sound, int rate) {
    if (sound) sound->frequency = rate;
}

int csound_set_volume(csound *sound, int volume) {
    if (!device_open()) return 0;
    if (sound) sound->volume = volume;
    return 1;
}

int tamu_get_sound_position(csound *) { return 0; }

void tamu_set_sound_position(csound *, int) {}

int tamu_sound_status(csound *) { return 0; }

void tamu_sound_install_pod_hooks() {
    const tamu_pod_item_hooks sound_hooks = {read_sound_chunk, write_sound_chunk, destroy_sound_item};
    tamu_set_pod_item_hooks(CPOD_ITEM_SOUND, &sound_hooks);
    tamu_synth_install_pod_hooks();
}
