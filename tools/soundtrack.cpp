// quillmora-soundtrack: writes the song to a 44100 Hz stereo 16-bit WAV file,
// without a window or a sound device.
//
// The samples are exactly those the sound capture (-ds) streams on descriptor
// 7 after its constant-level pre-roll: every buffer the render routine
// produces, up to and including the first one that publishes the song's end.
// It renders through the same routine, so the two can never drift apart.
//
// usage: quillmora-soundtrack [-o FILE] [--raw] [-q]
//   -o FILE  output path, "-" for standard output (default quillmora-soundtrack.wav)
//   --raw    headerless signed 16-bit little-endian stereo, the -ds format
//   -q       no progress line on standard error
//
// A build-time helper, not part of the show: it collects the whole song in
// memory (about 48 MB) so that the WAV header can go first even on a pipe.
// A file is written under a temporary name beside FILE, created before the
// rendering starts (so a folder it cannot write to is reported at once), and
// renamed to FILE only when complete: a failed or interrupted export leaves
// no file, and an older FILE stays as it was. Exit status 0, 1 when the file
// cannot be written (with the reason), 2 on a bad command line.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "audio/audio_device.h"
#include "audio/sequencer.h"
#include "tools/atomic_file.h"

// The song clock wants a non-zero start tick; the export has no wall clock.
static uint32_t export_ticks() { return 1; }

static void put_u32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

static void put_u16(std::vector<uint8_t> &out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

static std::vector<uint8_t> wav_header(uint32_t data_bytes)
{
    std::vector<uint8_t> h;
    const auto tag = [&](const char *t) { h.insert(h.end(), t, t + 4); };
    tag("RIFF");
    put_u32(h, 36 + data_bytes);
    tag("WAVE");
    tag("fmt ");
    put_u32(h, 16);
    put_u16(h, 1); // PCM
    put_u16(h, 2); // stereo
    put_u32(h, AUDIO_RATE_HZ);
    put_u32(h, AUDIO_RATE_HZ * 4); // bytes per second
    put_u16(h, 4);                 // bytes per frame
    put_u16(h, 16);                // bits per sample
    tag("data");
    put_u32(h, data_bytes);
    return h;
}

static int usage()
{
    fprintf(stderr, "usage: quillmora-soundtrack [-o FILE] [--raw] [-q]\n");
    return 2;
}

int main(int argc, char **argv)
{
    const char *path = "quillmora-soundtrack.wav";
    bool raw = false, quiet = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) path = argv[++i];
        else if (std::strcmp(argv[i], "--raw") == 0) raw = true;
        else if (std::strcmp(argv[i], "-q") == 0) quiet = true;
        else return usage();
    }

    const bool to_stdout = std::strcmp(path, "-") == 0;
    AtomicFile file = {-1, -1};
    if (!to_stdout && atomic_file_open(&file, path) != 0) {
        fprintf(stderr, "quillmora-soundtrack: cannot write %s: %s\n", path, std::strerror(errno));
        return 1;
    }

    sequencer_load_song(quill_song_image);
    audio_tick_source = export_ticks;
    audio_prepare_clock();
    sequencer_start(0);

    // Far beyond the song's length: an order list that never ends is a
    // broken song, not a reason to fill the disk.
    const int max_buffers = 20 * 60 * AUDIO_RATE_HZ / AUDIO_BUFFER_FRAMES;
    std::vector<uint8_t> pcm;
    pcm.reserve(size_t(12100) * AUDIO_BUFFER_BYTES);
    uint8_t buffer[AUDIO_BUFFER_BYTES];
    SongPosition pos = {};
    int shown = -1;
    for (int n = 0;; ++n) {
        if (n == max_buffers) {
            fprintf(stderr, "\nquillmora-soundtrack: the song has not ended after %d buffers\n", n);
            atomic_file_abort(&file);
            return 1;
        }
        const bool preroll = song.preroll_buffers != 0;
        render_audio(nullptr, buffer, AUDIO_BUFFER_BYTES);
        if (preroll) continue;
        pcm.insert(pcm.end(), buffer, buffer + AUDIO_BUFFER_BYTES);
        read_position(&pos);
        const int percent = song.order_count > 0 ? 100 * sequencer.next_order / song.order_count : 100;
        if (!quiet && percent != shown) {
            fprintf(stderr, "\rRendering the soundtrack: %3d%%", percent);
            shown = percent;
        }
        if (pos.playing == 0) break;
    }

    const std::vector<uint8_t> header = raw ? std::vector<uint8_t>() : wav_header(uint32_t(pcm.size()));
    bool ok;
    if (to_stdout) {
        ok = fwrite(header.data(), 1, header.size(), stdout) == header.size();
        ok = ok && fwrite(pcm.data(), 1, pcm.size(), stdout) == pcm.size();
        ok = fflush(stdout) == 0 && ok;
    } else {
        ok = atomic_file_write(&file, header.data(), header.size()) == 0 &&
             atomic_file_write(&file, pcm.data(), pcm.size()) == 0;
        if (!ok) atomic_file_abort(&file);
        ok = ok && atomic_file_commit(&file) == 0;
    }
    if (!ok) {
        fprintf(stderr, "\nquillmora-soundtrack: writing %s failed: %s\n", path, std::strerror(errno));
        return 1;
    }
    if (!quiet)
        fprintf(stderr, "\rRendering the soundtrack: 100%%, %.1f s written to %s\n",
                double(pcm.size() / 4) / AUDIO_RATE_HZ, path);
    return 0;
}
