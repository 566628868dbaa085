// Animations: actors holding keyed channels of states, their evaluation at
// a time, and bones posed from an actor's channels.
#include "tamu_model.h"

#include "tamu_main.h"
#include "tamu_math.h"
#include "tamu_memory.h"

#include <cstdio>
#include <cstring>

namespace {

// Whether n states stay within a block the engine hands out.
bool states_fit(const canim_channel *c, int64_t n) {
    return n >= 0 && n <= CANIM_MAX_STATES && int64_t(c->state_size) * n <= (int64_t(1) << 28);
}

// Room for exactly n states.
void reserve_states(canim_channel *c, int n) {
    if (n <= c->max_states) return;
    int bytes = c->state_size * n;
    c->states = static_cast<uint8_t *>(tamu_realloc(c->states, bytes));
    c->times = static_cast<int32_t *>(tamu_realloc(c->times, int(sizeof(int32_t)) * n));
    c->flags = static_cast<int32_t *>(tamu_realloc(c->flags, int(sizeof(int32_t)) * n));
    c->max_states = n;
}

uint8_t *state_at(const canim_channel *c, int i) { return c->states + int64_t(i) * c->state_size; }

const float *floats_at(const canim_channel *c, int i) { return reinterpret_cast<const float *>(state_at(c, i)); }

// Where the value at t lies: state i and the fraction (0..1) toward i + 1,
// or false when there is nothing to evaluate.
bool locate(const canim_channel *c, int32_t t, int *index, float *fraction) {
    if (!c || c->num_states < 1 || c->state_size < int(sizeof(float[3]))) return false;
    int i = canim_channel_index_for_t(c, t);
    *index = i;
    *fraction = 0.0f;
    if (i + 1 < c->num_states && c->times[i + 1] != c->times[i]) {
        double f = (double(t) - c->times[i]) / (double(c->times[i + 1]) - c->times[i]);
        *fraction = f < 0 ? 0.0f : f > 1 ? 1.0f : float(f);
    }
    return true;
}

void free_actor(cactor *a) {
    for (canim_channel *&c : a->channel) tamu_destroy_anim_channel(c);
    for (int i = 0; i < a->num_further; i++) tamu_destroy_anim_channel(a->further[i]);
    tamu_free(a->further);
    tamu_destroy_anim_channel(a->commands);
    std::memset(a, 0, sizeof *a);
}

}  // namespace

// ---------------------------------------------------------------------------
// Channels

canim_channel *tamu_create_anim_channel(int state_size) {
    if (state_size < 0 || state_size > CANIM_MAX_STATE_SIZE) return nullptr;
    auto *c = static_cast<canim_channel *>(tamu_malloc(sizeof(canim_channel)));
    std::memset(c, 0, sizeof *c);
    c->state_size = state_size;
    return c;
}

void tamu_destroy_anim_channel(canim_channel *channel) {
    if (!channel) return;
    tamu_free(channel->states);
    tamu_free(channel->times);
    tamu_free(channel->flags);
    tamu_free(channel);
}

int canim_channel_set_num_states(canim_channel *channel, int n) {
    if (!channel || !states_fit(channel, n)) return -1;
    reserve_states(channel, n);
    int32_t last = channel->num_states > 0 ? channel->times[channel->num_states - 1] : 0;
    for (int i = channel->num_states; i < n; i++) {
        if (channel->state_size > 0) std::memset(state_at(channel, i), 0, size_t(channel->state_size));
        channel->times[i] = last;
        channel->flags[i] = 0;
    }
    channel->num_states = n;
    return 0;
}

void canim_channel_clear(canim_channel *channel) {
    if (channel) channel->num_states = 0;
}

void canim_channel_delete(canim_channel *channel, int index) {
    if (!channel || index < 0 || index >= channel->num_states) return;
    int after = channel->num_states - index - 1;
    if (after > 0) {
        std::memmove(state_at(channel, index), state_at(channel, index + 1), size_t(after) * channel->state_size);
        std::memmove(channel->times + index, channel->times + index + 1, sizeof(int32_t) * size_t(after));
        std::memmove(channel->flags + index, channel->flags + index + 1, sizeof(int32_t) * size_t(after));
    }
    channel->num_states--;
}

