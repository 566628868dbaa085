// The sound-effect synthesiser.
//
// A channel steps its sound effect in ticks of 183 samples: each tick takes
// its oscillator settings from the current note (effect, custom instrument,
// music fade), renders them, and starts with a 64-sample crossfade from the
// settings of the tick before. The cart's notes and music are read live,
// so edits and pokes are heard at the next tick. Runs on the audio thread.
#include "tamu_sfx.h"

#include "tamu.h"
#include "tamu_mixer.h"
#include "zorva_cart.h"
#include "zorva_state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

const int32_t note_dx[13] = {523, 554, 587, 622, 659, 698, 740, 784, 831, 880, 932, 984, 1046};

namespace {

constexpr int NOISE_LIMIT = 6143;

int16_t saturate(int v) { return static_cast<int16_t>(std::clamp(v, -32768, 32767)); }

// A note's fields, kept within their ranges so that cart data never
// reaches outside a table.
struct note_values {
    int pitch, waveform, volume, effect;
    bool custom;
};
note_values read_note(const sfx_note &n) {
    return {n.pitch & 63, n.waveform & 7, n.volume & 7, n.effect & 7, n.custom_instrument != 0};
}

int sfx_speed(const sfx_record *sfx) { return std::max(sfx->speed, 1); }

// Position within a sound effect: note index and tick within the note.
// Before the start (a negative position) the note index is -1.
struct note_position {
    int index, sub;
};
note_position position_of(int ticks, int speed) {
    if (ticks < 0) return {-1, 0};
    return {ticks / speed, ticks % speed};
}

int32_t wrapping_add(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }

// The arpeggio's step length in ticks.
int arpeggio_divisor(int effect, int speed) {
    if (speed < 9) return effect == EFFECT_FAST_ARPEGGIO ? 2 : 4;
    return effect == EFFECT_FAST_ARPEGGIO ? 4 : 8;
}

// Sound effect entry of a music pattern, or -1 when the channel is off.
int music_entry(const zorva_cart *cart, int pattern, int k) {
    int e = cart->music[pattern][k];
    return e >= 0 && e < ZORVA_SFX_COUNT ? e : -1;
}

// Whether a sound effect that is not music plays on after the tick at
// note index `note`.
bool sfx_goes_on(const mixer_channel *ch, const sfx_record *sfx, int note) {
    if (ch->remaining_ticks == 0) return false;
    // A released loop no longer counts: the sound effect then ends at its
    // silent tail like one without a loop.
    if (ch->loop_enabled && sfx->loop_end > sfx->loop_start) return true;
    if (note < 0) return true;   // not yet at its first note
    if (note >= ZORVA_SFX_NOTES) return false;
    for (int j = note; j < ZORVA_SFX_NOTES; j++)
        if ((sfx->notes[j].volume & 7) >= 1) return true;
    return note != ZORVA_SFX_NOTES - 1 && (sfx->notes[note].effect & 7) == EFFECT_SLIDE;
}

// A music channel whose pattern has run out moves to the next pattern by
// the flags of the one that ended.
void advance_pattern(mixer_channel *ch) {
    advanced_pattern = 1;
    zorva_cart *cart = ch->owner_cart;
    int p = ch->pattern;
    int flags = cart->music_flags[p];
    int next;
    if (flags & ZORVA_MUSIC_STOP) {
        ch->pattern = -1;
        tamu_state.music_pattern = -1;
        mixer_channel_stop(ch);
        return;
    }
    if (flags & ZORVA_MUSIC_LOOP_BACK) {
        next = p;
        if (p != 0 && !(flags & ZORVA_MUSIC_LOOP_START)) {
            next = p - 1;
            while (next > 0 && !(cart->music_flags[next] & ZORVA_MUSIC_LOOP_START)) next--;
        }
    } else {
        next = p + 1;
        if (next >= ZORVA_MUSIC_PATTERNS) {
            ch->pattern = ZORVA_MUSIC_PATTERNS;
            tamu_state.music_pattern = -1;
            mixer_channel_stop(ch);
            return;
        }
    }
    ch->pattern = next;
    tamu_state.music_pattern = next;
    bool any = false;
    for (int k = 0; k < ZORVA_MUSIC_CHANNELS; k++) any |= music_entry(cart, next, k) >= 0;
    if (!any) {
        mixer_channel_stop(ch);
        return;
    }
    int e = music_entry(cart, next, ch->console_channel & 3);
    ch->sfx = e >= 0 ? &cart->sfx[e] : nullptr;
    ch->tick_position = 0;
    ch->remaining_ticks = get_pattern_length(cart, next);
}

// The channel filters of its console channel, around one tick.
void render_channel_tick(mixer_channel *ch) {
    const int k = ch->console_channel & 3;
    int16_t *y = ch->tick_buffer;
    const int last = y[SFX_TICK_SAMPLES - 1];

    if (pstate.mixer_registers[1] >> k & 1) {
        int slot = ch->echo_slot & (SFX_ECHO_TICKS - 1);
        std::memcpy(ch->echo_ring[slot], y, sizeof ch->tick_buffer);
        slot = (slot + 1) & (SFX_ECHO_TICKS - 1);
        ch->echo_slot = slot;
        mix_sfx_tick(ch, y);
        const int16_t *back = ch->echo_ring[(slot + SFX_ECHO_DELAY) & (SFX_ECHO_TICKS - 1)];
        // The echo adds up to half again: loud input saturates.
        for (int i = 0; i < SFX_TICK_SAMPLES; i++) y[i] = saturate((3 * y[i] + 2 * back[i]) / 4);
    } else {
        mix_sfx_tick(ch, y);
    }

    if (pstate.mixer_registers[2] >> k & 1) {
        for (int i = 0; i < SFX_TICK_SAMPLES; i++) {
            int s = y[i];
            y[i] = static_cast<int16_t>(s >= 0 ? s & 0xF000 : -((-s) & 0xF000));
        }
    }

    if (pstate.mixer_registers[3] >> k & 1) {
        int prev = last;
        for (int i = 0; i < SFX_TICK_SAMPLES; i++) {
            prev = static_cast<int16_t>((y[i] + 7 * prev) / 8);
            y[i] = static_cast<int16_t>(prev);
        }
    }
}

// ---------------------------------------------------------------------------
// Waveforms: w for the 16-bit phase p.

inline int wave_triangle(int p) { return p < 32768 ? (3 * p - 49152) / 4 : (49152 - p) * 3 / 4; }
inline int wave_tilted_saw(int p) {
    return (p < 57344 ? p * 6143 / 14336 : (65535 - p) * 6143 / 2048) - 12286;
}
inline int wave_saw(int p) { return (p - 32768) / 4; }
inline int wave_square(int p) { return p >= 32768 ? 6143 : -6143; }
inline int wave_pulse(int p) { return p < 45056 ? -6143 : 6143; }
inline int wave_organ(int p) {
    int t;
    if (p >= 32768)
        t = ((p & 0x4000) ? 65536 - p : p - 32768) * 2 / 3;
    else
        t = (p & 0x4000) ? 32768 - p : p;
    return t - 8192;
}

template <int (*wave)(int)>
uint32_t render_wave(int16_t *out, int n, uint32_t p, uint32_t dx, int g) {
    for (int i = 0; i < n; i++) {
        out[i] = saturate(wave(int(p)) * g / 2048);
        p = (p + dx) & 0xFFFF;
    }
    return p;
}

uint32_t render_phaser(int16_t *out, int n, uint32_t p, const osc_state *osc, int g) {
    const uint32_t dx = uint32_t(osc->dx);
    for (int i = 0; i < n; i++) {
        int pi = int(p);
        int t1 = (pi >= 32768 ? 65535 - pi : pi) >> 1;
        int q = int(((osc->phase2 * 127u + uint32_t(i) * dx * 127u) / 128u) & 0xFFFF);
        int t2 = (q >= 32768 ? 65535 - q : q) >> 2;
        out[i] = saturate((t1 + t2 - 16384) * g / 2048);
        p = (p + dx) & 0xFFFF;
    }
    return p;
}

uint32_t render_noise(int16_t *out, int n, uint32_t p, osc_state *osc, int g) {
    const int dx = osc->dx;
    const int r = std::max(dx >= 79 ? dx * 8 + 1120 : (dx - 79) * 60 + 1752, 0);
    const int crackle = (dx + 500) / 3;
    const int h = osc->note_pitch > 47 ? std::max(2048 / (osc->note_pitch + 16) + 48, 64) : 80;
    int acc = osc->noise_accumulator;
    int toggle = osc->noise_toggle;
    for (int i = 0; i < n; i++) {
        toggle ^= 1;
        if (toggle) acc += int(tamu_random(uint32_t(r))) - r / 2;
        int v = acc;
        if (int(((p + 317u) * (p + 101u)) & 0x1FFF) < crackle)
            v += (int(tamu_random(12286)) - 6143) * osc->note_volume / 7;
        acc = std::clamp(v, -NOISE_LIMIT, NOISE_LIMIT);
        // High, loud noise goes past the sample range: it saturates.
        out[i] = saturate((v >> 6) * h * g / 2048);
        p = (p + uint32_t(dx)) & 0xFFFF;
    }
    osc->noise_accumulator = acc;
    osc->noise_toggle = toggle;
    return p;
}

// The channel's tick position within its custom instrument, after the
// instrument's loop (which moves the stored position back).
int instrument_tick(mixer_channel *ch, const sfx_record *inst) {
    const int s = sfx_speed(inst);
    int p = ch->instrument_tick_position;
    if (inst->loop_end > inst->loop_start && p >= inst->loop_end * s) {
        p = inst->loop_start * s;
        ch->instrument_tick_position = p;
    }
    return p;
}

}  // namespace

