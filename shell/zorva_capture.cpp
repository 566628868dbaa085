// Screenshots and GIF recordings on the desktop folder.
#include "zorva_capture.h"

#include "tamu.h"
#include "zorva_app.h"
#include "zorva_splore.h"
#include "zorva_state.h"

#include <gif_lib.h>
#include <lz4.h>
#include <lz4hc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

cbitmap *video_clip[VIDEO_CLIP_MAX];
int video_clip_frames = 0;
int video_clip_index = 0;

namespace {

constexpr int FRAME_SIDE = 128;
// Numbers tried for a new capture file before giving up.
constexpr int MAX_FILE_NUMBER = 1000000;
// Colour 0 is written through this palette entry: the PNG writer makes
// entry 0 transparent.
constexpr uint8_t SCREENSHOT_BLACK = 16;
// The graphic control block of a GIF frame: disposal 2, the delay in
// hundredths of a second in bytes 1 and 2, no transparent colour.
constexpr GifByteType FRAME_DISPOSAL = 8;
// The application block that makes a GIF loop forever.
const char loop_application[] = "NETSCAPE2.0";
const GifByteType loop_forever[3] = {1, 0, 0};

char output_base[ZORVA_PATH_SIZE];

int clamp_scale(int scale) { return scale < 1 ? 1 : scale > CAPTURE_MAX_SCALE ? CAPTURE_MAX_SCALE : scale; }

bool ends_with(const char *text, const char *tail) {
    size_t n = std::strlen(text), m = std::strlen(tail);
    return n >= m && std::strcmp(text + n - m, tail) == 0;
}

// The first desktop path of the form (base name, number) that names no
// file. 0, or 1 when no such path can be made.
int choose_capture_path(const char *format, char *path) {
    const char *base = get_output_file_name_base();
    for (int n = 0; n < MAX_FILE_NUMBER; n++) {
        char name[ZORVA_PATH_SIZE + 32];
        std::snprintf(name, sizeof name, format, base, n);
        if (tamu_prefix_with_desktop_path(name, path) != 0) return 1;
        if (!tamu_file_exists(path)) return 0;
    }
    return 1;
}

int clip_length() {
    int64_t frames = int64_t(app.gif_length) * VIDEO_FRAMES_PER_SECOND;
    if (frames < VIDEO_FRAMES_PER_SECOND) frames = VIDEO_FRAMES_PER_SECOND;
    if (frames > VIDEO_CLIP_MAX) frames = VIDEO_CLIP_MAX;
    return int(frames);
}

bool make_video_clip() {
    int frames = clip_length();
    for (int i = 0; i < frames; i++) {
        video_clip[i] = tamu_create_bitmap(FRAME_SIDE, FRAME_SIDE, 8);
        if (!video_clip[i]) {
            release_video_clip();
            return false;
        }
    }
    video_clip_frames = frames;
    video_clip_index = 0;
    return true;
}

// ---------------------------------------------------------------------------
// Writing a GIF through a save handle

int write_to_save_handle(GifFileType *gif, const GifByteType *bytes, int length) {
    return tamu_fwrite(bytes, 1, length, static_cast<cfile *>(gif->UserData));
}

bool clip_uses_high_colours() {
    for (int i = 0; i < video_clip_index; i++) {
        const cbitmap *frame = video_clip[i];
        for (int y = 0; y < frame->height; y++)
            for (int x = 0; x < frame->width; x++)
                if (frame->rows[y][x] > 15) return true;
    }
    return false;
}

// The first colours entries of the display palette.
ColorMapObject *gif_colour_map(int colours) {
    std::vector<GifColorType> entries(static_cast<size_t>(colours));
    for (int i = 0; i < colours; i++) {
        if (tamu_palette) {
            entries[size_t(i)].Red = tamu_palette->rgb[3 * i];
            entries[size_t(i)].Green = tamu_palette->rgb[3 * i + 1];
            entries[size_t(i)].Blue = tamu_palette->rgb[3 * i + 2];
        } else {
            entries[size_t(i)].Red = entries[size_t(i)].Green = entries[size_t(i)].Blue = GifByteType(i);
        }
    }
    return GifMakeMapObject(colours, entries.data());
}

bool put_loop_extension(GifFileType *gif) {
    return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
           EGifPutExtensionBlock(gif, int(std::strlen(loop_application)), loop_application) == GIF_OK &&
           EGifPutExtensionBlock(gif, int(sizeof loop_forever), loop_forever) == GIF_OK &&
           EGifPutExtensionTrailer(gif) == GIF_OK;
}

// The delay of recorded frame number i in hundredths of a second: frames
// come VIDEO_FRAMES_PER_SECOND a second, and the delays add up to the time
// they were shown (3, 3, 4, 3, 3, 4, ... at 30 a second).
int frame_delay(int i) {
    return (i + 1) * 100 / VIDEO_FRAMES_PER_SECOND - i * 100 / VIDEO_FRAMES_PER_SECOND;
}

// Recorded frame number i, each pixel scale x scale, its values taken
// modulo the colour count.
bool put_frame(GifFileType *gif, const cbitmap *frame, int i, int scale, int colours) {
    int side = FRAME_SIDE * scale;
    if (i == 0 && !put_loop_extension(gif)) return false;
    int delay = frame_delay(i);
    const GifByteType frame_control[4] = {FRAME_DISPOSAL, GifByteType(delay & 255), GifByteType(delay >> 8), 0};
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(sizeof frame_control), frame_control) != GIF_OK)
        return false;
    if (EGifPutImageDesc(gif, 0, 0, side, side, false, nullptr) != GIF_OK) return false;
    std::vector<GifPixelType> line(static_cast<size_t>(side));
    for (int y = 0; y < side; y++) {
        const uint8_t *row = frame->rows[y / scale];
        for (int x = 0; x < side; x++) line[size_t(x)] = GifPixelType(row[x / scale] % colours);
        if (EGifPutLine(gif, line.data(), side) != GIF_OK) return false;
    }
    return true;
}

