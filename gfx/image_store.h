// The embedded image store: every bitmap the show uses is compiled in as a
// raw RGB array (3 bytes per pixel, rows bottom first, widths multiples of 4).
// A lookup routine maps a text key to an array; the two upload routines turn
// a key into a rectangle texture or a mipmapped 2-D texture, always through
// the ImageDecoder pointer that the precalculation sets.
//
// Main thread only, during precalculation. Never allocates; the arrays are
// read-only and live for the whole run.
#pragma once

#include <cstdint>

// Returns 0 and fills the outputs for a known key (exact, case-sensitive
// match); returns 1 for any other key and writes nothing.
using ImageLookupFn = int (*)(const uint8_t **pixels_out, int32_t *width_out, int32_t *height_out,
                              int32_t *stride_out, const char *key);

// Null until the precalculation stores builtin_image_lookup in it.
extern ImageLookupFn ImageDecoder;

int builtin_image_lookup(const uint8_t **pixels_out, int32_t *width_out, int32_t *height_out,
                         int32_t *stride_out, const char *key);

// Binds texture to GL_TEXTURE_RECTANGLE, defines level 0 from the keyed image
// (RGB), sets linear minification and reports the size. Exits with status 2
// and no message when the pointer is null or the key unknown.
void upload_rect_image(uint32_t texture, const char *key, int32_t *width_out, int32_t *height_out);
// Binds texture to GL_TEXTURE_2D and builds the full mipmap chain with
// gluBuild2DMipmaps; sets no filter or wrap. Same failure rule.
void upload_mipmapped_image(uint32_t texture, const char *key);

// The 656 x 194 title logo, RGB, first stored row at the top of the picture.
inline constexpr int32_t TITLE_LOGO_WIDTH = 656;
inline constexpr int32_t TITLE_LOGO_HEIGHT = 194;
extern "C" const unsigned char quill_title_logo[];

// Unkeyed pictures that their scenes read directly: raw RGB, 3 bytes per
// pixel, first stored row at the bottom (texture row 0), no header.
inline constexpr int32_t REEL_IMAGE_SIZE = 128;        // spoked reel disc on black
extern "C" const unsigned char quill_reel_image[];
inline constexpr int32_t FLOWER_IMAGE_SIZE = 64;       // white flower, yellow centre, on black
extern "C" const unsigned char quill_flower_image[];
inline constexpr int32_t CORNER_MASK_SIZE = 64;        // soft dark shape with a bumpy edge on white
extern "C" const unsigned char quill_corner_mask_image[];
inline constexpr int32_t SUBTITLE_IMAGE_WIDTH = 336;   // one line of white text on black
inline constexpr int32_t SUBTITLE_IMAGE_HEIGHT = 16;
extern "C" const unsigned char quill_subtitle_image[];
inline constexpr int32_t SIGNATURE_IMAGE_WIDTH = 256;  // eight 32 x 28 character cells, white on black
inline constexpr int32_t SIGNATURE_IMAGE_HEIGHT = 28;
extern "C" const unsigned char quill_signature_image[];

// The tunnel's relief: 128 x 128 grey texels (three equal bytes, 0..173),
// immediately followed by the text of the bump-lighting fragment program.
inline constexpr int32_t HEIGHT_IMAGE_SIZE = 128;
inline constexpr int32_t BUMP_PROGRAM_LENGTH = 1238;
extern "C" const unsigned char quill_height_image[];
inline const char *bump_program_text()
{
    return reinterpret_cast<const char *>(quill_height_image) + HEIGHT_IMAGE_SIZE * HEIGHT_IMAGE_SIZE * 3;
}