// ---------------------------------------------------------------------------

int32_t get_dx_for_note_fine(int32_t pitch) {
    int s = pitch >> 16;
    int f = pitch & 0xFFFF;
    int octave = (s + 48 >= 0 ? (s + 48) / 12 : -((-(s + 48) + 11) / 12)) - 4;
    int k = ((s % 12) + 12) % 12;
    int base = ((65536 - f) * note_dx[k] + f * note_dx[k + 1]) / 22050;
    for (int o = octave; o < 3 && base > 0; o++) base >>= 1;
    for (int o = 3; o < octave && base < 32768; o++) base <<= 1;
    return std::clamp(base, 8, 32768);
}

int32_t get_dx_for_note(int32_t s) {
    int octave = (s + 48 >= 0 ? (s + 48) / 12 : -((-(s + 48) + 11) / 12)) - 4;
    int k = ((s % 12) + 12) % 12;
    int base = note_dx[k] * 65536 / 22050;
    for (int o = octave; o < 3 && base > 0; o++) base >>= 1;
    for (int o = 3; o < octave && base < (1 << 30); o++) base <<= 1;
    return base;
}

void mix_osc_tick(osc_state *osc, int16_t *buffer, int n) {
    if (n < 1) return;
    uint32_t p = osc->phase & 0xFFFF;
    const uint32_t dx = uint32_t(osc->dx);
    const int g = osc->volume * 3 / 2;
    switch (osc->waveform & 7) {
    case WAVE_TRIANGLE: p = render_wave<wave_triangle>(buffer, n, p, dx, g); break;
    case WAVE_TILTED_SAW: p = render_wave<wave_tilted_saw>(buffer, n, p, dx, g); break;
    case WAVE_SAW: p = render_wave<wave_saw>(buffer, n, p, dx, g); break;
    case WAVE_SQUARE: p = render_wave<wave_square>(buffer, n, p, dx, g); break;
    case WAVE_PULSE: p = render_wave<wave_pulse>(buffer, n, p, dx, g); break;
    case WAVE_ORGAN: p = render_wave<wave_organ>(buffer, n, p, dx, g); break;
    case WAVE_NOISE: p = render_noise(buffer, n, p, osc, g); break;
    case WAVE_PHASER: p = render_phaser(buffer, n, p, osc, g); break;
    }
    osc->phase = p;
}

