// Playing sound effects and music from the main thread.
//
// The channel records belong to the mixer, which reads them on the audio
// thread: every operation here that reads or changes them holds the
// counted audio lock for the whole of its work, so a callback never sees a
// half-made start or stop. The fade variables are the main thread's alone;
// the mixer only reads fade_vol, which is atomic for it.
#include "tamu_music.h"
#include "zorva_sound_hooks.h"

#include "tamu.h"
#include "tamu_mixer.h"
#include "zorva_cart.h"
#include "zorva_state.h"

#include <algorithm>
#include <cstdio>

uint32_t fade0, fade1;
int32_t fade_len;
uint32_t fade_start_t;
int (*tamu_music_clock)() = tamu_get_time;

namespace {

constexpr uint32_t FULL_VOLUME = 0x10000;
constexpr int CONSOLE_CHANNELS = 4;

// Holds the audio lock for its scope.
struct audio_lock {
    audio_lock() { tamu_lock_audio_plat(); }
    ~audio_lock() { tamu_unlock_audio_plat(); }
    audio_lock(const audio_lock &) = delete;
    audio_lock &operator=(const audio_lock &) = delete;
};

uint32_t music_now() { return uint32_t(tamu_music_clock ? tamu_music_clock() : tamu_get_time()); }

bool console_mode() { return cconfig.console_sound_mode != 0; }

bool idle(const mixer_channel &ch) { return !ch.sound && !ch.sfx && !ch.music; }

int ticks_per_note(const sfx_record *sfx) { return std::max(sfx->speed, 1); }

// A music channel as the song queries see it: the music flag and an owner.
bool song_channel(const mixer_channel &ch) { return ch.music && ch.owner_cart; }

// The sound-effect channel 0-3 an automatic start takes in console mode,
// or -1. Record k+4 is the music layer of console channel k; the music
// channel mask keeps sound effects off a channel while its music plays.
int choose_console_channel() {
    const int mask = pstate.music_channel_mask;
    auto reserved = [mask](int k) { return (mask >> k & 1) != 0; };
    for (int k = 0; k < CONSOLE_CHANNELS; k++)
        if (idle(ms0[k]) && idle(ms0[k + 4])) return k;
    for (int k = 0; k < CONSOLE_CHANNELS; k++)
        if (idle(ms0[k]) && !ms0[k + 4].sound && !ms0[k + 4].sfx && !reserved(k)) return k;
    for (int k = 0; k < CONSOLE_CHANNELS; k++)
        if (idle(ms0[k]) && !reserved(k)) return k;
    // Steal from the fastest-moving sound effect: the lowest speed, the
    // higher channel on equal speeds.
    int best = -1;
    for (int k = 0; k < CONSOLE_CHANNELS; k++) {
        if (!ms0[k].sfx) continue;
        if (reserved(k) && !idle(ms0[k + 4])) continue;
        if (best < 0 || ms0[k].sfx->speed <= ms0[best].sfx->speed) best = k;
    }
    return best;
}

// The record an automatic start takes in plain eight-channel mode, or -1.
int choose_plain_channel() {
    for (int k = 0; k < MIXER_CHANNELS; k++)
        if (idle(ms0[k])) return k;
    int best = -1;
    for (int k = 0; k < MIXER_CHANNELS; k++) {
        if (!ms0[k].sfx || ms0[k].music) continue;
        if (best < 0 || ms0[k].sfx->speed < ms0[best].sfx->speed) best = k;
    }
    return best;
}

// Puts the sound effect on the record. The tick buffer, echo ring,
// oscillator and instrument position stay: the rest of the current tick
// plays first and the first note crossfades from the last one. Positions
// and lengths from carts may be anything: the products wrap at 32 bits as
// the synthesiser's counters do.
void start_sfx(int channel, sfx_record *sfx, int offset, int length, zorva_cart *owner) {
    mixer_channel &ch = ms0[channel];
    const uint32_t s = uint32_t(ticks_per_note(sfx));
    ch.sfx = sfx;
    ch.owner_cart = owner;
    ch.console_channel = channel & 3;
    ch.music = 0;
    ch.loop_enabled = 1;
    ch.tick_position = int32_t(uint32_t(offset) * s);
    // Length 0 is endless in practice: about a year of ticks.
    ch.remaining_ticks = int32_t(s * (length ? uint32_t(length) : 0xFFFFFFFFu));
}

int play_sfx_locked(sfx_record *sfx, int offset, int length, zorva_cart *owner, int channel) {
    if (!sfx) {
        if (channel == -1) {
            int count = console_mode() ? CONSOLE_CHANNELS : MIXER_CHANNELS;
            for (int k = 0; k < count; k++) mixer_channel_stop(&ms0[k]);
        } else if (channel >= 0 && channel < MIXER_CHANNELS) {
            mixer_channel_stop(&ms0[channel]);
        }
        return -1;
    }
    if (channel == -1)
        channel = console_mode() ? choose_console_channel() : choose_plain_channel();
    else if (channel < 0 || channel >= MIXER_CHANNELS)
        return -1;
    if (channel < 0) return -1;
    start_sfx(channel, sfx, offset, length, owner);
    return channel;
}

void stop_sfx_locked(const sfx_record *sfx) {
    for (mixer_channel &ch : ms0)
        if (sfx ? ch.sfx == sfx : !ch.music) mixer_channel_stop(&ch);
}

void stop_song_locked(const zorva_cart *cart) {
    for (mixer_channel &ch : ms0)
        if (ch.music && (!cart || ch.owner_cart == cart)) mixer_channel_stop(&ch);
}

void stop_all_music() {
    audio_lock lock;
    ps0.playing = 0;
    stop_song_locked(nullptr);
}

// The sound effect of a music pattern's channel entry, or -1 when the
// channel is off (64 and above; a negative entry is off as well).
int pattern_entry(const zorva_cart *cart, int pattern, int k) {
    int e = cart->music[pattern][k];
    return e >= 0 && e < ZORVA_SFX_COUNT ? e : -1;
}

int note_of(const mixer_channel &ch) { return ch.tick_position / ticks_per_note(ch.sfx); }

int first_channel_playing(const sfx_record *sfx) {
    for (int k = 0; k < MIXER_CHANNELS; k++)
        if (ms0[k].sfx == sfx) return k;
    return -1;
}

// The number 0-63 of a sound effect of the live cart, or -1.
int live_sfx_number(const sfx_record *sfx) {
    const zorva_cart *cart = pstate.live_cart;
    if (!cart || !sfx || sfx < cart->sfx || sfx >= cart->sfx + ZORVA_SFX_COUNT) return -1;
    return int(sfx - cart->sfx);
}

// The module player's part of tamu_music_is_playing.
int module_is_playing() {
    audio_lock lock;   // the module player stops itself at a song's end
    if (!ps0.module) return 0;
    if (fade1 == 0 && fade_vol == 0) return 0;
    return ps0.playing ? 1 : 0;
}

// A cart record going away: nothing may play from it or keep it as owner
// (a custom instrument would read the freed record).
void release_cart_sound(zorva_cart *cart) {
    if (!cart) return;
    audio_lock lock;
    stop_song_locked(cart);
    for (mixer_channel &ch : ms0) {
        bool its_sfx = ch.sfx >= cart->sfx && ch.sfx < cart->sfx + ZORVA_SFX_COUNT;
        if (its_sfx || ch.owner_cart == cart) mixer_channel_stop(&ch);
    }
}

void stop_music_at_exit() { cmusic_stop(nullptr, 0); }

}  // namespace

