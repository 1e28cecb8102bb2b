// Build-time text rasterizer on FreeType.
#include "tools/image_text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

static FT_Library text_library() {
    static FT_Library lib = nullptr;
    if (!lib && FT_Init_FreeType(&lib) != 0) {
        std::fprintf(stderr, "imagegen: FreeType failed to initialise\n");
        std::exit(1);
    }
    return lib;
}

void *text_open_font(const char *path) {
    FT_Face face = nullptr;
    if (FT_New_Face(text_library(), path, 0, &face) != 0) {
        std::fprintf(stderr, "imagegen: cannot read font %s\n", path);
        std::exit(1);
    }
    return face;
}

// Next code point of a UTF-8 string; malformed bytes come through as themselves.
static uint32_t next_code_point(const char **s) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(*s);
    uint32_t c = *p++;
    int extra = 0;
    if (c >= 0xF0) {
        c &= 0x07;
        extra = 3;
    } else if (c >= 0xE0) {
        c &= 0x0F;
        extra = 2;
    } else if (c >= 0xC0) {
        c &= 0x1F;
        extra = 1;
    }
    for (; extra > 0 && (*p & 0xC0) == 0x80; extra--) c = (c << 6) | (*p++ & 0x3F);
    *s = reinterpret_cast<const char *>(p);
    return c;
}

Mask text_render(void *font, const char *text, double pixel_size, const TextStyle &style) {
    FT_Face face = static_cast<FT_Face>(font);
    FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(pixel_size * 64.0)), 72, 72);

    int count = 0;
    for (const char *s = text; *s; next_code_point(&s)) count++;
    int size = static_cast<int>(std::ceil(pixel_size));
    int w = (count + 2) * size * 2 + static_cast<int>(std::fabs(style.shear) * size * 2);
    int h = size * 3;
    int baseline = size * 2;
    Mask m = mask_make(w, h);

    FT_Matrix matrix;
    matrix.xx = 0x10000;
    matrix.xy = static_cast<FT_Fixed>(std::lround(style.shear * 65536.0));
    matrix.yx = 0;
    matrix.yy = 0x10000;
    FT_Int32 flags = FT_LOAD_RENDER | (style.mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_LIGHT);
    long pen = static_cast<long>(size) * 64;  // 26.6 fixed point
    long track = std::lround(style.tracking * pixel_size * 64.0);
    FT_UInt prev = 0;
    for (const char *s = text; *s;) {
        uint32_t cp = next_code_point(&s);
        FT_UInt index = FT_Get_Char_Index(face, cp);
        if (prev && index && FT_HAS_KERNING(face)) {
            FT_Vector k;
            FT_Get_Kerning(face, prev, index, FT_KERNING_UNFITTED, &k);
            pen += k.x;
        }
        FT_Vector delta = {pen & 63, 0};
        FT_Set_Transform(face, &matrix, &delta);
        if (FT_Load_Glyph(face, index, flags) != 0) continue;
        FT_GlyphSlot g = face->glyph;
        const FT_Bitmap &bm = g->bitmap;
        int left = static_cast<int>(pen >> 6) + g->bitmap_left;
        int top = baseline - g->bitmap_top;
        for (unsigned row = 0; row < bm.rows; row++)
            for (unsigned col = 0; col < bm.width; col++) {
                double v;
                const unsigned char *line = bm.buffer + static_cast<long>(row) * bm.pitch;
                if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                    v = (line[col >> 3] & (0x80 >> (col & 7))) ? 1.0 : 0.0;
                else
                    v = line[col] / 255.0;
                int x = left + static_cast<int>(col), y = top + static_cast<int>(row);
                if (x < 0 || y < 0 || x >= w || y >= h) continue;
                double &dst = m.a[static_cast<size_t>(y) * w + x];
                dst = std::min(1.0, dst + v);
            }
        pen += g->advance.x + track;
        prev = index;
    }
    FT_Set_Transform(face, nullptr, nullptr);

    int x0, y0, x1, y1;
    if (!mask_bounds(m, 0.0, &x0, &y0, &x1, &y1)) return mask_make(1, 1);
    Mask out = mask_make(x1 - x0 + 1, y1 - y0 + 1);
    for (int y = 0; y < out.h; y++)
        for (int x = 0; x < out.w; x++) out.a[static_cast<size_t>(y) * out.w + x] = mask_get(m, x + x0, y + y0);
    return out;
}

Mask text_fit(void *font, const char *text, int box_w, int box_h, const TextStyle &style) {
    double size = box_h;
    Mask m = text_render(font, text, size, style);
    // Ink extent grows about linearly with the size; a few corrections settle it.
    for (int i = 0; i < 4; i++) {
        double k = std::min(double(box_w) / m.w, double(box_h) / m.h);
        size *= k;
        m = text_render(font, text, size, style);
    }
    while ((m.w > box_w || m.h > box_h) && size > 2.0) {
        size *= 0.98;
        m = text_render(font, text, size, style);
    }
    // Small sizes snap to whole pixels, so the proportional guess can stop a
    // pixel or two short; creep up while the line still fits.
    for (int i = 0; i < 30; i++) {
        Mask bigger = text_render(font, text, size * 1.02, style);
        if (bigger.w > box_w || bigger.h > box_h) break;
        size *= 1.02;
        m = bigger;
    }
    return m;
}
