// Minimal PNG writer on zlib.
#include "tools/image_png.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <vector>

static void put_u32(std::vector<uint8_t> &out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

static void put_chunk(std::vector<uint8_t> &out, const char *type, const std::vector<uint8_t> &data) {
    put_u32(out, static_cast<uint32_t>(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start));
    put_u32(out, static_cast<uint32_t>(crc));
}

bool png_write_rgb(const char *path, int width, int height, const uint8_t *rgb, const char *comment) {
    // Every row uses the "up" filter: smooth pictures compress noticeably better.
    size_t row = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> raw;
    raw.reserve((row + 1) * height);
    for (int y = 0; y < height; y++) {
        const uint8_t *cur = rgb + row * y;
        raw.push_back(y == 0 ? 0 : 2);
        for (size_t i = 0; i < row; i++)
            raw.push_back(static_cast<uint8_t>(cur[i] - (y == 0 ? 0 : cur[i - row])));
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
        return false;
    packed.resize(packed_size);

    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    put_u32(ihdr, static_cast<uint32_t>(width));
    put_u32(ihdr, static_cast<uint32_t>(height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8 bits, truecolour, deflate, adaptive, no interlace
    put_chunk(file, "IHDR", ihdr);
    if (comment) {
        static const char keyword[] = "Comment";  // keyword, a NUL, then the text
        std::vector<uint8_t> text(keyword, keyword + sizeof keyword);
        text.insert(text.end(), comment, comment + std::strlen(comment));
        put_chunk(file, "tEXt", text);
    }
    put_chunk(file, "IDAT", packed);
    put_chunk(file, "IEND", {});

    FILE *f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return std::fclose(f) == 0 && ok;
}
