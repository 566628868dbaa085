// The module player: rows read into channel states, effects stepped tick
// by tick, samples mixed at the output rate; and the music object through
// which the mixer plays a module with the music fade.
//
// tamu_mix_xm_chunk runs on the audio thread for the mixer's module step:
// it allocates nothing, and everything that changes the player state ps0
// from the main thread holds the audio lock.
#include "tamu_xm.h"

#include "tamu.h"
#include "tamu_csound.h"
#include "tamu_mixer.h"
#include "tamu_music.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

cmusic *tamu_current_music;

// 12 notes of 8 finetune steps each, from a semitone below a note up to it.
const int16_t ptab[XM_NOTES] = {
    907, 900, 894, 887, 881, 875, 868, 862, 856, 850, 844, 838, 832, 826, 820, 814, 808, 802, 796, 791,
    785, 779, 774, 768, 762, 757, 752, 746, 741, 736, 730, 725, 720, 715, 709, 704, 699, 694, 689, 684,
    678, 675, 670, 665, 660, 655, 651, 646, 640, 636, 632, 628, 623, 619, 614, 610, 604, 601, 597, 592,
    588, 584, 580, 575, 570, 567, 563, 559, 555, 551, 547, 543, 538, 535, 532, 528, 524, 520, 516, 513,
    508, 505, 502, 498, 494, 491, 487, 484, 480, 477, 474, 470, 467, 463, 460, 457,
};

