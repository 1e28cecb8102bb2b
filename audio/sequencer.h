// The tracker-style sequencer: walks the order list, reads pattern rows,
// starts notes and steps the per-note sequences at tick rate, and keeps the
// song clock (order, row, tick) and the beat accent that the rest of the
// program follows.
//
// State: the writable song header `song`, the image it was taken from, and
// the `sequencer` record. Runs inside the audio render routine (audio thread,
// or the main thread in capture modes); never allocates.
#pragma once

#include <cstdint>

#include "audio/song.h"

inline constexpr int32_t SEQUENCER_TICK_SAMPLES = 345;  // samples per tick
inline constexpr int32_t SEQUENCER_START_ROW = 10;      // see sequencer_start

struct SequencerState {
    int32_t tick_samples_left; // samples still to render before the next tick, 344..0
    int32_t tick_countdown;    // ticks still to wait before the next row
    int32_t next_row;          // row to process at the next row step
    int32_t next_order;        // order to load when next_row is 0; heard = next_order - 1
    int32_t speed;             // a row lasts speed + 1 ticks
    int32_t beat_accent;       // 0..1000, set by sequence 12 on the beat
    int32_t seek_request;      // navigation request, resting value 1
};

extern SequencerState sequencer;
// Writable copy of the playing image's header: preroll_buffers counts down and
// playing drops to 0 here.
extern SongHeader song;
extern const uint8_t *song_image;

// Selects the image to play, copies its header into `song`, zeroes the
// sequencer and all channel records. Called by audio_init, and by tests and
// tools that render a song without a sound device.
void sequencer_load_song(const uint8_t *image);
// Starts playback at first_order from row 10 with seek_request left at 0, so
// the first published buffer moves to row 0 of that order.
void sequencer_start(int32_t first_order);
// One tick: the row step (while playing) and the sequence step of every channel.
void sequencer_tick();
// Runs the tick if it is due, then mixes one frame. The render loop's unit of work.
struct StereoSample;
StereoSample sequencer_render_frame();
// Decays the beat accent; called after every whole rendered buffer.
void sequencer_end_buffer();
// Applies the pending navigation request (caller holds the position lock).
void sequencer_apply_seek();

// Note number to Hz: absolute 110 * 2^((n - 51)/12).
double note_to_hz(int32_t note);
