// The sound device and the song clock.
//
// The clock's unit is the song block of 1024 frames (23.2 ms): every block
// rendered ends with one publish of the sequencer's position under
// position_lock. The frame loop never asks the sequencer directly; it copies
// the published record, so it always sees one consistent position.
//
// The device's own buffer size is the device's business (PulseAudio through
// SDL asks for 512 frames, other servers for more): render_audio keeps the
// current block and hands its frames out across as many callbacks as it
// takes, so the sound and the clock are the same whatever the device asks for.
//
// position_lock is an SDL semaphore created at 0 and posted once, which makes
// it a mutex that both threads can use without SDL's mutex type. It guards the
// published record and sequencer.seek_request; next_order and next_row are
// only ever changed by the rendering side, and the seek step that reads the
// request runs inside the lock.
//
// A sound server can go away in the middle of the show (killed, restarted, a
// headset pulled out); SDL's audio thread then stops calling back and the
// clock would stand still. audio_keep_time notices that on the main thread
// and renders the song itself, silently, at the pace of the wall clock.
//
// On a machine without a GPU the GL driver draws on threads of its own that
// keep every processor busy, and SDL's audio thread, woken every few
// milliseconds to top up the server's buffer, can wait behind them until the
// server runs dry: a dropout. So in a live show the threads that exist before
// the device opens (ours and the driver's) give way to the threads SDL starts
// for the sound: they are made DRAW_NICENESS nicer. Only who runs first
// changes, not what is drawn or played.
#include "audio/audio_device.h"

#include <SDL.h>
#include <dirent.h>
#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/sequencer.h"
#include "audio/voices.h"
#include "shell/shell.h"

static SongPosition published = {};
static SDL_sem *position_lock = nullptr;
static uint32_t first_ticks = 0;

// The block being handed out to the device and how many of its frames are
// already given; all of them at first, so the first callback renders.
static int16_t block[AUDIO_BUFFER_FRAMES * 2];
static int block_given = AUDIO_BUFFER_FRAMES;
// Blocks rendered since the clock was prepared, pre-roll included.
static int64_t blocks_rendered = 0;

// SDL ticks when the device last took sound (written by the audio thread),
// whether it has taken any since audio_start, and whether it took sound again
// after it was declared lost (for the main thread to say so).
static std::atomic<uint32_t> last_take_ms{0};
static std::atomic<bool> device_started{false};
static std::atomic<bool> sound_back{false};
// Set while the device takes no sound; meanwhile the main thread renders.
// Changed only under SDL's audio lock, which SDL holds around the callback;
// atomic so that the main thread can look at it every frame without taking
// that lock from the callback.
static std::atomic<bool> sound_lost{false};
static uint32_t lost_base_ms = 0;   // the last take before the loss
static int64_t lost_base_blocks = 0; // blocks rendered by then

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
    block_given = AUDIO_BUFFER_FRAMES;
    blocks_rendered = 0;
    sound_lost = false;
    SDL_SemPost(position_lock);
}

// No device could be opened. People playing the show on a machine without
// sound would rather watch it silent than not at all (tools/play.sh asks for
// that); capture modes and the plain program keep the hard failure.
static bool open_silent_device(SDL_AudioSpec *want, SDL_AudioSpec *got)
{
    const char *fallback = getenv("QUILL_SILENT_FALLBACK");
    if (!fallback || strcmp(fallback, "1") != 0) return false;
    fprintf(stderr, "quillmora: no sound device was found (%s); playing without sound\n", SDL_GetError());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    SDL_InitSubSystem(SDL_INIT_AUDIO);
    return SDL_OpenAudio(want, got) == 0;
}

// The ids of this process's threads, at most DRAW_THREADS_MAX of them.
static int32_t list_threads(int32_t *tids)
{
    int32_t n = 0;
    DIR *dir = opendir("/proc/self/task");
    if (!dir) return 0;
    while (const dirent *e = readdir(dir)) {
        const int32_t tid = atoi(e->d_name);
        if (tid > 0 && n < DRAW_THREADS_MAX) tids[n++] = tid;
    }
    closedir(dir);
    return n;
}

// Once per process: a second audio_init (the tests open the device again
// and again) must not push the same threads further down.
static void make_nicer(const int32_t *tids, int32_t count)
{
    static bool gave_way = false;
    if (gave_way) return;
    gave_way = true;
    for (int32_t i = 0; i < count; ++i) {
        errno = 0;
        const int niceness = getpriority(PRIO_PROCESS, id_t(tids[i]));
        if (errno == 0) setpriority(PRIO_PROCESS, id_t(tids[i]), niceness + DRAW_NICENESS);
    }
}

