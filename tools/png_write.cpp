// PNG writing and reading for the tools (see png_write.h).
#include "tools/png_write.h"

#include "tools/atomic_file.h"

#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static void put_u32(std::vector<uint8_t> *out, uint32_t v)
{
    out->push_back(uint8_t(v >> 24));
    out->push_back(uint8_t(v >> 16));
    out->push_back(uint8_t(v >> 8));
    out->push_back(uint8_t(v));
}

static uint32_t get_u32(const uint8_t *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

static void put_chunk(std::vector<uint8_t> *out, const char type[4], const uint8_t *data, size_t n)
{
    put_u32(out, uint32_t(n));
    const size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    out->insert(out->end(), data, data + n);
    const uint32_t crc = uint32_t(crc32(0, out->data() + start, uInt(n + 4)));
    put_u32(out, crc);
}

static const uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

int png_write_rgb(const char *path, const uint8_t *rgb, int32_t w, int32_t h, const char *comment)
{
    // Every row but the first uses the "up" filter: smooth pictures compress
    // noticeably better, and screen shots lose nothing.
    const size_t row_bytes = size_t(w) * 3;
    std::vector<uint8_t> raw((row_bytes + 1) * size_t(h));
    for (int32_t y = 0; y < h; ++y) {
        uint8_t *out = &raw[y * (row_bytes + 1)];
        const uint8_t *cur = rgb + y * row_bytes;
        out[0] = y == 0 ? 0 : 2;
        for (size_t i = 0; i < row_bytes; ++i) out[1 + i] = uint8_t(cur[i] - (y == 0 ? 0 : cur[i - row_bytes]));
    }
    uLongf packed_size = compressBound(uLong(raw.size()));
    std::vector<uint8_t> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), uLong(raw.size()), 9) != Z_OK) {
        errno = ENOMEM;
        return -1;
    }

    std::vector<uint8_t> file(PNG_SIGNATURE, PNG_SIGNATURE + 8);
    std::vector<uint8_t> ihdr;
    put_u32(&ihdr, uint32_t(w));
    put_u32(&ihdr, uint32_t(h));
    const uint8_t rest[5] = {8, 2, 0, 0, 0}; // 8 bits, RGB, deflate, filter set 0, no interlace
    ihdr.insert(ihdr.end(), rest, rest + 5);
    put_chunk(&file, "IHDR", ihdr.data(), ihdr.size());
    if (comment) {
        static const char keyword[] = "Comment"; // keyword, a NUL, then the text
        std::vector<uint8_t> text(keyword, keyword + sizeof keyword);
        text.insert(text.end(), comment, comment + std::strlen(comment));
        put_chunk(&file, "tEXt", text.data(), text.size());
    }
    put_chunk(&file, "IDAT", packed.data(), packed_size);
    put_chunk(&file, "IEND", nullptr, 0);

    return atomic_file_write_all(path, file.data(), file.size());
}

static int paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

int png_read_rgb(const char *path, std::vector<uint8_t> *rgb, int32_t *w_out, int32_t *h_out)
{
    FILE *f = fopen(path, "rb");
    if (!f) return -1;
    std::vector<uint8_t> file;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) file.insert(file.end(), buf, buf + n);
    fclose(f);
    if (file.size() < 8 || std::memcmp(file.data(), PNG_SIGNATURE, 8) != 0) return -1;

    uint32_t w = 0, h = 0;
    int channels = 0;
    std::vector<uint8_t> packed;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t len = get_u32(&file[at]);
        if (len > file.size() - at - 12) return -1;
        const uint8_t *type = &file[at + 4];
        const uint8_t *data = &file[at + 8];
        if (std::memcmp(type, "IHDR", 4) == 0) {
            if (len < 13) return -1;
            w = get_u32(data);
            h = get_u32(data + 4);
            if (data[8] != 8 || data[12] != 0) return -1;       // 8 bits, not interlaced
            channels = data[9] == 2 ? 3 : data[9] == 6 ? 4 : 0; // RGB or RGBA only
            if (channels == 0 || w == 0 || h == 0 || w > 16384 || h > 16384) return -1;
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            packed.insert(packed.end(), data, data + len);
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            break;
        }
        at += 12 + size_t(len);
    }
    if (channels == 0) return -1;

    const size_t stride = size_t(w) * channels;
    std::vector<uint8_t> raw((stride + 1) * h);
    uLongf raw_size = uLongf(raw.size());
    if (uncompress(raw.data(), &raw_size, packed.data(), uLong(packed.size())) != Z_OK || raw_size != raw.size())
        return -1;

    std::vector<uint8_t> pix(stride * h);
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t filter = raw[y * (stride + 1)];
        const uint8_t *src = &raw[y * (stride + 1) + 1];
        uint8_t *dst = &pix[y * stride];
        const uint8_t *up = y > 0 ? &pix[(y - 1) * stride] : nullptr;
        for (size_t i = 0; i < stride; ++i) {
            const int a = i >= size_t(channels) ? dst[i - channels] : 0;
            const int b = up ? up[i] : 0;
            const int c = (up && i >= size_t(channels)) ? up[i - channels] : 0;
            int pred = 0;
            switch (filter) {
            case 0: pred = 0; break;
            case 1: pred = a; break;
            case 2: pred = b; break;
            case 3: pred = (a + b) / 2; break;
            case 4: pred = paeth(a, b, c); break;
            default: return -1;
            }
            dst[i] = uint8_t(src[i] + pred);
        }
    }
    rgb->resize(size_t(w) * h * 3);
    for (size_t p = 0; p < size_t(w) * h; ++p)
        for (int k = 0; k < 3; ++k) (*rgb)[p * 3 + k] = pix[p * channels + k];
    *w_out = int32_t(w);
    *h_out = int32_t(h);
    return 0;
}
