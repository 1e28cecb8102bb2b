// quillmora-framehash: one hash per frame, so that whole-show frame captures
// (about 17 GB of pixels) can be compared and kept as a few hundred kilobytes.
//
//   quillmora -w -dg 7>&1 >/dev/null | quillmora-framehash > hashes.txt
//   quillmora-framehash --png 100.000.png ...
//
// Reads headerless 800 x 600 RGB frames (bottom row first, as frame capture
// writes them) from standard input and prints "<index> <hash>" per frame,
// index from 0, hash 16 hex digits (see frame_hash below).
// A stream that ends inside a frame is an error. With --png it prints
// "<file> <hash>" for each PNG written by quillmora-shot (top row first),
// hashed in capture order, so a shot's hash equals its captured frame's.
//
// Exit status 0 on success, 1 on a short frame or an unreadable picture.
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/png_write.h"

static constexpr int32_t FRAME_W = 800, FRAME_H = 600;
static constexpr size_t FRAME_BYTES = size_t(FRAME_W) * FRAME_H * 3;

// A 64-bit hash of one frame, eight bytes at a time (a whole show is 17 GB,
// which byte-at-a-time hashing took 20 s of processor time to read; this
// takes 3 s): each little-endian word is spread by an odd multiply and a
// shift, folded in with another odd multiply, and the result is finished with
// splitmix64's mixer. Every step is one-to-one, so two frames that differ in a
// single word always hash differently.
static_assert(FRAME_BYTES % 8 == 0);
static uint64_t frame_hash(const uint8_t *p)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < FRAME_BYTES; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        w *= 0x9e3779b97f4a7c15ull;
        w ^= w >> 32;
        h = (h ^ w) * 0x100000001b3ull;
    }
    h ^= h >> 30;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebull;
    return h ^ (h >> 31);
}

// Reads up to n bytes; returns how many (fewer only at the end of the stream).
static size_t read_up_to(uint8_t *p, size_t n)
{
    size_t got = 0;
    while (got < n) {
        const ssize_t r = read(0, p + got, n - got);
        if (r == 0) break;
        if (r < 0) {
            if (errno == EINTR) continue;
            std::perror("quillmora-framehash: reading standard input");
            return got;
        }
        got += size_t(r);
    }
    return got;
}

static int hash_stream()
{
    static uint8_t frame[FRAME_BYTES];
    for (long index = 0;; ++index) {
        const size_t got = read_up_to(frame, FRAME_BYTES);
        if (got == 0) return 0;
        if (got != FRAME_BYTES) {
            std::fprintf(stderr, "quillmora-framehash: the stream ends %zu bytes into frame %ld\n", got, index);
            return 1;
        }
        std::printf("%ld %016llx\n", index, static_cast<unsigned long long>(frame_hash(frame)));
    }
}

static int hash_pictures(int count, char **paths)
{
    std::vector<uint8_t> top, bottom(FRAME_BYTES);
    const size_t row = size_t(FRAME_W) * 3;
    for (int i = 0; i < count; ++i) {
        int32_t w = 0, h = 0;
        if (png_read_rgb(paths[i], &top, &w, &h) != 0 || w != FRAME_W || h != FRAME_H) {
            std::fprintf(stderr, "quillmora-framehash: %s is not an 800 x 600 RGB picture\n", paths[i]);
            return 1;
        }
        for (int32_t y = 0; y < FRAME_H; ++y)
            std::memcpy(&bottom[size_t(y) * row], &top[size_t(FRAME_H - 1 - y) * row], row);
        std::printf("%s %016llx\n", paths[i], static_cast<unsigned long long>(frame_hash(bottom.data())));
    }
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 1) return hash_stream();
    if (std::strcmp(argv[1], "--png") == 0) return hash_pictures(argc - 2, argv + 2);
    std::fprintf(stderr, "usage: quillmora-framehash < frames  |  quillmora-framehash --png FILE...\n");
    return 2;
}
