// quillmora-render: renders one stretch of the show, frames and sound, as the
// program's captures would give them.
//
//   quillmora-render [--from SECONDS] [--to SECONDS] [--sound FILE] [-q]
//
// Writes the frames whose song time lies in [from, to) to descriptor 7,
// byte for byte what frame capture (-dg) writes for those frames: 800 x 600
// RGB, bottom row first, one per audio buffer. --from defaults to the start,
// --to to the end of the show (the frame that first sees the song stopped is
// the last, as in the program). With --sound it also writes the sound of
// exactly those frames to FILE, headerless signed 16-bit little-endian stereo
// at 44100 Hz, 4096 bytes per frame. A frame shows the song as it stands at
// the end of its audio buffer, the moment the next buffer starts to sound, so
// each frame is paired with the buffer after its own: laid side by side at
// 44100/1024 frames per second, picture and sound are in step to the buffer,
// and stretches rendered separately join without a gap or an overlap.
//
// Up to the start it replays the song clock and the schedule's knob writes
// without drawing (the shared replay module, as the shot tool does), drawing
// only the warm-up frames, so a stretch late in the show starts in seconds.
//
// Unless -q, prints "frames B0 B1" on standard error when it knows the range
// (buffer counts of the first frame and one past the last), then a progress
// line. A stretch that starts after the show's end is refused (status 2).
// Needs an X display (Xvfb works); opens no sound device. Exit status
// 0 on success, 1 when descriptor 7 or the sound file cannot be written, 2 on
// a bad command line.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>

#include "shell/replay.h"
#include "shell/shell.h"
#include "timeline/timeline.h"
#include "tools/atomic_file.h"

static constexpr int RENDER_FD = 7;

struct RenderOptions {
    double from, to;  // song seconds; to < 0 for the end of the show
    const char *sound_path;
    bool quiet;
};

static void usage()
{
    fprintf(stderr, "usage: quillmora-render [--from SECONDS] [--to SECONDS] [--sound FILE] [-q] 7>frames.raw\n");
    exit(2);
}

static double parse_seconds(const char *arg)
{
    char *end = nullptr;
    errno = 0;
    const double t = std::strtod(arg, &end);
    if (end == arg || *end != '\0' || errno != 0 || !std::isfinite(t) || t < 0.0 || t > 1.0e6) {
        fprintf(stderr, "quillmora-render: not a song time in seconds: %s\n", arg);
        exit(2);
    }
    return t;
}

static RenderOptions parse_options(int argc, char **argv)
{
    RenderOptions opt = {0.0, -1.0, nullptr, false};
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (std::strcmp(arg, "--from") == 0 && has_value)
            opt.from = parse_seconds(argv[++i]);
        else if (std::strcmp(arg, "--to") == 0 && has_value)
            opt.to = parse_seconds(argv[++i]);
        else if (std::strcmp(arg, "--sound") == 0 && has_value)
            opt.sound_path = argv[++i];
        else if (std::strcmp(arg, "-q") == 0)
            opt.quiet = true;
        else
            usage();
    }
    if (opt.to >= 0.0 && opt.to <= opt.from) {
        fprintf(stderr, "quillmora-render: --to must lie after --from\n");
        exit(2);
    }
    return opt;
}

static void fail(const char *what, AtomicFile *sound)
{
    fprintf(stderr, "\nquillmora-render: %s: %s\n", what, std::strerror(errno));
    atomic_file_abort(sound);
    exit(1);
}

int main(int argc, char **argv)
{
    const RenderOptions opt = parse_options(argc, argv);
    if (fcntl(RENDER_FD, F_GETFL) == -1) {
        fprintf(stderr, "quillmora-render: descriptor 7 is not open; run it as quillmora-render ... 7>frames.raw\n");
        return 2;
    }
    AtomicFile sound_file = {-1, -1};
    if (opt.sound_path && atomic_file_open(&sound_file, opt.sound_path) != 0) {
        fprintf(stderr, "quillmora-render: cannot write %s: %s\n", opt.sound_path, std::strerror(errno));
        return 1;
    }

    const KnobBank start_knobs = replay_open_video("quillmora-render");
    std::vector<uint8_t> pixels(REPLAY_FRAME_BYTES);
    uint8_t sound[AUDIO_BUFFER_BYTES];

    const int32_t first = replay_begin(start_knobs);
    const int32_t begin = replay_buffer_at(opt.from, first);
    // One past the last frame; the song's end may come first.
    const int32_t end = opt.to < 0.0 ? INT32_MAX : replay_buffer_at(opt.to, first);
    if (!opt.quiet) {
        if (end == INT32_MAX)
            fprintf(stderr, "frames %d end\n", begin);
        else
            fprintf(stderr, "frames %d %d\n", begin, end);
    }

    SongPosition pos = {};
    bool last = false;
    int32_t written = 0;
    while (!last) {
        pos = replay_next(sound);
        // The sound paired with the previous frame.
        if (opt.sound_path && pos.buffer_count > begin && pos.buffer_count <= end &&
            atomic_file_write(&sound_file, sound, AUDIO_BUFFER_BYTES) != 0)
            fail("cannot write the sound", &sound_file);
        if (pos.buffer_count >= end) break;
        last = pos.playing == 0;
        if (pos.buffer_count >= begin) {
            replay_draw(pos, pixels.data());
            if (write_fully(RENDER_FD, pixels.data(), REPLAY_FRAME_BYTES) != 0)
                fail("cannot write frames to descriptor 7", &sound_file);
            ++written;
            if (!opt.quiet && (pos.buffer_count - begin) % 43 == 0)
                fprintf(stderr, "\rframe %d (%.1f s)", pos.buffer_count, pos.elapsed);
        } else if (pos.buffer_count >= begin - REPLAY_WARMUP_FRAMES) {
            replay_draw(pos, nullptr);
        } else {
            timeline_decide(pos, &knobs);
        }
    }
    if (written == 0) {
        fprintf(stderr, "quillmora-render: the show ends at %.3f s, before the stretch\n", pos.elapsed);
        atomic_file_abort(&sound_file);
        return 2;
    }
    // After the show's last frame, the buffer that follows it.
    if (last && opt.sound_path) {
        replay_next(sound);
        if (atomic_file_write(&sound_file, sound, AUDIO_BUFFER_BYTES) != 0) fail("cannot write the sound", &sound_file);
    }
    if (opt.sound_path && atomic_file_commit(&sound_file) != 0) fail("cannot write the sound", &sound_file);
    if (!opt.quiet) fprintf(stderr, "\n");
    return 0;
}
