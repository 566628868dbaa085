// Voxel maps: a block of w x h x d bytes whose levels are 8-bit bitmaps
// over the block, with a clip box, boxes, 3D lines and drawing of the
// levels onto bitmaps.
#include "tamu_model.h"

#include "tamu_bitmap.h"
#include "tamu_main.h"
#include "tamu_math.h"
#include "tamu_memory.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Rows of all levels in one table; a level's rows are h entries of it.
constexpr int64_t max_row_entries = int64_t(1) << 22;

bool inside_clip(const cvoxmap *v, int x, int y, int z) {
    return x >= v->clip_x0 && x < v->clip_x1 && y >= v->clip_y0 && y < v->clip_y1 && z >= v->clip_z0 &&
           z < v->clip_z1;
}

// Floor of a / b for b > 0.
int64_t floor_div(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Narrows [first, last] to the steps i at which floor((start + i * step) /
// 65536) lies in [lo, hi).
void clip_steps(int64_t start, int64_t step, int lo, int hi, int64_t &first, int64_t &last) {
    int64_t low = int64_t(lo) << 16, high = (int64_t(hi) << 16) - 1;   // the 16.16 range inside
    if (step == 0) {
        if (start < low || start > high) last = first - 1;
        return;
    }
    int64_t a, b;   // start + i * step in [low, high]
    if (step > 0) {
        a = -floor_div(-(low - start), step);   // ceiling
        b = floor_div(high - start, step);
    } else {
        a = -floor_div(-(start - high), -step);
        b = floor_div(start - low, -step);
    }
    first = std::max(first, a);
    last = std::min(last, b);
}

}  // namespace

cvoxmap *tamu_create_voxmap(int w, int h, int d) {
    if (w < 1 || h < 1 || d < 1 || w > TAMU_BITMAP_MAX_SIDE || h > TAMU_BITMAP_MAX_SIDE || d > TAMU_VOXMAP_MAX_DEPTH)
        return nullptr;
    int64_t voxels = int64_t(w) * h * d;
    if (voxels > TAMU_VOXMAP_MAX_VOXELS || int64_t(h) * d > max_row_entries) return nullptr;
    auto *v = static_cast<cvoxmap *>(tamu_malloc(sizeof(cvoxmap)));
    std::memset(v, 0, sizeof *v);
    v->width = w;
    v->height = h;
    v->depth = d;
    v->voxels = static_cast<uint8_t *>(tamu_malloc(int(voxels)));
    std::memset(v->voxels, 0, size_t(voxels));
    // The level records, then the rows of every level, in one block.
    int64_t bytes = int64_t(sizeof(cbitmap *) + sizeof(cbitmap)) * d + int64_t(sizeof(uint8_t *)) * h * d;
    auto *block = static_cast<uint8_t *>(tamu_malloc(int(bytes)));
    v->slices = reinterpret_cast<cbitmap **>(block);
    auto *records = reinterpret_cast<cbitmap *>(block + sizeof(cbitmap *) * size_t(d));
    auto *rows = reinterpret_cast<uint8_t **>(records + d);
    for (int z = 0; z < d; z++) {
        cbitmap *b = &records[z];
        b->width = w;
        b->height = h;
        b->bpp = 8;
        b->pixels = v->voxels + int64_t(w) * h * z;
        b->rows = rows + int64_t(h) * z;
        for (int y = 0; y < h; y++) b->rows[y] = b->pixels + int64_t(w) * y;
        v->slices[z] = b;
    }
    tamu_reset_voxmap_clip(v);
    tamu_items_created++;
    return v;
}

void tamu_destroy_voxmap(cvoxmap *voxmap) {
    if (!voxmap) return;
    tamu_free(voxmap->voxels);
    tamu_free(voxmap->slices);   // the level records and rows share its block
    tamu_free(voxmap);
    tamu_items_created--;
}

void tamu_clear_voxmap(cvoxmap *voxmap) {
    if (voxmap) std::memset(voxmap->voxels, 0, size_t(int64_t(voxmap->width) * voxmap->height * voxmap->depth));
}

void tamu_putvoxel(cvoxmap *voxmap, int x, int y, int z, int value) {
    if (!voxmap || !inside_clip(voxmap, x, y, z)) return;
    voxmap->voxels[(int64_t(z) * voxmap->height + y) * voxmap->width + x] = uint8_t(value);
}

int tamu_getvoxel(const cvoxmap *voxmap, int x, int y, int z) {
    if (!voxmap || x < 0 || y < 0 || z < 0 || x >= voxmap->width || y >= voxmap->height || z >= voxmap->depth)
        return 0;
    return voxmap->voxels[(int64_t(z) * voxmap->height + y) * voxmap->width + x];
}

void tamu_set_voxmap_clip(cvoxmap *voxmap, int x0, int y0, int z0, int x1, int y1, int z1) {
    if (!voxmap) return;
    voxmap->clip_x0 = std::clamp(x0, 0, voxmap->width);
    voxmap->clip_x1 = std::clamp(x1, voxmap->clip_x0, voxmap->width);
    voxmap->clip_y0 = std::clamp(y0, 0, voxmap->height);
    voxmap->clip_y1 = std::clamp(y1, voxmap->clip_y0, voxmap->height);
    voxmap->clip_z0 = std::clamp(z0, 0, voxmap->depth);
    voxmap->clip_z1 = std::clamp(z1, voxmap->clip_z0, voxmap->depth);
    for (int z = 0; z < voxmap->depth; z++) {
        cbitmap *level = voxmap->slices[z];
        if (z >= voxmap->clip_z0 && z < voxmap->clip_z1)
            tamu_set_clip(level, voxmap->clip_x0, voxmap->clip_y0, voxmap->clip_x1, voxmap->clip_y1);
        else
            tamu_set_clip(level, 0, 0, 0, 0);
    }
}

void tamu_reset_voxmap_clip(cvoxmap *voxmap) {
    if (voxmap) tamu_set_voxmap_clip(voxmap, 0, 0, 0, voxmap->width, voxmap->height, voxmap->depth);
}

void tamu_boxfill(cvoxmap *voxmap, int x0, int y0, int z0, int x1, int y1, int z1, int value) {
    if (!voxmap) return;
    // Inclusive corners in either order, narrowed to the clip box.
    auto span = [](int a, int b, int lo, int hi, int &from, int &to) {
        int64_t first = std::min(a, b), last = std::max(a, b);
        from = int(std::max<int64_t>(first, lo));
        to = int(std::min<int64_t>(last, int64_t(hi) - 1));
    };
    int xa, xb, ya, yb, za, zb;
    span(x0, x1, voxmap->clip_x0, voxmap->clip_x1, xa, xb);
    span(y0, y1, voxmap->clip_y0, voxmap->clip_y1, ya, yb);
    span(z0, z1, voxmap->clip_z0, voxmap->clip_z1, za, zb);
    if (xa > xb || ya > yb || za > zb) return;
    for (int z = za; z <= zb; z++)
        for (int y = ya; y <= yb; y++)
            std::memset(voxmap->slices[z]->rows[y] + xa, uint8_t(value), size_t(xb - xa + 1));
}

void tamu_box(cvoxmap *voxmap, int x0, int y0, int z0, int x1, int y1, int z1, int value) {
    int xs[2] = {x0, x1}, ys[2] = {y0, y1}, zs[2] = {z0, z1};
    for (int a = 0; a < 2; a++) {
        for (int b = 0; b < 2; b++) {
            tamu_line3d(voxmap, x0, ys[a], zs[b], x1, ys[a], zs[b], value);   // along x
            tamu_line3d(voxmap, xs[a], y0, zs[b], xs[a], y1, zs[b], value);   // along y
            tamu_line3d(voxmap, xs[a], ys[b], z0, xs[a], ys[b], z1, value);   // along z
        }
    }
}

void tamu_line3d(cvoxmap *voxmap, int x0, int y0, int z0, int x1, int y1, int z1, int value) {
    if (!voxmap) return;
    int64_t d[3] = {int64_t(x1) - x0, int64_t(y1) - y0, int64_t(z1) - z0};
    int64_t n = std::max<int64_t>({std::llabs(d[0]), std::llabs(d[1]), std::llabs(d[2]), 1});
    // Positions start at voxel centres: the last step lands on the end
    // voxel exactly.
    int64_t start[3] = {(int64_t(x0) << 16) + 0x8000, (int64_t(y0) << 16) + 0x8000, (int64_t(z0) << 16) + 0x8000};
    int64_t step[3];
    for (int k = 0; k < 3; k++) step[k] = d[k] * 65536 / n;
    // Only the steps that land inside the clip box are walked, so a long
    // line far outside the map costs nothing.
    int64_t first = 0, last = n;
    clip_steps(start[0], step[0], voxmap->clip_x0, voxmap->clip_x1, first, last);
    clip_steps(start[1], step[1], voxmap->clip_y0, voxmap->clip_y1, first, last);
    clip_steps(start[2], step[2], voxmap->clip_z0, voxmap->clip_z1, first, last);
    for (int64_t i = first; i <= last; i++) {
        tamu_putvoxel(voxmap, int((start[0] + i * step[0]) >> 16), int((start[1] + i * step[1]) >> 16),
                      int((start[2] + i * step[2]) >> 16), value);
    }
}

void tamu_draw_voxmap(cvoxmap *voxmap, cbitmap *bitmap, int x, int y, int z) {
    if (!voxmap || !bitmap) return;
    for (int level = std::max(z, 0); level < voxmap->depth; level++)
        tamu_draw_sprite(voxmap->slices[level], bitmap, 0, 0, x, y, voxmap->width, voxmap->height);
}

void tamu_blit_voxmap(cvoxmap *voxmap, cbitmap *bitmap, int x, int y, int z) {
    if (!voxmap || !bitmap) return;
    for (int level = std::max(z, 0); level < voxmap->depth; level++)
        tamu_blit(voxmap->slices[level], bitmap, 0, 0, x, y, voxmap->width, voxmap->height);
}

void tamu_draw_voxmap_matrix(cvoxmap *voxmap, cbitmap *bitmap, const float *matrix) {
    if (!voxmap || !bitmap || !matrix) return;
    float w = voxmap->width * std::fabs(matrix[0]), h = voxmap->height * std::fabs(matrix[4]);
    if (!(w >= 1.0f && h >= 1.0f && w < 65536.0f && h < 65536.0f)) return;
    for (int level = 0; level < voxmap->depth; level++) {
        float at[3], origin[3] = {0.0f, 0.0f, float(level)};
        tamu_apply_matrix(matrix, origin, at);
        if (!(std::fabs(at[0]) < 1e6f && std::fabs(at[1]) < 1e6f)) continue;
        tamu_stretch_blit(voxmap->slices[level], bitmap, int(std::floor(at[0])), int(std::floor(at[1])), int(w),
                          int(h), 1);
    }
}