void apply_meta_instrument(mixer_channel *ch, const sfx_note *note, osc_state *osc) {
    const zorva_cart *cart = ch->owner_cart;
    if (!cart) return;
    const sfx_record *inst = &cart->sfx[note->waveform & 7];
    const int s = sfx_speed(inst);
    const int p = instrument_tick(ch, inst);
    note_position at = position_of(p, s);
    if (at.index < 0 || at.index >= ZORVA_SFX_NOTES) {
        osc->volume = 0;
        osc->waveform = 0;
        return;
    }
    const int j = at.index, u = at.sub;
    const note_values n = read_note(inst->notes[j]);
    if (u == s - 1) {
        ch->instrument_previous_pitch = n.pitch;
        ch->instrument_previous_volume = n.volume;
        ch->instrument_previous_waveform = n.waveform;
    }
    int iv = n.volume * 256;
    int ip = n.pitch << 16;
    switch (n.effect) {
    case EFFECT_SLIDE: {
        int from_pitch = 24 << 16, from_volume = iv;
        if (j >= 1) {
            from_pitch = (ch->instrument_previous_pitch & 63) << 16;
            from_volume = (ch->instrument_previous_volume & 7) * 256;
        }
        ip = (ip * u + from_pitch * (s - u)) / s;
        iv = (iv * u + from_volume * (s - u)) / s;
        break;
    }
    case EFFECT_FADE_IN: iv = iv * u / s; break;
    case EFFECT_FADE_OUT: iv = iv * (s - u) / s; break;
    case EFFECT_FAST_ARPEGGIO:
    case EFFECT_SLOW_ARPEGGIO: {
        int d = arpeggio_divisor(n.effect, s);
        ip = (inst->notes[(j & 28) + (p / d) % 4].pitch & 63) << 16;
        break;
    }
    default: break;
    }
    osc->volume = osc->volume * iv / 1792;
    osc->waveform = n.waveform;
    osc->note_volume = n.volume;
    osc->pitch = osc->pitch + ip - (24 << 16);
    osc->note_pitch = osc->note_pitch + n.pitch - 24;
}

