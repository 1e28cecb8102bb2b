// songc: compiles the song text (data/song/*.txt) into the binary song image
// that the program embeds.
//
//   songc -o <image.bin> <file.txt>...
//
// The files are read in the order given; the one with the song header comes
// first. Each must be a regular file (a folder or a device is refused). On any
// error it prints "file:line: message" (or "file: message" for a file it
// cannot read), writes nothing and exits with status 1. The image is written
// to a temporary file beside it and renamed into place when complete, so a
// failed or interrupted run never leaves a half-written image, and an older
// image stays as it was.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/atomic_file.h"
#include "tools/song_source.h"

// Reads a whole source file into *text. Returns an empty string, or what is
// wrong with the file.
static std::string read_source(const char *path, std::string *text)
{
    FILE *f = std::fopen(path, "rb");
    if (!f) return std::string("cannot read: ") + std::strerror(errno);
    struct stat st;
    std::string err;
    if (fstat(fileno(f), &st) != 0) err = std::string("cannot read: ") + std::strerror(errno);
    else if (S_ISDIR(st.st_mode)) err = "is a directory, not a song source";
    else if (!S_ISREG(st.st_mode)) err = "is not a regular file";
    char buf[65536];
    size_t n;
    while (err.empty() && (n = std::fread(buf, 1, sizeof buf, f)) > 0) text->append(buf, n);
    if (err.empty() && std::ferror(f)) err = std::string("cannot read: ") + std::strerror(errno);
    std::fclose(f);
    return err;
}

int main(int argc, char **argv)
{
    const char *out_path = nullptr;
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
            out_path = argv[++i];
            continue;
        }
        std::string text;
        const std::string err = read_source(argv[i], &text);
        if (!err.empty()) {
            std::fprintf(stderr, "%s: %s\n", argv[i], err.c_str());
            return 1;
        }
        files.emplace_back(argv[i], text);
    }
    if (!out_path || files.empty()) {
        std::fprintf(stderr, "usage: songc -o <image.bin> <song.txt>...\n");
        return 1;
    }
    std::vector<uint8_t> image;
    try {
        image = song_compile(files);
    } catch (const SongError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    if (atomic_file_write_all(out_path, image.data(), image.size()) != 0) {
        std::fprintf(stderr, "%s: cannot write: %s\n", out_path, std::strerror(errno));
        return 1;
    }
    return 0;
}
