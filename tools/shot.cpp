// quillmora-shot: renders chosen moments of the show to PNG files.
//
//   quillmora-shot [-k] [-o DIR] TIME...
//
// For each TIME (seconds of song time, e.g. 2.5) it writes DIR/<TIME with
// three decimals>.png (DIR/2.500.png), an 800 x 600 RGB picture, top row
// first. DIR defaults to the current folder and is created if missing. With
// -k it also prints, on standard output, for each shot in the order taken:
//
//   <TIME> order <order> row <row> elapsed <seconds>
//   Knobs: <knob0> ... <knob7>
//
// where order and row are the published song position (the next order and
// row to be read, as the audio side publishes them), elapsed is the frame's
// song time, and the Knobs line is the Space key's format (" %f" each).
//
// The picture is the frame that frame capture (-dg) writes at the frame whose
// elapsed time is nearest to TIME; times past the end of the song give the
// last frame. To get there in seconds rather than minutes, the tool replays
// the song clock exactly as frame capture does (pre-roll, then one 1024-frame
// audio buffer per frame) and runs the timeline's knob writes on every frame,
// so knobs carried over from earlier sections are right, but draws only the
// frames it needs: each requested frame and the REPLAY_WARMUP_FRAMES frames
// before it, with a buffer swap after each as in the show, so a scene that
// inherits GL state (texture bindings, matrices, the back buffer) from the
// frame before it sees the same state as in the capture.
//
// Two times that would give the same file name (2.5 and 2.5004 both give
// 2.500.png) are refused rather than one overwriting the other. Each file is
// written under a temporary name beside it and renamed into place when
// complete, so a failed write leaves no damaged picture; a path the system
// cannot take (too long, say) fails with the reason.
//
// Needs an X display (Xvfb works); opens no sound device. Exit status 0 on
// success, 1 when a file cannot be written, 2 on a bad command line.
#include <SDL.h>
#include <GL/gl.h>

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shell/replay.h"
#include "timeline/timeline.h"
#include "tools/png_write.h"

static constexpr int32_t SHOT_WIDTH = REPLAY_WIDTH, SHOT_HEIGHT = REPLAY_HEIGHT;

struct ShotRequest {
    double time;
    const char *arg; // the time as given on the command line
    char name[64];   // the time with three decimals
    int32_t buffer; // buffer_count of the frame to capture; 0 until known
    bool done;
};

struct ShotOptions {
    const char *dir;
    bool print_knobs;
    std::vector<ShotRequest> shots;
};

static void usage()
{
    fprintf(stderr, "usage: quillmora-shot [-k] [-o DIR] TIME...\n"
                    "  writes DIR/<TIME>.png (TIME in seconds of song time, three decimals in the name)\n"
                    "  -k  also print each shot's song position and knobs\n");
    exit(2);
}

static ShotOptions parse_options(int argc, char **argv)
{
    ShotOptions opt = {".", false, {}};
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "-k") == 0) {
            opt.print_knobs = true;
        } else if (std::strcmp(arg, "-o") == 0) {
            if (i + 1 >= argc) usage();
            opt.dir = argv[++i];
        } else {
            char *end = nullptr;
            errno = 0;
            const double t = std::strtod(arg, &end);
            if (end == arg || *end != '\0' || errno != 0 || !std::isfinite(t) || t < 0.0 || t > 1.0e6) {
                fprintf(stderr, "quillmora-shot: not a song time in seconds: %s\n", arg);
                exit(2);
            }
            ShotRequest r = {};
            r.time = t;
            snprintf(r.name, sizeof r.name, "%.3f", t);
            for (const ShotRequest &o : opt.shots)
                if (std::strcmp(o.name, r.name) == 0) {
                    fprintf(stderr, "quillmora-shot: %s and %s would both be written to %s.png; give each time once\n",
                            o.arg, arg, r.name);
                    exit(2);
                }
            r.arg = arg;
            opt.shots.push_back(r);
        }
    }
    if (opt.shots.empty()) usage();
    return opt;
}

static std::vector<uint8_t> frame(size_t(SHOT_WIDTH) * SHOT_HEIGHT * 3);
static std::vector<uint8_t> flipped(size_t(SHOT_WIDTH) * SHOT_HEIGHT * 3);

static void save_shot(const ShotOptions &opt, const ShotRequest &r, const SongPosition &pos)
{
    const size_t row = size_t(SHOT_WIDTH) * 3;
    for (int32_t y = 0; y < SHOT_HEIGHT; ++y)
        std::memcpy(&flipped[y * row], &frame[(SHOT_HEIGHT - 1 - y) * row], row);
    // No length limit of its own: the system says whether it can take the path.
    const std::string path = std::string(opt.dir) + "/" + r.name + ".png";
    if (png_write_rgb(path.c_str(), flipped.data(), SHOT_WIDTH, SHOT_HEIGHT) != 0) {
        fprintf(stderr, "quillmora-shot: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        exit(1);
    }
    if (opt.print_knobs) {
        printf("%s order %d row %d elapsed %f\n", r.name, pos.order, pos.row, pos.elapsed);
        printf("Knobs:");
        for (double k : knobs.knob) printf(" %f", k);
        printf("\n");
        fflush(stdout);
    }
}

// Plays the song from the start as frame capture does, drawing only the
// frames that the pending shots need. last_buffer, when non-zero, is the
// final frame's buffer count from an earlier run, for shots past the end.
// Returns the final frame's buffer count when the song ended, 0 when every
// shot was taken before that.
static int32_t replay(ShotOptions *opt, const KnobBank &start_knobs, int32_t last_buffer)
{
    const int32_t first_buffer = replay_begin(start_knobs);
    for (ShotRequest &r : opt->shots) {
        if (r.done) continue;
        r.buffer = replay_buffer_at(r.time, first_buffer);
        if (last_buffer != 0 && r.buffer > last_buffer) r.buffer = last_buffer;
    }

    for (;;) {
        const SongPosition pos = replay_next(nullptr);
        const bool last = pos.playing == 0;

        bool capture = false, draw = false, pending = false;
        for (const ShotRequest &r : opt->shots) {
            if (r.done) continue;
            pending = true;
            if (pos.buffer_count == r.buffer) capture = true;
            if (pos.buffer_count >= r.buffer - REPLAY_WARMUP_FRAMES && pos.buffer_count <= r.buffer) draw = true;
        }
        if (!pending) return 0;

        if (draw) {
            replay_draw(pos, capture ? frame.data() : nullptr);
            if (capture)
                for (ShotRequest &r : opt->shots) {
                    if (r.done || r.buffer != pos.buffer_count) continue;
                    save_shot(*opt, r, pos);
                    r.done = true;
                }
        } else {
            timeline_decide(pos, &knobs);
        }
        if (last) return pos.buffer_count;
    }
}

int main(int argc, char **argv)
{
    ShotOptions opt = parse_options(argc, argv);
    if (mkdir(opt.dir, 0777) != 0 && errno != EEXIST) {
        fprintf(stderr, "quillmora-shot: cannot create %s: %s\n", opt.dir, std::strerror(errno));
        return 1;
    }

    // The show's own start-up, windowed, in frame-capture mode but without
    // descriptor 7 or a sound device.
    const KnobBank start_knobs = replay_open_video("quillmora-shot");

    const int32_t last_buffer = replay(&opt, start_knobs, 0);
    bool missing = false;
    for (const ShotRequest &r : opt.shots) missing = missing || !r.done;
    // Shots past the end of the song: the last frame, now that it is known.
    if (missing) replay(&opt, start_knobs, last_buffer);
    return 0;
}