const sfx_note *generate_sfx_inst_note(mixer_channel *ch, const sfx_note *note, int pitch) {
    const zorva_cart *cart = ch->owner_cart;
    if (!cart) {
        std::printf("no cart!\n");
        return note;
    }
    sfx_note *slot = &ch->instrument_notes[ch->tick_position & 1];
    std::memset(slot, 0, sizeof *slot);
    const sfx_record *inst = &cart->sfx[note->waveform & 7];
    const int s = sfx_speed(inst);
    const int p = instrument_tick(ch, inst);
    const note_position at = position_of(p, s);
    if (at.index < 0 || at.index >= ZORVA_SFX_NOTES) return slot;
    const int j = at.index, u = at.sub;
    const note_values n = read_note(inst->notes[j]);

    int ip = n.pitch;
    if (n.effect == EFFECT_FAST_ARPEGGIO || n.effect == EFFECT_SLOW_ARPEGGIO)
        ip = inst->notes[(j & 28) + (p / arpeggio_divisor(n.effect, s)) % 4].pitch & 63;
    int fade = 256;
    if (n.effect == EFFECT_FADE_IN) fade = (u + 1) * 256 / s;
    if (n.effect == EFFECT_FADE_OUT) fade = (s - u) * 256 / s;

    // A note holds a pitch of 0-63 and a volume of 0-7: the product of the
    // two volumes and the fade is taken back to that scale (full parent
    // volume and no fade leave the instrument's volume as it is).
    slot->pitch = std::clamp(ip + pitch - 24, 0, 63);
    slot->volume = n.volume * (note->volume & 7) * fade / (7 * 256);
    slot->waveform = n.waveform;
    slot->effect = n.effect;
    slot->custom_instrument = n.custom ? ZORVA_SFX_CUSTOM_INSTRUMENT : 0;
    return slot;
}

