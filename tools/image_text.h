// Build-time text rasterizer for the image generator: FreeType renders a line
// of UTF-8 text into a coverage mask, optionally slanted, letter-spaced or as
// one-bit pixels, and can fit the line into a box. A given font file and
// FreeType version always produce the same coverage.
#pragma once

#include "tools/image_raster.h"

struct TextStyle {
    double shear = 0.0;     // horizontal slant per unit of height (0.2 is a mild italic)
    double tracking = 0.0;  // extra letter spacing in ems
    bool mono = false;      // one-bit glyphs without anti-aliasing
};

// Opens a font file; prints a message naming the file and exits with status 1
// when FreeType cannot read it. Handles stay open until the process ends.
void *text_open_font(const char *path);
// The inked part of the line at the given pixel size, cropped to its ink.
Mask text_render(void *font, const char *text, double pixel_size, const TextStyle &style);
// The largest rendering of the line whose ink fits box_w x box_h.
Mask text_fit(void *font, const char *text, int box_w, int box_h, const TextStyle &style);
