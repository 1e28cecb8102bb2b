// Replaying the show as frame capture (-dg) plays it, for the tools and tests
// that need chosen frames without a sound device: the shot tool, the stretch
// renderer and the tests that compare their frames with the program's.
//
// The song clock advances exactly as in frame capture: the pre-roll, then one
// 1024-frame audio buffer per frame, the frame's elapsed time being its
// buffer count times the buffer's length. The caller decides per frame
// whether to draw it (timeline_frame, then read it back and swap, as the
// frame loop does) or only to run the schedule's knob writes
// (timeline_decide), which costs microseconds: a frame late in the song is
// reached in about the time the synthesizer takes to get there.
//
// A scene may inherit GL state from the frame before it (texture bindings,
// matrices, the back buffer), so a drawn frame shows what the capture shows
// only when the REPLAY_WARMUP_FRAMES frames before it were drawn too.
//
// Main thread only. Nothing allocates after replay_open_video.
#pragma once

#include <cstdint>

#include "audio/audio_device.h"
#include "timeline/timeline.h"

inline constexpr int32_t REPLAY_WARMUP_FRAMES = 2;
inline constexpr int32_t REPLAY_WIDTH = 800, REPLAY_HEIGHT = 600;
inline constexpr int32_t REPLAY_FRAME_BYTES = REPLAY_WIDTH * REPLAY_HEIGHT * 3;

// The show's own start-up without a sound device or descriptor 7: an 800x600
// window (-w), frame-capture mode, the precalculation and the two cleared
// swaps. Returns the knobs as the precalculation leaves them, which every
// replay starts from. program_name is only the window's name.
KnobBank replay_open_video(const char *program_name);

// Loads the song, starts the clock and renders up to and including the first
// real buffer, as the program does before its frame loop; the knobs are set
// to start_knobs. Returns the buffer count of the first frame the frame loop
// draws.
int32_t replay_begin(const KnobBank &start_knobs);

// Renders the next audio buffer (into sound, AUDIO_BUFFER_BYTES, unless null)
// and returns the position a frame loop would draw from, elapsed filled in.
// Its playing flag is 0 on the last frame of the show.
SongPosition replay_next(uint8_t *sound);

// The frame loop's drawing of one frame: timeline_frame, then (unless pixels
// is null) the frame read back as -dg writes it (REPLAY_FRAME_BYTES, bottom
// row first), then the buffer swap.
void replay_draw(const SongPosition &pos, uint8_t *pixels);

// The frame whose elapsed time is nearest `seconds`, no earlier than first.
int32_t replay_buffer_at(double seconds, int32_t first);
