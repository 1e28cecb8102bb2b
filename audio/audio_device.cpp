// The sound device and the song clock.
//
// The render routine is the heart of the clock: every buffer it renders
// (1024 frames, 23.2 ms) ends with one publish of the sequencer's position
// under position_lock. The frame loop never asks the sequencer directly; it
// copies the published record, so it always sees one consistent position.
//
// position_lock is an SDL semaphore created at 0 and posted once, which makes
// it a mutex that both threads can use without SDL's mutex type. It guards the
// published record and sequencer.seek_request; next_order and next_row are
// only ever changed by the rendering side, and the seek step that reads the
// request runs inside the lock.
#include "audio/audio_device.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>

#include "audio/sequencer.h"
#include "audio/voices.h"
#include "shell/shell.h"

static SongPosition published = {};
static SDL_sem *position_lock = nullptr;
static uint32_t first_ticks = 0;

static uint32_t sdl_ticks() { return SDL_GetTicks(); }
uint32_t (*audio_tick_source)() = sdl_ticks;

void audio_prepare_clock()
{
    if (position_lock) SDL_DestroySemaphore(position_lock);
    position_lock = SDL_CreateSemaphore(0);
    first_ticks = 0;
    published = SongPosition{};
    published.order = 0;
    published.playing = 1;
    published.start_ticks = 0;
    published.buffer_count = 0;
    SDL_SemPost(position_lock);
}

void audio_init()
{
    SDL_Init(SDL_INIT_AUDIO);
    SDL_AudioSpec want = {}, got = {};
    want.freq = AUDIO_RATE_HZ;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = AUDIO_BUFFER_FRAMES;
    want.callback = render_audio;
    if (SDL_OpenAudio(&want, &got) < 0) {
        fprintf(stderr, "OpenAudio failed, %s", SDL_GetError());
        exit(1);
    }
    if (got.freq != AUDIO_RATE_HZ) {
        fprintf(stderr, "Couldn't set frequency to 44100! (got %d)\n", got.freq);
        exit(1);
    }
    // SDL does not convert when it hands back what it obtained: another
    // format would be played as noise, and another buffer size would change
    // the song clock's step (one publish per 1024 frames).
    if (got.format != AUDIO_S16LSB || got.channels != 2) {
        fprintf(stderr, "Couldn't get signed 16-bit stereo! (got format 0x%04x, %d channels)\n", unsigned(got.format),
                int(got.channels));
        exit(1);
    }
    if (got.samples != AUDIO_BUFFER_FRAMES) {
        fprintf(stderr, "Couldn't set the audio buffer to 1024 frames! (got %d)\n", int(got.samples));
        exit(1);
    }
    sequencer_load_song(quill_song_image);
    audio_prepare_clock();
}

void audio_start(int32_t first_order)
{
    // SDL's audio thread exists from SDL_OpenAudio on and runs render_audio
    // once unpaused, but the pause switch itself is a plain flag: taking the
    // callback's lock here is what makes the song, channel and sequencer
    // state written on this thread since then visible to the audio thread.
    SDL_LockAudio();
    sequencer_start(first_order);
    SDL_UnlockAudio();
    if (capture_mode == CAPTURE_NONE) SDL_PauseAudio(0);
}

void render_audio(void *, uint8_t *stream, int len)
{
    const int frames = len / 4;
    int16_t *out = reinterpret_cast<int16_t *>(stream);

    if (song.preroll_buffers != 0) {
        // A constant level before the song: the device settles and the
        // listener hears nothing while the first real buffer is on its way.
        --song.preroll_buffers;
        for (int i = 0; i < frames * 2; ++i) out[i] = AUDIO_PREROLL_LEVEL;
        return;
    }

    for (int i = 0; i < frames; ++i) {
        const StereoSample s = sequencer_render_frame();
        out[2 * i] = s.left;
        out[2 * i + 1] = s.right;
    }
    sequencer_end_buffer();

    if (SDL_SemWait(position_lock) != 0) return;
    sequencer_apply_seek();
    published.order = sequencer.next_order;
    published.row = sequencer.next_row;
    published.playing = song.playing;
    published.beat_level = sequencer.beat_accent * 0.001;
    const uint32_t now = audio_tick_source();
    if (first_ticks == 0) first_ticks = now;
    published.start_ticks = first_ticks;
    ++published.buffer_count;
    SDL_SemPost(position_lock);
}

void read_position(SongPosition *dest)
{
    if (SDL_SemWait(position_lock) != 0) return;
    *dest = published;
    SDL_SemPost(position_lock);
}

void seek_back()
{
    if (SDL_SemWait(position_lock) != 0) return;
    sequencer.seek_request -= 2;
    SDL_SemPost(position_lock);
}

void seek_forward()
{
    if (SDL_SemWait(position_lock) != 0) return;
    sequencer.seek_request += 2;
    SDL_SemPost(position_lock);
}

int capture_audio_buffer()
{
    uint8_t buffer[AUDIO_BUFFER_BYTES];
    render_audio(nullptr, buffer, AUDIO_BUFFER_BYTES);
    if (capture_mode == CAPTURE_SOUND) return write_fully(SHELL_CAPTURE_FD, buffer, AUDIO_BUFFER_BYTES);
    return 0;
}

void audio_shutdown()
{
    if (capture_mode == CAPTURE_NONE) SDL_PauseAudio(1);
    // Pausing only sets a flag: a callback already running goes on using
    // position_lock. Closing the device waits for it to return, so the lock
    // is destroyed only when nothing can use it any more.
    SDL_CloseAudio();
    SDL_DestroySemaphore(position_lock);
    position_lock = nullptr;
    SDL_Quit();
}
