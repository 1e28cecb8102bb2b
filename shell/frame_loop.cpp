// The frame loop: one input event, (in capture modes) one audio buffer, one
// song-position copy, one timeline frame, (in frame capture) one frame of
// pixels to descriptor 7, one buffer swap; with QUILL_FRAME_LOG, one line of
// the frame log.
#include <SDL.h>
#include <GL/gl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/audio_device.h"
#include "shell/shell.h"
#include "timeline/timeline.h"

static bool running = true;
// One captured frame, RGB bottom row first; filled by glReadPixels.
static uint8_t frame_pixels[SHELL_FRAME_BYTES];

// The frame log (QUILL_FRAME_LOG=FILE): one line per presented frame, taken
// just after the swap, for measuring how the show runs live. stdio writes it
// through a buffer of our own, so a frame costs a formatted line and, now
// and then, one write.
static FILE *frame_log = nullptr;
static char frame_log_buffer[1 << 16];

static void open_frame_log()
{
    const char *path = std::getenv("QUILL_FRAME_LOG");
    if (!path || !*path) return;
    frame_log = fopen(path, "w");
    if (!frame_log) {
        fprintf(stderr, "quillmora: cannot write the frame log %s: %s\n", path, strerror(errno));
        return;
    }
    setvbuf(frame_log, frame_log_buffer, _IOFBF, sizeof frame_log_buffer);
    fprintf(frame_log, "# seconds order row scene\n");
}

static void log_frame(const SongPosition &pos, SceneId scene)
{
    const SongClock clock = song_clock_from(pos);
    const uint32_t since_start = SDL_GetTicks() - pos.start_ticks;
    fprintf(frame_log, "%u.%03u %d %d %s\n", since_start / 1000, since_start % 1000, clock.ch, clock.a,
            scene_name(scene));
}

static void close_frame_log()
{
    if (!frame_log) return;
    if (fclose(frame_log) != 0) fprintf(stderr, "quillmora: writing the frame log failed: %s\n", strerror(errno));
    frame_log = nullptr;
}

static void print_knobs()
{
    fprintf(stderr, "Knobs:");
    for (double k : knobs.knob) fprintf(stderr, " %f", k);
    fprintf(stderr, "\n");
}

static void handle_key(const SDL_keysym &key)
{
    switch (key.sym) {
    case SDLK_ESCAPE:
    case SDLK_q: running = false; break;
    case SDLK_SPACE: print_knobs(); break;
    case SDLK_f: knobs.scene_flag = (key.mod & KMOD_SHIFT) ? 0 : 1; break;
    case SDLK_RIGHT: seek_forward(); break;
    case SDLK_LEFT: seek_back(); break;
    default: break;
    }
}

// The capture cannot go on (its reader went away, the disk is full...): the
// rest of the show would go nowhere, so it ends here, cleanly, with a reason.
void capture_write_failed(int err)
{
    if (err == EPIPE)
        fprintf(stderr, "quillmora: the reader of file descriptor 7 has gone away; stopping the capture\n");
    else
        fprintf(stderr, "quillmora: writing to file descriptor 7 failed: %s; stopping the capture\n", strerror(err));
    exit(1);
}

void frame_loop()
{
    SongPosition pos = {};
    running = true;
    open_frame_log();
    for (;;) {
        SDL_Event ev;
        if (SDL_PollEvent(&ev)) {
            if (ev.type == SDL_KEYDOWN) handle_key(ev.key.keysym);
            else if (ev.type == SDL_QUIT) running = false;
        }
        if (capture_mode != CAPTURE_NONE && capture_audio_buffer() != 0) capture_write_failed(errno);

        audio_keep_time();
        const uint32_t now = SDL_GetTicks();
        read_position(&pos);
        if (pos.playing == 0) running = false;
        if (capture_mode != CAPTURE_NONE)
            pos.elapsed = pos.buffer_count * AUDIO_BUFFER_SEC;
        else
            pos.elapsed = uint32_t(now - pos.start_ticks) * 0.001;

        const SceneId scene = timeline_frame(pos);

        if (capture_mode == CAPTURE_FRAMES) {
            glReadPixels(0, 0, 800, 600, GL_RGB, GL_UNSIGNED_BYTE, frame_pixels);
            if (write_fully(SHELL_CAPTURE_FD, frame_pixels, SHELL_FRAME_BYTES) != 0) capture_write_failed(errno);
        }
        SDL_GL_SwapBuffers();
        if (frame_log) log_frame(pos, scene);
        if (!running) break;
    }
    close_frame_log();
}