namespace {

constexpr int EMPTY_PATTERN_ROWS = 64;   // an order naming a pattern the module lacks
constexpr int MIX_PIECE = 1024;
constexpr int NOTE_LIMIT = 1000;         // slides keep the pitch within +-1000 semitones

enum {
    FX_ARPEGGIO = 0,
    FX_PORTA_UP = 1,
    FX_PORTA_DOWN = 2,
    FX_TONE_PORTA = 3,
    FX_VIBRATO = 4,
    FX_VOLUME_SLIDE = 10,
    FX_POSITION_JUMP = 11,
};

struct audio_lock {
    audio_lock() { tamu_lock_audio_plat(); }
    ~audio_lock() { tamu_unlock_audio_plat(); }
    audio_lock(const audio_lock &) = delete;
    audio_lock &operator=(const audio_lock &) = delete;
};

int module_channels(const xm_module *m) { return std::min<int>(m->channels, XM_MAX_CHANNELS); }

const xm_pattern *pattern_at(const xm_module *m, int order) {
    int index = m->orders[order];
    return index < m->pattern_count && m->patterns ? &m->patterns[index] : nullptr;
}

int rows_at(const xm_module *m, int order) {
    const xm_pattern *p = pattern_at(m, order);
    return p ? p->rows : EMPTY_PATTERN_ROWS;
}

// Keeps fine within 0-255 by carrying whole semitones into the note.
void carry(xm_channel &ch) {
    ch.note += ch.fine >> 8;
    ch.fine &= 255;
    ch.note = std::clamp(ch.note, -NOTE_LIMIT, NOTE_LIMIT);
}

xm_sample *sample_for(const xm_instrument *ins, int note) {
    if (!ins || !ins->samples || note < 1 || note > XM_NOTES) return nullptr;
    int k = ins->note_sample[note - 1];
    return k < ins->sample_count ? &ins->samples[k] : nullptr;
}

// Each channel reads its cell of the current row.
void read_row(xm_playstate *st) {
    const xm_module *m = st->module;
    const xm_pattern *p = pattern_at(m, st->order);
    const int channels = module_channels(m);
    static const uint8_t empty[XM_CELL_BYTES] = {};
    for (int c = 0; c < channels; c++) {
        xm_channel &ch = st->channels[c];
        const uint8_t *cell =
            p && st->row < p->rows ? p->cells + (size_t(st->row) * m->channels + size_t(c)) * XM_CELL_BYTES : empty;
        const int note = cell[0], ins = cell[1], vol = cell[2], eff = cell[3], par = cell[4];
        if (ins) {
            ch.instrument = ins <= m->instrument_count && m->instruments ? &m->instruments[ins - 1] : nullptr;
            ch.envelope_tick = 0;
        }
        if (note >= 1 && note <= XM_NOTES) {
            if (eff == FX_TONE_PORTA) {
                ch.target_note = note;
            } else {
                ch.note = note;
                ch.fine = 0;
                ch.sample = sample_for(ch.instrument, note);
                ch.position = 0;
                ch.backwards = 0;
                ch.envelope_tick = 0;
            }
        } else if (note > XM_NOTES) {
            ch.sample = nullptr;   // note off
        }
        if (ins) ch.volume = ch.sample ? std::min<int>(ch.sample->volume, 64) : 64;
        if (vol >= 0x10 && vol <= 0x50) ch.volume = vol - 0x10;
        if (eff) {
            ch.effect = eff;
            if (par) ch.parameter = par;
        } else if (par) {
            ch.effect = FX_ARPEGGIO;   // 0xy: arpeggio, whatever came before
            ch.parameter = par;
        } else {
            ch.effect = -1;
        }
        if (eff == FX_POSITION_JUMP) st->jump = par;
    }
}

int envelope_value(const xm_instrument *ins, int tick) {
    if (!ins || !(ins->volume_type & 1) || ins->volume_points < 1) return 64;
    const uint16_t *e = ins->volume_envelope;
    const int points = std::min<int>(ins->volume_points, XM_ENVELOPE_POINTS);
    int y = e[1];
    if (tick > e[0]) {
        y = e[2 * (points - 1) + 1];
        for (int k = 0; k + 1 < points; k++) {
            int x0 = e[2 * k], x1 = e[2 * k + 2];
            if (tick >= x0 && tick < x1) {
                int y0 = e[2 * k + 1], y1 = e[2 * k + 3];
                y = y0 + (y1 - y0) * (tick - x0) / std::max(x1 - x0, 1);
                break;
            }
        }
    }
    return std::clamp(y, 0, 64);
}

// The effects of one tick, then the channel's step and level for it.
void tick_channel(xm_playstate *st, xm_channel &ch) {
    int arpeggio = 0, vibrato = 0;
    const int par = ch.parameter;
    if (st->tick != 0) {
        switch (ch.effect) {
        case FX_ARPEGGIO:
            if (st->tick % 3 == 1) arpeggio = par >> 4;
            if (st->tick % 3 == 2) arpeggio = par & 15;
            break;
        case FX_PORTA_UP:
            ch.fine += 16 * par;
            carry(ch);
            break;
        case FX_PORTA_DOWN:
            ch.fine -= 16 * par;
            carry(ch);
            break;
        case FX_TONE_PORTA: {
            int now = ch.note * 256 + ch.fine, target = ch.target_note * 256;
            now = now < target ? std::min(now + 16 * par, target) : std::max(now - 16 * par, target);
            ch.note = now >> 8;
            ch.fine = now & 255;
            break;
        }
        case FX_VOLUME_SLIDE: {
            int up = par >> 4, down = par & 15;
            ch.volume = std::clamp(ch.volume + (up ? up : -down), 0, 63);
            break;
        }
        default: break;
        }
    }
    if (ch.effect == FX_VIBRATO) {
        ch.vibrato_phase = (ch.vibrato_phase + 32 * (par >> 4)) & 0x7FF;
        int t = (ch.vibrato_phase + 512) & 0x7FF;
        if (t > 1023) t = 2048 - t;
        vibrato = (512 - t) * (par & 15) / 16;
    }
    const xm_sample *s = ch.sample;
    if (s) {
        // The sample's finetune, in 1/128 semitone, about the middle of the
        // period table's eight steps.
        int fine = ch.fine + 128 + 2 * s->finetune + vibrato;
        ch.delta = get_delta(ch.note + s->relative_note + arpeggio, fine);
    }
    ch.level = std::clamp(ch.volume, 0, 64) * envelope_value(ch.instrument, ch.envelope_tick);
    ch.envelope_tick = std::min(ch.envelope_tick + 1, 0xFFFF);
}

void start_tick(xm_playstate *st) {
    const xm_module *m = st->module;
    if (st->order < 0 || st->order >= m->song_length) {
        st->playing = 0;
        return;
    }
    if (st->tick == 0) read_row(st);
    const int channels = module_channels(m);
    for (int c = 0; c < channels; c++) tick_channel(st, st->channels[c]);
}

// After a tick: the next tick, row, or order; a position jump takes effect
// when its row ends.
void end_tick(xm_playstate *st) {
    if (++st->tick < st->ticks_per_row) return;
    st->tick = 0;
    const xm_module *m = st->module;
    const int rows = rows_at(m, st->order);
    const bool last_row = st->row + 1 >= rows && st->order + 1 >= m->song_length;
    const int jump = st->jump;
    st->jump = -1;
    if (jump >= 0 && (!last_row || st->loop)) {
        st->order = jump < m->song_length ? jump : 0;
        st->row = 0;
        return;
    }
    if (++st->row < rows) return;
    st->row = 0;
    if (++st->order >= m->song_length) {
        if (st->loop)
            st->order = 0;
        else
            st->playing = 0;
    }
}

// Adds n samples of the channel's sample to mix, following its loop.
void mix_channel(xm_channel &ch, int32_t *mix, int n) {
    const xm_sample *s = ch.sample;
    if (!s || !s->data || s->length < 1) {
        ch.sample = nullptr;
        return;
    }
    const int64_t length = int64_t(s->length) << 24;
    const int loop_type = s->type & XM_LOOP_MASK;
    const bool looping = (loop_type == 1 || loop_type == 2) && s->loop_length > 0;
    const int64_t start = int64_t(s->loop_start) << 24, span = int64_t(s->loop_length) << 24;
    const int64_t end = start + span;
    const int64_t delta = ch.delta;
    for (int i = 0; i < n; i++) {
        if (ch.position < 0 || ch.position >= length) {
            ch.sample = nullptr;
            return;
        }
        const int64_t at = ch.position >> 24;
        const int64_t a = s->data[at];
        int64_t b = a;
        if (at + 1 < s->length)
            b = s->data[at + 1];
        else if (looping && loop_type == 1)
            b = s->data[s->loop_start];
        const int64_t v = a + (((b - a) * ((ch.position & 0xFFFFFF) >> 8)) >> 16);
        mix[i] += int32_t((v * ch.level) >> 12);

        if (!looping) {
            ch.position += delta;
        } else if (loop_type == 1) {
            ch.position += delta;
            if (ch.position >= end) ch.position = start + (ch.position - end) % span;
        } else {
            // Ping-pong: u runs through the loop forward and then back, a
            // cycle of two loop lengths.
            int64_t u;
            if (!ch.backwards && ch.position < start) {
                ch.position += delta;
                if (ch.position < end) continue;
                u = ch.position - start;
            } else {
                u = (ch.backwards ? span + (end - 1 - ch.position) : ch.position - start) + delta;
            }
            u %= 2 * span;
            ch.backwards = u >= span;
            ch.position = u < span ? start + u : end - 1 - (u - span);
        }
    }
}

}  // namespace

