// Replaying the show as frame capture plays it; see replay.h.
#include "shell/replay.h"

#include <SDL.h>
#include <GL/gl.h>

#include <cmath>

#include "audio/sequencer.h"
#include "audio/song.h"
#include "gfx/precalc.h"
#include "shell/shell.h"

KnobBank replay_open_video(const char *program_name)
{
    char program[64] = {}, windowed[] = "-w";
    for (int i = 0; i < 63 && program_name[i]; ++i) program[i] = program_name[i];
    char *video_args[] = {program, windowed, nullptr};
    startup_video(2, video_args, REPLAY_WIDTH, REPLAY_HEIGHT);
    capture_mode = CAPTURE_FRAMES;
    precalculate();
    const KnobBank start_knobs = knobs;
    for (int i = 0; i < 2; ++i) {
        glClear(GL_COLOR_BUFFER_BIT);
        SDL_GL_SwapBuffers();
    }
    return start_knobs;
}

int32_t replay_begin(const KnobBank &start_knobs)
{
    knobs = start_knobs;
    sequencer_load_song(quill_song_image);
    audio_prepare_clock();
    audio_start(0);
    SongPosition pos = {};
    uint8_t sound[AUDIO_BUFFER_BYTES];
    do {
        render_audio(nullptr, sound, AUDIO_BUFFER_BYTES);
        read_position(&pos);
    } while (pos.start_ticks == 0);
    return pos.buffer_count + 1;
}

SongPosition replay_next(uint8_t *sound)
{
    uint8_t scratch[AUDIO_BUFFER_BYTES];
    render_audio(nullptr, sound ? sound : scratch, AUDIO_BUFFER_BYTES);
    SongPosition pos = {};
    read_position(&pos);
    pos.elapsed = pos.buffer_count * AUDIO_BUFFER_SEC;
    return pos;
}

void replay_draw(const SongPosition &pos, uint8_t *pixels)
{
    timeline_frame(pos);
    if (pixels) glReadPixels(0, 0, REPLAY_WIDTH, REPLAY_HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    SDL_GL_SwapBuffers();
}

int32_t replay_buffer_at(double seconds, int32_t first)
{
    const long want = std::lround(seconds / AUDIO_BUFFER_SEC);
    return want < first ? first : int32_t(want);
}