int canim_channel_insert_state(canim_channel *channel, int32_t t) {
    if (!channel || !states_fit(channel, int64_t(channel->num_states) + 1)) return -1;
    int n = channel->num_states;
    int at = 0;
    if (n > 0 && t >= channel->times[0]) at = canim_channel_index_for_t(channel, t) + 1;
    // index_for_t gives 0 for fewer than 2 states: a single state at or
    // before t still comes first.
    reserve_states(channel, n + 1);
    int after = n - at;
    if (after > 0) {
        std::memmove(state_at(channel, at + 1), state_at(channel, at), size_t(after) * channel->state_size);
        std::memmove(channel->times + at + 1, channel->times + at, sizeof(int32_t) * size_t(after));
        std::memmove(channel->flags + at + 1, channel->flags + at, sizeof(int32_t) * size_t(after));
    }
    if (channel->state_size > 0) std::memset(state_at(channel, at), 0, size_t(channel->state_size));
    channel->times[at] = t;
    channel->flags[at] = 0;
    channel->num_states = n + 1;
    return at;
}

int canim_channel_index_for_t(const canim_channel *channel, int32_t t) {
    if (!channel || channel->num_states < 2 || t <= channel->times[0]) return 0;
    // The last state whose time is at most t: times[lo] <= t always.
    int lo = 0, hi = channel->num_states - 1;
    while (lo < hi) {
        int mid = lo + (hi - lo + 1) / 2;
        if (channel->times[mid] <= t) lo = mid;
        else hi = mid - 1;
    }
    return lo;
}

int canim_channel_index_for_command(const canim_channel *channel, int32_t t, uint32_t command) {
    if (!channel || channel->num_states < 1 || channel->state_size < int(sizeof(uint32_t))) return -1;
    auto first_word = [&](int i) {
        uint32_t w;
        std::memcpy(&w, state_at(channel, i), sizeof w);
        return w;
    };
    int start = canim_channel_index_for_t(channel, t);
    for (int i = start; i >= 0; i--)
        if (first_word(i) == command) return i;
    for (int i = start + 1; i < channel->num_states; i++)
        if (first_word(i) == command) return i;
    return -1;
}

int canim_channel_evaluate(const canim_channel *channel, int32_t t, float *out) {
    int i;
    float f;
    if (!out || !locate(channel, t, &i, &f)) return 0;
    const float *a = floats_at(channel, i);
    const float *b = f > 0.0f ? floats_at(channel, i + 1) : a;
    for (int c = 0; c < 3; c++) out[c] = a[c] + (b[c] - a[c]) * f;
    return 1;
}

