// Song meter: renders the embedded song offline exactly as the audio
// callback does (pre-roll, sequencer ticks, mix, seek step after every
// buffer) and measures it: loudness by the ITU-R BS.1770 method (K-weighted,
// gated), true peak by 4x oversampling, DC, clipping, and per order and per
// channel the RMS and peak, so level targets can be checked and the song's
// character recorded as a fingerprint.
//
// Offline only (tests and tools); allocates. Uses the global sequencer and
// channel records, so nothing else may be playing.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/song.h"

inline constexpr int SONG_METER_MAX_ORDERS = 256;

struct OrderLevels {
    double rms = 0;          // of the stereo mix, mean of both sides (full scale = 32768)
    int peak = 0;            // largest |sample|, either side
    double channel_rms[SONG_MAX_CHANNELS] = {}; // each channel's contribution to the mix
    int64_t frames = 0;
};

struct SongMeasure {
    std::vector<int16_t> pcm;      // interleaved stereo, pre-roll included
    int64_t preroll_frames = 0;
    int64_t song_frames = 0;       // frames rendered while the song was playing
    int32_t order_count = 0;
    OrderLevels orders[SONG_METER_MAX_ORDERS];
    OrderLevels tail;              // after the last order, while the voices ring out
    double channel_peak[SONG_MAX_CHANNELS] = {};
    double channel_dc[SONG_MAX_CHANNELS] = {};   // mean contribution to one side
    double dc_left = 0, dc_right = 0; // mean sample value after the pre-roll
    int64_t full_scale_samples = 0;   // samples at -32768 or 32767
    int64_t mix_overflows = 0;        // frames where the unsaturated mix left 16 bits
};

// Renders the whole song plus tail_sec seconds after its end.
void song_meter_render(const uint8_t *image, double tail_sec, SongMeasure *m);
// Integrated loudness in LUFS of interleaved stereo at 44100 Hz.
double song_loudness_lufs(const int16_t *stereo, int64_t frames);
// True peak in dBTP (4x oversampled), of interleaved stereo.
double song_true_peak_dbtp(const int16_t *stereo, int64_t frames);