void calculate_osc_state(mixer_channel *ch, osc_state *osc) {
    const sfx_record *sfx = ch->sfx;
    const int speed = sfx ? sfx_speed(sfx) : 1;
    const int tp = ch->tick_position;
    const note_position at = position_of(tp, speed);
    const int i = at.index, sub = at.sub;
    if (!sfx || i < 0 || i >= ZORVA_SFX_NOTES) {
        osc->volume = 0;
        osc->waveform = 0;
        osc->dx = 0;
        return;
    }
    const note_values n = read_note(sfx->notes[i]);
    osc->own_pitch = n.pitch;
    osc->own_volume = n.volume;
    osc->own_waveform = n.waveform;

    int volume = n.volume * 256;
    int pitch = n.pitch << 16;
    if (ch->music) {
        int fade = int(std::min<uint32_t>(fade_vol >> 8, 256));
        volume = (fade * volume / 256) * cconfig.music_volume / 256;
    }

    switch (n.effect) {
    case EFFECT_SLIDE: {
        int from_pitch = 24 << 16, from_volume = volume;
        if (i > 0) {
            from_pitch = (ch->previous_pitch & 63) << 16;
            from_volume = (ch->previous_volume & 7) * 256;
        }
        pitch = (pitch * sub + from_pitch * (speed - sub)) / speed;
        volume = (volume * sub + from_volume * (speed - sub)) / speed;
        break;
    }
    case EFFECT_FADE_IN: volume = volume * sub / speed; break;
    case EFFECT_FADE_OUT: volume = volume * (speed - sub) / speed; break;
    case EFFECT_FAST_ARPEGGIO:
    case EFFECT_SLOW_ARPEGGIO: {
        int step = tp / arpeggio_divisor(n.effect, speed);
        pitch = (sfx->notes[(i & 28) + step % 4].pitch & 63) << 16;
        break;
    }
    default: break;
    }
    osc->waveform = n.waveform;
    osc->volume = volume;
    osc->pitch = pitch;
    osc->note_pitch = n.pitch;
    osc->note_volume = n.volume;

    if (n.custom) {
        if (sub == 0) {
            bool changed = i == 0 || n.pitch != ch->previous_pitch;
            bool restart;
            if (n.effect == EFFECT_SLIDE || !changed)
                restart = n.effect == EFFECT_DROP || n.effect == EFFECT_FADE_IN || n.waveform != ch->previous_waveform;
            else
                restart = !(n.effect == EFFECT_DROP && n.waveform == ch->previous_waveform);
            if (restart) ch->instrument_tick_position = 0;
        }
        apply_meta_instrument(ch, &sfx->notes[i], osc);
    } else {
        ch->instrument_tick_position = 0;
    }

    int dx = get_dx_for_note_fine(osc->pitch);
    if (n.effect == EFFECT_VIBRATO) {
        static const int vibrato[8] = {128, 129, 130, 129, 128, 127, 126, 127};
        dx = (dx * vibrato[(tp >> 1) & 7]) >> 7;
    } else if (n.effect == EFFECT_DROP && !n.custom) {
        dx = dx * (speed - sub) / speed;
    }
    osc->dx = dx;
}

