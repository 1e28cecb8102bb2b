// The sound device and the song clock. Opens SDL audio at exactly 44100 Hz,
// renders the song in the callback (or, in capture modes, on the main thread),
// and after every rendered buffer publishes a SongPosition under one semaphore
// used as a mutex. Also carries the back/forward navigation requests from the
// keyboard into the sequencer.
//
// The song's own unit of time is a block of 1024 frames: the pre-roll, the
// sequencer, the beat accent's decay, seeking and the publish all happen once
// per block. The device may ask for any number of bytes per callback;
// render_audio hands them out of the current block and renders the next one
// when it runs dry.
//
// Threads: render_audio runs on SDL's audio thread in normal mode; everything
// else is called from the main thread. The published record and the
// sequencer's seek_request are the only shared state; position_lock guards
// them. When the device stops taking sound, the main thread takes over the
// rendering (audio_keep_time), under SDL's audio lock.
#pragma once

#include <cstdint>

inline constexpr int AUDIO_RATE_HZ = 44100;
inline constexpr int AUDIO_BUFFER_FRAMES = 1024;
inline constexpr int AUDIO_BUFFER_BYTES = AUDIO_BUFFER_FRAMES * 4; // 16-bit stereo
inline constexpr int16_t AUDIO_PREROLL_LEVEL = 1000;
// Seconds of one buffer: 1024 / 44100.
inline constexpr double AUDIO_BUFFER_SEC = 0.023219954648526078;

struct SongPosition {
    int32_t order;         // sequencer's next_order: the order heard is order - 1
    int32_t row;           // sequencer's next_row: the row heard is row - 1 (31 when 0)
    uint32_t start_ticks;  // SDL ticks (ms) when the first real buffer was published; 0 until then
    double elapsed;        // seconds since playback began; filled by the frame loop
    int32_t playing;       // 1 while the song runs, 0 after its end
    double beat_level;     // beat accent x 0.001, 0..0.9
    int32_t buffer_count;  // buffers published so far (pre-roll not counted)
};

// Opens the device and prepares the song; exits with status 1 and a message
// when it cannot be opened or does not give 44100 Hz signed 16-bit stereo
// (any buffer size). With QUILL_SILENT_FALLBACK set to 1 in the environment,
// a device that cannot be opened is reported and SDL's silent driver is used
// instead, so that the show plays without sound.
void audio_init();
// Starts the sequencer at first_order; unpauses the device unless capturing.
void audio_start(int32_t first_order);
// SDL's callback: fills len bytes of 16-bit stereo from the current block,
// rendering blocks as they run out. A call for exactly one block's bytes, on
// block boundaries (the capture modes, the tools), renders exactly one block.
// A call after the sound was declared lost takes the rendering back from the
// main thread (see audio_keep_time).
void render_audio(void *userdata, uint8_t *stream, int len);
// Renders the song's next block (AUDIO_BUFFER_FRAMES frames) and publishes
// the position after it, or gives the next pre-roll block.
void render_song_block(int16_t *out);
// Copies the published record; on a failed lock the destination is left as it was.
void read_position(SongPosition *dest);
void seek_back();
void seek_forward();
// Renders one buffer on the calling thread; in sound capture writes it to fd 7.
// Returns 0, or -1 with errno set when writing to descriptor 7 failed (EPIPE:
// its reader closed the pipe).
int capture_audio_buffer();
// Normal play only, called by the main thread every frame and while it waits
// for the song to start (capture modes: does nothing). When the device has
// taken no sound for AUDIO_LOST_MS while the song plays (AUDIO_START_GRACE_MS
// before its first callback: a sound server may take a second or more to
// start a stream on a busy machine), says on standard error that the sound
// stopped, and from then on renders and discards the song's blocks itself at
// the pace of the wall clock, so that the position advances as it would have
// with sound. Should the device take sound again, it plays on from there and
// this says that the sound is back.
void audio_keep_time();
inline constexpr uint32_t AUDIO_LOST_MS = 500;
inline constexpr uint32_t AUDIO_START_GRACE_MS = 5000;
// In normal play audio_init makes the threads that exist before the device
// opens (ours and the GL driver's) this much nicer than the threads SDL
// starts for the sound, so that drawing never keeps the sound waiting.
inline constexpr int DRAW_NICENESS = 10;
inline constexpr int32_t DRAW_THREADS_MAX = 64;
// Pauses the device unless capturing, closes it (waiting for a callback that
// is running), then destroys the lock and shuts SDL down.
void audio_shutdown();

// The clock without a device: resets the published record and the lock state
// as audio_init does, for tests and tools that drive render_audio themselves.
// The song must have been loaded with sequencer_load_song.
void audio_prepare_clock();
// The tick source used for start_ticks and for noticing a device that
// stopped; SDL_GetTicks unless replaced (tests).
extern uint32_t (*audio_tick_source)();
