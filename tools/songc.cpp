// songc: compiles the song text (data/song/*.txt) into the binary song image
// that the program embeds.
//
//   songc -o <image.bin> <file.txt>...
//
// The files are read in the order given; the one with the song header comes
// first. On any error it prints "file:line: message", writes nothing and exits
// with status 1. The image is written to a temporary name and renamed into
// place, so a failed or interrupted run never leaves a half-written image.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tools/song_source.h"

int main(int argc, char **argv)
{
    std::string out_path;
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-o" && i + 1 < argc) {
            out_path = argv[++i];
            continue;
        }
        std::ifstream in(arg, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "%s: cannot read\n", arg.c_str());
            return 1;
        }
        std::ostringstream text;
        text << in.rdbuf();
        files.emplace_back(arg, text.str());
    }
    if (out_path.empty() || files.empty()) {
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
    const std::string tmp = out_path + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "%s: cannot write\n", tmp.c_str());
        return 1;
    }
    const bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    if (std::fclose(f) != 0 || !ok || std::rename(tmp.c_str(), out_path.c_str()) != 0) {
        std::fprintf(stderr, "%s: write failed\n", out_path.c_str());
        std::remove(tmp.c_str());
        return 1;
    }
    return 0;
}