// ---------------------------------------------------------------------------
// Sound effects

int tamu_play_sfx_ex(sfx_record *sfx, int offset, int length, zorva_cart *owner, int channel) {
    audio_lock lock;
    return play_sfx_locked(sfx, offset, length, owner, channel);
}

int tamu_play_sfx_cart(sfx_record *sfx, zorva_cart *cart) {
    audio_lock lock;
    stop_sfx_locked(sfx);
    if (!sfx) return play_sfx_locked(nullptr, 0, 0, cart, -1);
    int length = sfx->loop_end > sfx->loop_start ? 0 : ZORVA_SFX_NOTES;
    return play_sfx_locked(sfx, 0, length, cart, -1);
}

int tamu_play_sfx(sfx_record *sfx) { return tamu_play_sfx_cart(sfx, nullptr); }

void tamu_stop_sfx(sfx_record *sfx) {
    audio_lock lock;
    stop_sfx_locked(sfx);
}

void tamu_stop_all_sounds() {
    audio_lock lock;
    for (mixer_channel &ch : ms0) mixer_channel_stop(&ch);
}

int tamu_sfx_is_playing(sfx_record *sfx) {
    if (!sfx) return 0;
    audio_lock lock;
    return first_channel_playing(sfx) >= 0 ? 1 : 0;
}