bool put_gif(GifFileType *gif) {
    int scale = clamp_scale(app.gif_scale);
    int side = FRAME_SIDE * scale;
    int colours = clip_uses_high_colours() ? 256 : 16;
    ColorMapObject *map = gif_colour_map(colours);
    if (!map) return false;
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, side, side, colours == 256 ? 8 : 4, 0, map) == GIF_OK;
    GifFreeMapObject(map);
    for (int i = 0; ok && i < video_clip_index; i++) ok = put_frame(gif, video_clip[i], i, scale, colours);
    return ok;
}

}  // namespace

const char *get_output_file_name_base() {
    output_base[0] = 0;
    if (pstate.cart_id[0] && pstate.running) {
        std::snprintf(output_base, sizeof output_base, "%s", running_item.title);
        // The title comes from the forum: it must not name folders (nor
        // hold what file names cannot).
        for (char *p = output_base; *p; p++)
            if (std::strchr("/\\:*?\"<>|", *p)) *p = '_';
    } else {
        tamu_split_filename(pstate.working_file_name, nullptr, output_base, nullptr);
        // "name.zv.png" keeps ".zv" after the split.
        if (ends_with(output_base, ".zv")) output_base[std::strlen(output_base) - 3] = 0;
    }
    if (!output_base[0]) std::snprintf(output_base, sizeof output_base, "ZORVA");
    return output_base;
}

int save_png_screenshot(cbitmap *bitmap, char *saved_path) {
    if (saved_path) saved_path[0] = 0;
    if (!bitmap || bitmap->bpp != 8) return 1;
    char path[ZORVA_PATH_SIZE];
    if (choose_capture_path("%s_%03d.png", path) != 0) return 1;
    int scale = clamp_scale(app.screenshot_scale);
    cbitmap *picture = tamu_create_bitmap(bitmap->width * scale, bitmap->height * scale, 8);
    if (!picture) return 1;
    tamu_stretch_blit(bitmap, picture, 0, 0, picture->width, picture->height, 0);
    for (int y = 0; y < picture->height; y++)
        for (int x = 0; x < picture->width; x++)
            if (picture->rows[y][x] == 0) picture->rows[y][x] = SCREENSHOT_BLACK;
    tamu_debugf("saving screenshot to: %s\n", path);
    unsigned error = tamu_save_png(path, picture);
    tamu_destroy_bitmap(picture);
    if (error != 0 || !tamu_file_exists(path)) return 1;
    if (saved_path) std::snprintf(saved_path, ZORVA_PATH_SIZE, "%s", path);
    return 0;
}

void record_video_frame(cbitmap *bitmap) {
    if (!bitmap) return;
    if (!video_clip_frames && !make_video_clip()) return;
    if (video_clip_index == video_clip_frames) {
        // Full: the oldest frame's bitmap moves to the end and takes the
        // new frame.
        cbitmap *oldest = video_clip[0];
        std::memmove(video_clip, video_clip + 1, sizeof video_clip[0] * size_t(video_clip_frames - 1));
        video_clip[video_clip_frames - 1] = oldest;
        video_clip_index--;
    }
    tamu_blit(bitmap, video_clip[video_clip_index], 0, 0, 0, 0, FRAME_SIDE, FRAME_SIDE);
    video_clip_index++;
}

void reset_video() { video_clip_index = 0; }

void release_video_clip() {
    for (cbitmap *&frame : video_clip) {
        tamu_destroy_bitmap(frame);
        frame = nullptr;
    }
    video_clip_frames = 0;
    video_clip_index = 0;
}

int save_gif(char *saved_path) {
    if (saved_path) saved_path[0] = 0;
    char path[ZORVA_PATH_SIZE];
    if (choose_capture_path("%s_%d.gif", path) != 0) return 1;
    cfile *file = tamu_fopen_save(path);
    if (!file) return 1;
    int error = 0;
    GifFileType *gif = EGifOpen(file, write_to_save_handle, &error);
    if (!gif) {
        tamu_abort_save(file);
        return 1;
    }
    tamu_debugf("saving video to: %s\n", path);
    bool ok = put_gif(gif);
    // Closing writes the trailer and frees the writer either way.
    if (EGifCloseFile(gif, &error) != GIF_OK) ok = false;
    if (!ok) {
        tamu_abort_save(file);
        return 2;
    }
    if (tamu_fclose_save(file) != 0) return 3;
    if (saved_path) std::snprintf(saved_path, ZORVA_PATH_SIZE, "%s", path);
    return 0;
}

