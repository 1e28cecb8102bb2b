// Minimal PNG files for the frame-shot tool, the contact sheet and their
// tests: 8-bit RGB, no interlace. Writing uses the "up" filter and zlib;
// reading accepts every filter type, so it also reads other programs' files.
//
// Build-time and tool code: allocates freely, never used while the show runs.
#pragma once

#include <cstdint>
#include <vector>

// Writes w x h RGB pixels (3 bytes each, rows packed, first row at the top of
// the picture) to path. A non-null comment (Latin-1 text) is stored as a
// "Comment" text chunk. The file appears whole or not at all: it is written
// under a temporary name and renamed into place (tools/atomic_file.h).
// Returns 0, or -1 with errno set when the file cannot be written.
int png_write_rgb(const char *path, const uint8_t *rgb, int32_t w, int32_t h, const char *comment = nullptr);

// Reads an 8-bit RGB or RGBA PNG into rgb (3 bytes per pixel, top row first;
// alpha dropped). Returns 0, or -1 for a missing, damaged or unsupported file.
int png_read_rgb(const char *path, std::vector<uint8_t> *rgb, int32_t *w, int32_t *h);