int tamu_get_sfx_playing_note(sfx_record *sfx) {
    if (!sfx) return -1;
    audio_lock lock;
    int k = first_channel_playing(sfx);
    return k >= 0 ? note_of(ms0[k]) : -1;
}

sfx_record *tamu_get_zorva_channel_sfx(int channel) {
    if (channel < 0 || channel >= MIXER_CHANNELS) return nullptr;
    audio_lock lock;
    return ms0[channel].sfx;
}

void tamu_release_looping_zorva_channel(int channel) {
    if (channel < 0 || channel >= MIXER_CHANNELS) return;
    audio_lock lock;
    ms0[channel].loop_enabled = 0;
}

int tamu_any_sound_is_playing() {
    audio_lock lock;
    for (const mixer_channel &ch : ms0)
        if (ch.sfx || ch.sound) return 1;
    return 0;
}

// ---------------------------------------------------------------------------
// Songs

void tamu_play_zorva_song(zorva_cart *cart, int pattern, int fade_ms) {
    // No cart, no song: nothing to start and no music of its own to stop.
    if (!cart) return;
    // One lock over the whole start, so that the four music channels begin
    // on the same mixer callback.
    audio_lock lock;
    stop_song_locked(cart);
    if (pattern < 0 || pattern >= ZORVA_MUSIC_PATTERNS) return;
    int entries[ZORVA_MUSIC_CHANNELS];
    bool any = false;
    for (int k = 0; k < ZORVA_MUSIC_CHANNELS; k++) {
        entries[k] = pattern_entry(cart, pattern, k);
        any |= entries[k] >= 0;
    }
    if (!any) return;

    tamu_state.music_patterns_played = 0;
    tamu_state.music_pattern = pattern;
    const int length = get_pattern_length(cart, pattern);
    for (int k = 0; k < ZORVA_MUSIC_CHANNELS; k++) {
        const int e = entries[k];
        sfx_record *sfx = &cart->sfx[e >= 0 ? e : ZORVA_SFX_COUNT - 1];
        int channel = play_sfx_locked(sfx, 0, ZORVA_SFX_NOTES, cart, k + 4);
        if (channel < 0) continue;
        mixer_channel &ch = ms0[channel];
        // An off channel plays silence for the pattern.
        if (e < 0) ch.sfx = nullptr;
        ch.music = 1;
        ch.pattern = pattern;
        ch.console_channel = k;
        ch.remaining_ticks = length;
    }

    fade_len = fade_ms;
    fade_start_t = music_now();
    fade0 = 0;
    fade1 = FULL_VOLUME;
    // A fade-in starts from silence even when music was already at full
    // volume (otherwise the fade would be skipped).
    if (fade_ms > 0) fade_vol = fade0;
    tamu_update_music_fading();
}

void tamu_stop_zorva_song(zorva_cart *cart) {
    audio_lock lock;
    stop_song_locked(cart);
}

int tamu_zorva_song_is_playing(zorva_cart *cart) {
    audio_lock lock;
    for (const mixer_channel &ch : ms0)
        if (song_channel(ch) && (!cart || ch.owner_cart == cart)) return ch.pattern;
    return -1;
}

int tamu_get_zorva_song_ticks() {
    audio_lock lock;
    int ticks = 0;
    for (const mixer_channel &ch : ms0)
        if (ch.sfx && ch.music) ticks = std::max(ticks, int(ch.tick_position));
    return ticks;
}

// ---------------------------------------------------------------------------
// Fading

void cmusic_stop(cmusic *, int fade_ms) {
    fade1 = 0;
    fade0 = fade_vol;
    fade_start_t = music_now();
    fade_len = fade_ms;
    // A negative length is no fade at all.
    if (fade_vol == 0 || fade_ms <= 0) {
        fade_vol = 0;
        stop_all_music();
    }
}