int canim_channel_evaluate_nonlinear(const canim_channel *channel, int32_t t, float *out) {
    int i;
    float f;
    if (!out || !locate(channel, t, &i, &f)) return 0;
    int last = channel->num_states - 1;
    auto clamp = [&](int k) { return k < 0 ? 0 : k > last ? last : k; };
    const float *p0 = floats_at(channel, clamp(i - 1));
    const float *p1 = floats_at(channel, i);
    const float *p2 = floats_at(channel, clamp(i + 1));
    const float *p3 = floats_at(channel, clamp(i + 2));
    float f2 = f * f, f3 = f2 * f;
    for (int c = 0; c < 3; c++) {
        out[c] = 0.5f * (2.0f * p1[c] + (p2[c] - p0[c]) * f + (2.0f * p0[c] - 5.0f * p1[c] + 4.0f * p2[c] - p3[c]) * f2 +
                         (3.0f * p1[c] - p0[c] - 3.0f * p2[c] + p3[c]) * f3);
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Animations and actors

canim *tamu_create_anim() {
    auto *a = static_cast<canim *>(tamu_malloc(sizeof(canim)));
    std::memset(a, 0, sizeof *a);
    tamu_items_created++;
    return a;
}

void tamu_clear_anim(canim *anim) {
    if (!anim) return;
    for (int i = 0; i < anim->num_actors; i++) free_actor(&anim->actors[i]);
    tamu_free(anim->actors);
    anim->actors = nullptr;
    anim->num_actors = 0;
}

void tamu_destroy_anim(canim *anim) {
    if (!anim) return;
    tamu_clear_anim(anim);
    tamu_free(anim);
    tamu_items_created--;
}

int canim_new_actor(canim *anim) {
    if (!anim || anim->num_actors >= CANIM_MAX_ACTORS) return -1;
    int i = anim->num_actors;
    anim->actors = static_cast<cactor *>(tamu_realloc(anim->actors, int(sizeof(cactor)) * (i + 1)));
    cactor *a = &anim->actors[i];
    std::memset(a, 0, sizeof *a);
    std::snprintf(a->name, sizeof a->name, "actor%d", i);
    a->model = -1;
    a->material = -1;
    for (canim_channel *&c : a->channel) c = tamu_create_anim_channel(int(sizeof(float[3])));
    a->commands = tamu_create_anim_channel(24);
    anim->num_actors = i + 1;
    return i;
}

void canim_delete_actor(canim *anim, int index) {
    if (!anim || index < 0 || index >= anim->num_actors) return;
    free_actor(&anim->actors[index]);
    int last = anim->num_actors - 1;
    if (index != last) anim->actors[index] = anim->actors[last];
    anim->num_actors--;
}

int cactor_new_channel(cactor *actor, int state_size) {
    if (!actor || actor->num_further >= CANIM_MAX_ACTORS) return -1;
    canim_channel *c = tamu_create_anim_channel(state_size);
    if (!c) return -1;
    int i = actor->num_further;
    actor->further =
        static_cast<canim_channel **>(tamu_realloc(actor->further, int(sizeof(canim_channel *)) * (i + 1)));
    actor->further[i] = c;
    actor->num_further = i + 1;
    return i;
}

void cactor_evaluate(const cactor *actor, int32_t t, float *scale, float *rotation, float *position) {
    float *out[3] = {scale, rotation, position};
    for (int k = 0; k < 3; k++) {
        if (!out[k]) continue;
        float start = k == CACTOR_SCALE ? 1.0f : 0.0f;
        out[k][0] = out[k][1] = out[k][2] = start;
        if (actor) canim_channel_evaluate(actor->channel[k], t, out[k]);
    }
}

void cactor_evaluate_bones(const cactor *actor, cmodel *model, int32_t t, float (*out)[12]) {
    if (!model || !out || model->num_bones < 1) return;
    int n = model->num_bones;
    if (model->bone_data_count != n) {
        cmodel_calculate_bone_parents(model);
        cmodel_calculate_matrices(model);
    }
    // delta[b]: how bone b's pose moves rest positions, parents first.
    auto *delta = static_cast<float(*)[12]>(tamu_malloc(int(sizeof(float[12])) * n));
    auto *done = static_cast<uint8_t *>(tamu_malloc(n));
    std::memset(done, 0, size_t(n));
    auto *chain = static_cast<int *>(tamu_malloc(int(sizeof(int)) * n));
    for (int b = 0; b < n; b++) {
        // The bone and its ancestors not yet done, youngest first.
        int length = 0;
        for (int up = b; up >= 0 && up < n && !done[up] && length < n; up = model->bone_parents[up]) chain[length++] = up;
        for (int k = length - 1; k >= 0; k--) {
            int c = chain[k];
            float angles[3] = {0, 0, 0};
            if (actor && c < actor->num_further) canim_channel_evaluate(actor->further[c], t, angles);
            const float *head = &model->bone_matrices[c][9];
            float one[3] = {1, 1, 1}, zero[3] = {0, 0, 0};
            float turn[12], local[12];
            tamu_get_transformation_matrix(turn, angles, one, zero);
            // Move the head to the origin, turn, move back.
            tamu_get_identity_matrix(local);
            local[9] = -head[0];
            local[10] = -head[1];
            local[11] = -head[2];
            tamu_matrix_mul(local, turn, local);
            local[9] += head[0];
            local[10] += head[1];
            local[11] += head[2];
            int parent = model->bone_parents[c];
            if (parent >= 0 && parent < n && done[parent]) tamu_matrix_mul(local, delta[parent], delta[c]);
            else std::memcpy(delta[c], local, sizeof local);
            done[c] = 1;
        }
    }
    for (int b = 0; b < n; b++) tamu_matrix_mul(model->bone_matrices[b], delta[b], out[b]);
    tamu_free(chain);
    tamu_free(done);
    tamu_free(delta);
}
