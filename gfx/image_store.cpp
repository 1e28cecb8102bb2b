// The embedded image store: key lookup over the generated image blob and the
// two texture upload routines.
//
// The pixels come from tools/imagegen, which paints data/images/images.txt at
// build time into one blob (a 128-byte origin line, then every keyed picture on
// a 16-byte boundary) and a table of {key, width, height, offset} in lookup
// order. Nothing here decodes or copies: the lookup hands out pointers into
// the read-only blob.
#include "gfx/image_store.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <cstdlib>
#include <cstring>
#include <iterator>

extern "C" const unsigned char quill_image_blob[];

namespace {

struct ImageEntry {
    const char *key;
    int32_t width, height;
    uint32_t offset;  // bytes from the start of the blob
};

constexpr ImageEntry IMAGE_TABLE[] = {
#include "images/image_table.inc"
};

inline constexpr size_t IMAGE_STORE_KEYS = 23;
static_assert(std::size(IMAGE_TABLE) == IMAGE_STORE_KEYS, "the recipes must define every keyed image");

// Width a multiple of 4 keeps every row 4-byte aligned for GL's default unpack alignment.
constexpr bool widths_are_aligned() {
    for (const ImageEntry &e : IMAGE_TABLE)
        if (e.width <= 0 || e.height <= 0 || e.width % 4 != 0) return false;
    return true;
}
static_assert(widths_are_aligned(), "image widths must be positive multiples of 4");

// Looks the key up through the registered routine; ends the process with
// status 2 (and no message) when there is no routine or no such key.
const uint8_t *lookup_or_exit(const char *key, int32_t *width, int32_t *height) {
    const uint8_t *pixels = nullptr;
    int32_t stride = 0;
    if (!ImageDecoder || ImageDecoder(&pixels, width, height, &stride, key) != 0) std::exit(2);
    return pixels;
}

}  // namespace

ImageLookupFn ImageDecoder = nullptr;

int builtin_image_lookup(const uint8_t **pixels_out, int32_t *width_out, int32_t *height_out, int32_t *stride_out,
                         const char *key) {
    if (!key) return 1;
    for (const ImageEntry &e : IMAGE_TABLE) {
        // strcmp is exact byte equality up to and including the terminating NUL.
        if (std::strcmp(e.key, key) != 0) continue;
        *pixels_out = quill_image_blob + e.offset;
        *width_out = e.width;
        *height_out = e.height;
        *stride_out = 3 * e.width;
        return 0;
    }
    return 1;
}

void upload_rect_image(uint32_t texture, const char *key, int32_t *width_out, int32_t *height_out) {
    glBindTexture(GL_TEXTURE_RECTANGLE, texture);
    int32_t w = 0, h = 0;
    const uint8_t *pixels = lookup_or_exit(key, &w, &h);
    glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGB, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    *width_out = w;
    *height_out = h;
}

void upload_mipmapped_image(uint32_t texture, const char *key) {
    glBindTexture(GL_TEXTURE_2D, texture);
    int32_t w = 0, h = 0;
    const uint8_t *pixels = lookup_or_exit(key, &w, &h);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, w, h, GL_RGB, GL_UNSIGNED_BYTE, pixels);
}