// ---------------------------------------------------------------------------
// Studying the clip: frames as small pictures, and how well screens pack

namespace {

constexpr int VIDEO_OUT_SIDE = FRAME_SIDE / 2;

// One channel (shifted down by shift) of the average of four colours.
uint32_t average_channel(const uint32_t *c, int shift) {
    uint32_t sum = 0;
    for (int i = 0; i < 4; i++) sum += c[i] >> shift & 0xFF;
    return (sum / 4) << shift;
}

// The frame through the display palette, each 2 x 2 block averaged.
void reduce_frame(cbitmap *frame, cbitmap *colours, cbitmap *out) {
    tamu_blit(frame, colours, 0, 0, 0, 0, FRAME_SIDE, FRAME_SIDE);
    for (int y = 0; y < VIDEO_OUT_SIDE; y++) {
        const uint32_t *top = reinterpret_cast<const uint32_t *>(colours->rows[2 * y]);
        const uint32_t *bottom = reinterpret_cast<const uint32_t *>(colours->rows[2 * y + 1]);
        uint32_t *row = reinterpret_cast<uint32_t *>(out->rows[y]);
        for (int x = 0; x < VIDEO_OUT_SIDE; x++) {
            const uint32_t block[4] = {top[2 * x], top[2 * x + 1], bottom[2 * x], bottom[2 * x + 1]};
            row[x] = 0xFF000000u | average_channel(block, 16) | average_channel(block, 8) | average_channel(block, 0);
        }
    }
}

// The screen of the last record_stream call.
std::vector<uint8_t> stream_previous;

}  // namespace

int save_video() {
    char folder[ZORVA_PATH_SIZE];
    if (tamu_prefix_with_appdata_path("vidout", folder) != 0) return 1;
    tamu_mkdir(folder);
    cbitmap *colours = tamu_create_bitmap(FRAME_SIDE, FRAME_SIDE, 32);
    cbitmap *out = tamu_create_bitmap(VIDEO_OUT_SIDE, VIDEO_OUT_SIDE, 32);
    int result = colours && out ? 0 : 1;
    for (int i = 0; result == 0 && i < video_clip_index; i++) {
        char name[64], path[ZORVA_PATH_SIZE];
        std::snprintf(name, sizeof name, "vidout/frame%03d.tga", i);
        reduce_frame(video_clip[i], colours, out);
        if (tamu_prefix_with_appdata_path(name, path) != 0 || tamu_save_tga(path, out) != 0) result = 1;
    }
    tamu_destroy_bitmap(colours);
    tamu_destroy_bitmap(out);
    return result;
}

int rle_compress(const uint8_t *bytes, int count, uint8_t *out) {
    int written = 0;
    for (int i = 0; i < count;) {
        const uint8_t value = bytes[i];
        int run = 1;
        while (run < RLE_MAX_RUN && i + run < count && bytes[i + run] == value) run++;
        if (run >= 128) {
            const int rest = run - 127;
            out[written++] = uint8_t(128 + (rest >> 8));
            out[written++] = uint8_t(rest & 0xFF);
        } else {
            out[written++] = uint8_t(run);
        }
        out[written++] = value;
        i += run;
    }
    return written;
}

void record_stream(const cbitmap *screen) {
    if (!screen || screen->bpp != 8) return;
    const int n = screen->width * screen->height;
    std::vector<uint8_t> pixels(static_cast<size_t>(n));
    for (int y = 0; y < screen->height; y++)
        std::memcpy(pixels.data() + size_t(y) * size_t(screen->width), screen->rows[y], size_t(screen->width));
    if (stream_previous.size() != pixels.size()) stream_previous.assign(pixels.size(), 0);

    const int bound = std::max(LZ4_compressBound(n), rle_compress_bound(n));
    std::vector<char> packed(static_cast<size_t>(bound));
    auto *rle_out = reinterpret_cast<uint8_t *>(packed.data());
    const char *source = reinterpret_cast<const char *>(pixels.data());
    const int lz4 = LZ4_compress_default(source, packed.data(), n, bound);
    const int lz4hc = LZ4_compress_HC(source, packed.data(), n, bound, LZ4HC_CLEVEL_DEFAULT);
    const int rle = rle_compress(pixels.data(), n, rle_out);
    for (size_t i = 0; i < pixels.size(); i++) stream_previous[i] = uint8_t(pixels[i] - stream_previous[i]);
    const int delta = rle_compress(stream_previous.data(), n, rle_out);
    stream_previous = std::move(pixels);
    std::printf("stream: %d bytes, lz4 %d, lz4hc %d, rle %d, delta %d\n", n, lz4, lz4hc, rle, delta);
}