int32_t get_delta(int note, int fine) {
    note = std::clamp(note, -NOTE_LIMIT, NOTE_LIMIT) + (fine >> 8);
    fine &= 255;
    if (note < 0) return 1;
    const int octave = note / 12;
    const int64_t period = octave > 30 ? 0 : (int64_t(ptab[(fine >> 5) + (note % 12) * 8]) * 16 * 64) >> octave;
    if (period == 0) return 3749769;
    const double step = 916317184.0 / double(period) / 44742.0 * 65536.0 * 256.0;
    return int32_t(std::min<double>(std::llround(step), INT32_MAX));
}

void tamu_mix_xm_init(xm_module *module, xm_playstate *state, int rate) {
    if (!state) return;
    std::memset(state->channels, 0, sizeof state->channels);
    for (int c = 0; c < XM_MAX_CHANNELS; c++) {
        state->channels[c].number = c;
        state->channels[c].effect = -1;
    }
    state->module = module;
    state->order = state->row = state->tick = 0;
    state->samples_left = 0;
    state->jump = -1;
    state->rate = rate;
    const int tempo = module ? module->tempo : 6;
    const int bpm = module ? module->bpm : 125;
    state->ticks_per_row = std::max(tempo, 1);
    state->samples_per_tick = std::max(int(int64_t(std::max(rate, 0)) * 5 / (std::max(bpm, 1) * 2)), 1);
}

void tamu_mix_xm_chunk(xm_playstate *st, int16_t *buffer, int n) {
    if (!buffer || n < 1) return;
    std::memset(buffer, 0, size_t(n) * sizeof *buffer);
    if (!st || !st->module || !st->playing) return;
    // A state that was not made by tamu_mix_xm_init still moves on.
    st->samples_per_tick = std::max(st->samples_per_tick, 1);
    st->ticks_per_row = std::max(st->ticks_per_row, 1);
    int32_t mix[MIX_PIECE];
    const int channels = module_channels(st->module);
    int done = 0;
    while (done < n && st->playing) {
        if (st->samples_left <= 0) {
            start_tick(st);
            if (!st->playing) break;
            st->samples_left = st->samples_per_tick;
        }
        const int m = std::min({n - done, st->samples_left, MIX_PIECE});
        std::memset(mix, 0, size_t(m) * sizeof *mix);
        for (int c = 0; c < channels; c++) {
            xm_channel &ch = st->channels[c];
            if (ch.instrument && ch.instrument->render)
                ch.instrument->render(st, &ch, mix, m);
            else
                mix_channel(ch, mix, m);
        }
        for (int i = 0; i < m; i++) buffer[done + i] = int16_t(std::clamp(mix[i] / 3, -32767, 32767));
        done += m;
        st->samples_left -= m;
        if (st->samples_left == 0) end_tick(st);
    }
}