void mix_sfx_tick(mixer_channel *ch, int16_t *buffer) {
    std::memset(buffer, 0, SFX_TICK_SAMPLES * sizeof(int16_t));
    osc_state *osc = &ch->osc;
    const sfx_record *sfx = ch->sfx;

    if (!sfx) {
        // Idle: the last note fades out over the crossfade's length.
        if (osc->dx != 0 && osc->volume != 0) {
            mix_osc_tick(osc, buffer, SFX_CROSSFADE);
            for (int i = 0; i < SFX_CROSSFADE; i++) buffer[i] = int16_t(buffer[i] * (SFX_CROSSFADE - i) / SFX_CROSSFADE);
        }
        osc->volume = 0;
        ch->instrument_tick_position = 1;
        ch->tick_position = wrapping_add(ch->tick_position, 1);
        ch->remaining_ticks = wrapping_add(ch->remaining_ticks, -1);
    } else {
        const int speed = sfx_speed(sfx);
        const note_position at = position_of(ch->tick_position, speed);
        const osc_state old = *osc;
        if (at.sub == 0) {
            ch->previous_pitch = osc->own_pitch;
            ch->previous_waveform = osc->own_waveform;
            ch->previous_volume = osc->own_volume;
        }

        calculate_osc_state(ch, osc);
        if (osc->volume == 0) {
            osc->phase = 0;
        } else {
            mix_osc_tick(osc, buffer, SFX_TICK_SAMPLES);
            if ((osc->waveform & 7) == WAVE_PHASER) osc->phase2 += uint32_t(osc->dx) * SFX_TICK_SAMPLES;
        }

        // Every tick starts from where the settings of the tick before
        // would have gone on.
        if (old.volume != 0) {
            osc_state from = old;
            mix_osc_tick(&from, ramp_buf, SFX_CROSSFADE);
        } else {
            std::memset(ramp_buf, 0, sizeof ramp_buf);
        }
        for (int i = 0; i < SFX_CROSSFADE; i++)
            buffer[i] = int16_t((buffer[i] * i + ramp_buf[i] * (SFX_CROSSFADE - i)) / SFX_CROSSFADE);

        ch->tick_position = wrapping_add(ch->tick_position, 1);
        ch->instrument_tick_position = wrapping_add(ch->instrument_tick_position, 1);
        ch->remaining_ticks = wrapping_add(ch->remaining_ticks, -1);
        if (ch->loop_enabled && sfx->loop_start < sfx->loop_end && ch->tick_position >= sfx->loop_end * speed)
            ch->tick_position = sfx->loop_start * speed;

        if (!ch->music && !sfx_goes_on(ch, sfx, at.index)) {
            // Idle from here; the next tick fades the oscillator out.
            ch->sfx = nullptr;
        }
    }

    if (ch->music && ch->owner_cart && ch->remaining_ticks == 0 && ch->pattern >= 0 &&
        ch->pattern < ZORVA_MUSIC_PATTERNS)
        advance_pattern(ch);
}

void mix_sfx_channel(mixer_channel *ch, int n) {
    if (n < 1) return;
    int16_t *out = ch->output;
    int done = 0;
    int read = std::clamp(int(ch->read_position), 0, SFX_TICK_SAMPLES);
    int left = SFX_TICK_SAMPLES - read;
    if (left > 0) {
        done = std::min(left, n);
        std::memcpy(out, ch->tick_buffer + read, size_t(done) * sizeof(int16_t));
        ch->read_position = read + done;
    }
    while (done < n) {
        render_channel_tick(ch);
        int take = std::min(n - done, SFX_TICK_SAMPLES);
        std::memcpy(out + done, ch->tick_buffer, size_t(take) * sizeof(int16_t));
        ch->read_position = take;
        done += take;
    }
}

int get_pattern_length(const zorva_cart *cart, int pattern) {
    if (!cart || pattern < 0 || pattern >= ZORVA_MUSIC_PATTERNS) return 0;
    for (int k = 0; k < ZORVA_MUSIC_CHANNELS; k++) {
        int e = music_entry(cart, pattern, k);
        if (e < 0) continue;
        const sfx_record &s = cart->sfx[e];
        if (s.loop_end <= s.loop_start) return sfx_speed(&s) * ZORVA_SFX_NOTES;
    }
    int longest = 0;
    for (int k = 0; k < ZORVA_MUSIC_CHANNELS; k++) {
        int e = music_entry(cart, pattern, k);
        if (e >= 0) longest = std::max(longest, sfx_speed(&cart->sfx[e]) * ZORVA_SFX_NOTES);
    }
    return longest;
}