void tamu_update_music_fading() {
    if (fade_vol != fade1) {
        const uint32_t elapsed = music_now() - fade_start_t;
        if (fade_len > 0 && elapsed < uint32_t(fade_len)) {
            // 64-bit: a fade of more than a minute would overflow the
            // products in 32 bits.
            int64_t v = (int64_t(elapsed) * fade1 + (int64_t(fade_len) - elapsed) * fade0) / fade_len;
            fade_vol = uint32_t(std::clamp<int64_t>(v, 0, FULL_VOLUME));
            return;
        }
        fade_vol = fade1;
    }
    if (fade_vol == 0) stop_all_music();
}

int tamu_music_is_playing() {
    audio_lock lock;
    for (const mixer_channel &ch : ms0) {
        if (!song_channel(ch)) continue;
        if (ch.pattern != -1) return 1;
        break;
    }
    return module_is_playing();
}

int tamu_music_get_fading_state() {
    bool playing = false;
    {
        audio_lock lock;
        for (const mixer_channel &ch : ms0)
            if (song_channel(ch) && ch.pattern != -1) playing = true;
        if (!playing) playing = ps0.module && ps0.playing;
    }
    if (!playing) return 0;
    if (fade1 > 0 && fade_vol < fade1) return 1;
    if (fade1 == 0 && fade_vol > 0) return 2;
    return 0;
}

// ---------------------------------------------------------------------------
// Volumes, queries and the debug overlay

void tamu_set_sound_volume(int volume) {
    if (tamu_state.mixer_running) cconfig.sound_volume = std::clamp(volume, 0, 256);
}

void tamu_set_music_volume(int volume) { cconfig.music_volume = std::clamp(volume, 0, 256); }

int tamu_zorva_sound_stat(int n) {
    if (n >= 16 && n <= 19) {
        const int k = n - 16;
        audio_lock lock;
        int number = live_sfx_number(ms0[k].sfx);
        return number >= 0 ? number : live_sfx_number(ms0[k + 4].sfx);
    }
    if (n >= 20 && n <= 23) {
        // The note of this channel's own record: the same sound effect may
        // play at another position on a lower channel.
        const int k = n - 20;
        audio_lock lock;
        if (ms0[k].sfx) return note_of(ms0[k]);
        if (ms0[k + 4].sfx) return note_of(ms0[k + 4]);
        return -1;
    }
    switch (n) {
    case 24: return tamu_music_is_playing() ? tamu_state.music_pattern : 0;
    case 25: return tamu_music_is_playing() ? tamu_state.music_patterns_played : 0;
    case 26: return tamu_get_zorva_song_ticks();
    default: return 0;
    }
}

void debug_zorva_channels() {
    char lines[MIXER_CHANNELS][64];
    {
        audio_lock lock;
        for (int k = 0; k < MIXER_CHANNELS; k++) {
            const mixer_channel &ch = ms0[k];
            char playing = ch.sound || ch.sfx || ch.music ? 'P' : '-';
            std::snprintf(lines[k], sizeof lines[k], "chan %d %c %c %d", k, playing, ch.music ? 'S' : '-',
                          int(ch.remaining_ticks));
        }
    }
    for (int k = 0; k < MIXER_CHANNELS; k++) tamu_draw_text(tamu_back_page, lines[k], tamu_font1, 1, 1 + 6 * k);
}

void tamu_music_install_hooks() {
    tamu_hooks.music_stop = stop_music_at_exit;
    tamu_hooks.update_music_fading = tamu_update_music_fading;
    tamu_hooks.set_sound_volume = tamu_set_sound_volume;
    tamu_hooks.set_music_volume = tamu_set_music_volume;
    zorva_cart_hooks.stop_sound = release_cart_sound;
    // What the cart functions sfx, music and stat ask of sound.
    zorva_sound.stop_all_sounds = tamu_stop_all_sounds;
    zorva_sound.music_stop = [](int fade_ms) { cmusic_stop(nullptr, fade_ms); };
    zorva_sound.play_song = tamu_play_zorva_song;
    zorva_sound.play_sfx = tamu_play_sfx_ex;
    zorva_sound.stop_sfx = tamu_stop_sfx;
    zorva_sound.release_looping_channel = tamu_release_looping_zorva_channel;
    zorva_sound.stat = tamu_zorva_sound_stat;
}