void tamu_mix_xm(xm_module *module, csound *sound) {
    if (!module || !sound || !sound->data) return;
    int64_t bytes = sound->samples > 0 && sound->bits > 0 ? int64_t(sound->samples) * sound->bits / 8 : 0;
    const int64_t n = std::min<int64_t>(sound->samples, bytes / 2);
    xm_playstate st;
    std::memset(&st, 0, sizeof st);
    tamu_mix_xm_init(module, &st, tamu_sound_freq);
    st.playing = 1;
    auto *out = static_cast<int16_t *>(sound->data);
    for (int64_t done = 0; done < n;) {
        int piece = int(std::min<int64_t>(n - done, MIXER_BUFFER_SAMPLES));
        tamu_mix_xm_chunk(&st, out + done, piece);
        done += piece;
    }
}

int64_t tamu_calculate_xm_length(xm_module *module) {
    if (!module || module->song_length == 0) return 0;
    int64_t per_tick = std::max(110250 / (std::max<int>(module->bpm, 1) * 2), 1);
    return per_tick * std::max<int>(module->tempo, 1) * 64 * module->song_length;
}

// ---------------------------------------------------------------------------
// Music objects

cmusic *tamu_create_music() {
    auto *music = static_cast<cmusic *>(tamu_malloc(sizeof(cmusic)));
    std::memset(music, 0, sizeof *music);
    tamu_items_created++;
    return music;
}

namespace {

// Stops the player when it plays this object or its module.
void stop_if_playing(cmusic *music) {
    audio_lock lock;
    if (tamu_current_music == music || (music->module && ps0.module == music->module)) {
        ps0.playing = 0;
        ps0.module = nullptr;
        if (tamu_current_music == music) tamu_current_music = nullptr;
    }
}

int replace_module(cmusic *music, xm_module *module) {
    if (!music || !module) {
        tamu_destroy_xm(module);
        return 1;
    }
    stop_if_playing(music);
    tamu_destroy_xm(music->module);
    music->module = module;
    return 0;
}

}  // namespace

void tamu_destroy_music(cmusic *music) {
    if (!music) return;
    stop_if_playing(music);
    tamu_destroy_xm(music->module);
    tamu_free(music);
    tamu_items_created--;
}

int cmusic_load(cmusic *music, const void *bytes, int length) {
    if (!music || length < 0 || (length > 0 && !bytes)) return 1;
    cfile *file = tamu_fopen_memory(bytes, length);
    xm_module *module = tamu_load_xm_from_file(file);
    tamu_fclose(file);
    return replace_module(music, module);
}

int cmusic_load_from_file(cmusic *music, cfile *file) {
    if (!music || !file) return 1;
    return replace_module(music, tamu_load_xm_from_file(file));
}

void cmusic_play(cmusic *music, int fade_ms, int start_order, int loop) {
    if (!music || !music->module) return;
    {
        audio_lock lock;
        ps0.playing = 0;
        ps0.module = nullptr;
        tamu_mix_xm_init(music->module, &ps0, tamu_sound_freq);
        ps0.order = std::clamp(start_order, 0, std::max(music->module->song_length - 1, 0));
        ps0.loop = loop ? 1 : 0;
        tamu_current_music = music;
        ps0.playing = 1;
    }
    fade0 = fade_vol;
    fade1 = 0x10000;
    fade_len = fade_ms;
    fade_start_t = uint32_t(tamu_music_clock ? tamu_music_clock() : tamu_get_time());
    tamu_update_music_fading();
}

void disable_music(cmusic *music) {
    if (music && music != tamu_current_music) return;
    audio_lock lock;
    ps0.playing = 0;
    ps0.module = nullptr;
}

cmusic *tamu_get_current_music() { return tamu_current_music; }
