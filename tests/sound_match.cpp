// sound_match: compares what a sound server recorded of the live show with
// the soundtrack export, for the live-sound test.
//
//   sound_match EXPORT.raw RECORDING.raw MIN_SECONDS
//
// Both files are headerless signed 16-bit little-endian stereo at 44100 Hz:
// EXPORT is the song as quillmora-soundtrack --raw writes it, RECORDING what
// the server's monitor gave (silence, then the pre-roll, then the song, cut
// off wherever the recording stopped). The song is found in the recording
// once, by an exact match of a stretch of the export; from there every whole
// half-second window must follow the export sample for sample in time, which
// is checked as a correlation of at least 0.99 (both channels together). A
// dropout or a shift breaks every window after it. Windows where the export
// is near silence need the recording near silence too. At least MIN_SECONDS
// of the song must have been compared. Prints what it found; status 0 when
// everything matched, 1 when not, 2 on bad input.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr long RATE = 44100;
constexpr long WINDOW = RATE / 2;
constexpr long ANCHOR = 4096; // frames that must match exactly to align
constexpr double QUIET_RMS = 30.0;

std::vector<int16_t> read_raw(const char *path)
{
    std::vector<int16_t> samples;
    FILE *f = fopen(path, "rb");
    if (!f) {
        perror(path);
        exit(2);
    }
    int16_t chunk[8192];
    size_t n;
    while ((n = fread(chunk, sizeof chunk[0], 8192, f)) > 0) samples.insert(samples.end(), chunk, chunk + n);
    fclose(f);
    samples.resize(samples.size() / 2 * 2); // whole frames only
    return samples;
}

long frames_of(const std::vector<int16_t> &s) { return long(s.size() / 2); }

bool same_frames(const int16_t *a, const int16_t *b, long frames)
{
    for (long i = 0; i < frames * 2; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// The first frame of the export after its opening silence, a little further
// in, so that the anchor holds sound and not a fade-in of zeros.
long anchor_frame(const std::vector<int16_t> &ref)
{
    for (long i = 0; i < frames_of(ref); ++i)
        if (std::abs(ref[2 * i]) > 200 || std::abs(ref[2 * i + 1]) > 200) return i + RATE / 10;
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: sound_match EXPORT.raw RECORDING.raw MIN_SECONDS\n");
        return 2;
    }
    const std::vector<int16_t> ref = read_raw(argv[1]), rec = read_raw(argv[2]);
    const double min_seconds = atof(argv[3]);
    const long anchor = anchor_frame(ref);
    if (anchor < 0 || anchor + ANCHOR > frames_of(ref)) {
        fprintf(stderr, "sound_match: the export has no sound to align on\n");
        return 2;
    }

    long offset = -1; // recording frame where the export's frame 0 lies
    for (long i = 0; i + ANCHOR <= frames_of(rec); ++i) {
        if (rec[2 * i] != ref[2 * anchor] || rec[2 * i + 1] != ref[2 * anchor + 1]) continue;
        if (same_frames(&rec[2 * i], &ref[2 * anchor], ANCHOR) && i >= anchor) {
            offset = i - anchor;
            break;
        }
    }
    printf("recording: %.2f s; export: %.2f s\n", double(frames_of(rec)) / RATE, double(frames_of(ref)) / RATE);
    if (offset < 0) {
        printf("FAIL: the export's sound %.2f s into the song is nowhere in the recording\n", double(anchor) / RATE);
        return 1;
    }
    printf("aligned: the song starts %.3f s into the recording\n", double(offset) / RATE);

    long windows = 0, matched = 0, first_bad = -1, exact = 0;
    double worst = 1.0;
    for (long w = 0;; ++w) {
        const long start = w * WINDOW;
        if (start + WINDOW > frames_of(ref) || offset + start + WINDOW > frames_of(rec)) break;
        const int16_t *a = &ref[2 * start];
        const int16_t *b = &rec[2 * (offset + start)];
        double ab = 0, aa = 0, bb = 0;
        for (long i = 0; i < WINDOW * 2; ++i) {
            ab += double(a[i]) * b[i];
            aa += double(a[i]) * a[i];
            bb += double(b[i]) * b[i];
        }
        const double rms_a = std::sqrt(aa / (2 * WINDOW)), rms_b = std::sqrt(bb / (2 * WINDOW));
        bool ok;
        double corr = 1.0;
        if (rms_a < QUIET_RMS) {
            ok = rms_b < QUIET_RMS;
        } else {
            corr = bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
            ok = corr >= 0.99;
        }
        ++windows;
        if (ok) ++matched;
        if (!ok && first_bad < 0) first_bad = w;
        if (corr < worst) worst = corr;
        if (same_frames(a, b, WINDOW)) ++exact;
    }
    const double compared = double(windows * WINDOW) / RATE;
    printf("windows: %ld of %ld half-second windows matched (%.1f s of song); worst correlation %.5f; "
           "%ld windows identical sample for sample\n",
           matched, windows, compared, worst, exact);
    if (first_bad >= 0) {
        printf("FAIL: the recording leaves the export %.1f s into the song (a dropout or a shift)\n",
               double(first_bad * WINDOW) / RATE);
        return 1;
    }
    if (compared < min_seconds) {
        printf("FAIL: only %.1f s of the song were recorded, %.1f s wanted\n", compared, min_seconds);
        return 1;
    }
    return 0;
}
