// The title frame worked out on the CPU from the image arrays: white, then
// each picture pasted texel for pixel with its opacity. Used to check the
// title scene and the frame-shot tool against pictures that do not come from
// GL. Only whole-pixel slide offsets are modelled.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "gfx/image_store.h"

inline constexpr int32_t PIC_W = 800, PIC_H = 600;

// Window pixels, RGB, bottom row first (glReadPixels order), as floats.
struct Picture {
    std::vector<float> px = std::vector<float>(size_t(PIC_W) * PIC_H * 3, 255.0f);
    float *at(int x, int y) { return &px[(size_t(y) * PIC_W + x) * 3]; }
};

struct SourceImage {
    const uint8_t *px;
    int32_t w, h;
    bool top_first;
};

inline SourceImage title_logo_image() { return {quill_title_logo, TITLE_LOGO_WIDTH, TITLE_LOGO_HEIGHT, true}; }

inline SourceImage store_image(const char *key)
{
    SourceImage s = {nullptr, 0, 0, false};
    int32_t stride = 0;
    if (builtin_image_lookup(&s.px, &s.w, &s.h, &stride, key) != 0) abort();
    return s;
}

// Pastes img with its bottom-left corner at window pixel (x0, y0).
inline void paste(Picture *pic, const SourceImage &img, int x0, int y0, double alpha)
{
    for (int r = 0; r < img.h; ++r) {
        const int y = y0 + r;
        if (y < 0 || y >= PIC_H) continue;
        const int src_row = img.top_first ? img.h - 1 - r : r;
        for (int c = 0; c < img.w; ++c) {
            const int x = x0 + c;
            if (x < 0 || x >= PIC_W) continue;
            const uint8_t *s = img.px + (size_t(src_row) * img.w + c) * 3;
            float *d = pic->at(x, y);
            for (int k = 0; k < 3; ++k) d[k] = float(alpha * s[k] + (1.0 - alpha) * d[k]);
        }
    }
}

// Slide offsets of the title are 400 (1 - b)(1 - 2b) with b = knob / 127.
inline int title_offset(double knob)
{
    const double b = knob / 127.0;
    return int(400.0 * (1.0 - b) * (1.0 - 2.0 * b));
}

// The title with knob0..knob2 (no flash).
inline Picture expected_title(double k0, double k1, double k2)
{
    Picture pic;
    const SourceImage logo = title_logo_image();
    const SourceImage gifts = store_image("ozklogo_presents");
    const SourceImage caption = store_image("ozklogo_subtitle");
    paste(&pic, logo, PIC_W / 2 - logo.w / 2 - title_offset(k0), PIC_H / 2 - 12, k0 / 127.0);
    paste(&pic, gifts, PIC_W / 2 + title_offset(k1) - gifts.w / 2, PIC_H / 2 - 85 - gifts.h / 2, k1 / 127.0);
    paste(&pic, caption, PIC_W / 2 - caption.w / 2, PIC_H / 2 - 190 - caption.h / 2, k2 / 127.0);
    return pic;
}

struct PictureDiff {
    int64_t pixels_off; // pixels with a channel off by more than the tolerance
    int max_diff;
};

// got: RGB bytes, bottom row first.
inline PictureDiff compare_picture(const uint8_t *got, Picture &want, int tolerance)
{
    PictureDiff d = {0, 0};
    for (int y = 0; y < PIC_H; ++y)
        for (int x = 0; x < PIC_W; ++x) {
            const uint8_t *g = got + (size_t(y) * PIC_W + x) * 3;
            const float *w = want.at(x, y);
            bool off = false;
            for (int k = 0; k < 3; ++k) {
                const int diff = std::abs(int(g[k]) - int(w[k] + 0.5f));
                if (diff > d.max_diff) d.max_diff = diff;
                off = off || diff > tolerance;
            }
            d.pixels_off += off;
        }
    return d;
}

// How many pixels of the picture are not white: a picture that is all white
// would make any position check pass.
inline int64_t non_white_pixels(Picture &pic)
{
    int64_t n = 0;
    for (int y = 0; y < PIC_H; ++y)
        for (int x = 0; x < PIC_W; ++x) {
            const float *p = pic.at(x, y);
            n += p[0] < 250 || p[1] < 250 || p[2] < 250;
        }
    return n;
}
