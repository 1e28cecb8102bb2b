// Minimal PNG writer (8-bit RGB, zlib-compressed, no filtering choice beyond
// "up") for build-time previews such as the contact sheet.
#pragma once

#include <cstdint>

// rgb holds height rows of 3 * width bytes, the first row at the top. A
// non-null comment (Latin-1 text) is stored as a "Comment" text chunk before
// the pixels. Returns false when the file cannot be written.
bool png_write_rgb(const char *path, int width, int height, const uint8_t *rgb, const char *comment = nullptr);