void audio_init()
{
    int32_t drawing_threads[DRAW_THREADS_MAX];
    const int32_t drawing_count = list_threads(drawing_threads);
    SDL_Init(SDL_INIT_AUDIO);
    SDL_AudioSpec want = {}, got = {};
    want.freq = AUDIO_RATE_HZ;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = AUDIO_BUFFER_FRAMES;
    want.callback = render_audio;
    if (SDL_OpenAudio(&want, &got) < 0 && !open_silent_device(&want, &got)) {
        fprintf(stderr, "OpenAudio failed, %s", SDL_GetError());
        exit(1);
    }
    if (got.freq != AUDIO_RATE_HZ) {
        fprintf(stderr, "Couldn't set frequency to 44100! (got %d)\n", got.freq);
        exit(1);
    }
    // SDL does not convert when it hands back what it obtained: another
    // format would be played as noise. Any buffer size will do (see above).
    if (got.format != AUDIO_S16LSB || got.channels != 2) {
        fprintf(stderr, "Couldn't get signed 16-bit stereo! (got format 0x%04x, %d channels)\n", unsigned(got.format),
                int(got.channels));
        exit(1);
    }
    sequencer_load_song(quill_song_image);
    audio_prepare_clock();
    if (capture_mode == CAPTURE_NONE) make_nicer(drawing_threads, drawing_count);
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
    if (capture_mode == CAPTURE_NONE) {
        last_take_ms = SDL_GetTicks();
        device_started = false;
        SDL_PauseAudio(0);
    }
}

void render_song_block(int16_t *out)
{
    ++blocks_rendered;
    if (song.preroll_buffers != 0) {
        // A constant level before the song: the device settles and the
        // listener hears nothing while the first real block is on its way.
        --song.preroll_buffers;
        for (int i = 0; i < AUDIO_BUFFER_FRAMES * 2; ++i) out[i] = AUDIO_PREROLL_LEVEL;
        return;
    }

    for (int i = 0; i < AUDIO_BUFFER_FRAMES; ++i) {
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

void render_audio(void *, uint8_t *stream, int len)
{
    last_take_ms.store(SDL_GetTicks(), std::memory_order_relaxed);
    device_started.store(true, std::memory_order_relaxed);
    if (sound_lost) {
        // The device takes sound again (a long stall, or a server that came
        // back): it goes on from the block the main thread got to, and the
        // rest of the block it was given before is stale.
        sound_lost = false;
        block_given = AUDIO_BUFFER_FRAMES;
        sound_back.store(true, std::memory_order_relaxed);
    }
    int16_t *out = reinterpret_cast<int16_t *>(stream);
    for (int frames = len / 4; frames > 0;) {
        if (block_given == AUDIO_BUFFER_FRAMES) {
            render_song_block(block);
            block_given = 0;
        }
        const int n = frames < AUDIO_BUFFER_FRAMES - block_given ? frames : AUDIO_BUFFER_FRAMES - block_given;
        memcpy(out, block + 2 * block_given, size_t(n) * 4);
        out += 2 * n;
        block_given += n;
        frames -= n;
    }
    // A length that is not whole frames (never asked for stereo 16-bit).
    memset(stream + len / 4 * 4, 0, size_t(len % 4));
}

void audio_keep_time()
{
    if (capture_mode != CAPTURE_NONE) return;
    if (sound_back.exchange(false, std::memory_order_relaxed))
        fprintf(stderr, "quillmora: the sound is back\n");
    const uint32_t now = SDL_GetTicks();
    if (!sound_lost) {
        const uint32_t last = last_take_ms.load(std::memory_order_relaxed);
        const uint32_t limit = device_started.load(std::memory_order_relaxed) ? AUDIO_LOST_MS : AUDIO_START_GRACE_MS;
        // Signed: a take stamped after `now` was read is not a loss.
        if (int32_t(now - last) < int32_t(limit)) return;
        SongPosition pos = {};
        read_position(&pos);
        if (pos.playing == 0) return; // the song is over; the loop ends now
        SDL_LockAudio();
        if (int32_t(now - last_take_ms.load(std::memory_order_relaxed)) < int32_t(limit)) {
            SDL_UnlockAudio(); // a callback came after all
            return;
        }
        sound_lost = true;
        // Mid-song the song goes on from the device's last take, in step with
        // the frames' wall clock; a device that never started hands over the
        // whole song, which starts now.
        lost_base_ms = device_started.load(std::memory_order_relaxed) ? last_take_ms.load(std::memory_order_relaxed) : now;
        lost_base_blocks = blocks_rendered;
        SDL_UnlockAudio();
        fprintf(stderr, "quillmora: the sound stopped (the sound device takes no more); the show goes on without it\n");
    }
    // The blocks the device would have taken by now.
    static int16_t discard[AUDIO_BUFFER_FRAMES * 2];
    const int64_t due = lost_base_blocks + int64_t(uint32_t(now - lost_base_ms)) * AUDIO_RATE_HZ /
                                               (int64_t(AUDIO_BUFFER_FRAMES) * 1000);
    SDL_LockAudio();
    while (sound_lost && blocks_rendered < due) render_song_block(discard);
    SDL_UnlockAudio();
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
    int16_t buffer[AUDIO_BUFFER_FRAMES * 2];
    render_song_block(buffer);
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
