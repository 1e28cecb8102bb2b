// Instrument voices and the stereo mixer. Owns the channel records: one
// monophonic voice per channel (four-operator phase modulation, sample player
// or pulse oscillator) with an optional resonant low-pass filter and slow
// modulators for volume, pan, pulse width, cutoff and pitch.
//
// Audio thread only (or the main thread in capture modes); never allocates.
#pragma once

#include <cstdint>

#include "audio/song.h"

struct OperatorState {
    uint16_t phase; // 65536 = one cycle
    double output;  // last output
    int32_t stage;  // 0 = attack, 1 = decay
    double level;   // envelope, 0..1
};

struct ChannelState {
    int32_t pattern, transpose; // from the order list
    int32_t sequence;           // running sequence, 0 = none
    double base_freq;           // Hz, last pattern note
    double volume;              // 0..1
    double volume_slope;        // per sample
    int32_t vibrato_depth;      // Hz, 0 = off
    int32_t vibrato_rate;       // Hz
    double vibrato_phase;       // 0..1
    int32_t pitch_slide;        // freq changes by 80 Hz per second per unit
    int32_t seq_speed, seq_countdown, seq_step;
    int32_t instrument;         // index into the instrument table, 0 = silent
    double freq;                // Hz
    double target_freq;         // portamento target, Hz
    int32_t portamento;         // glide speed, 0 = jump
    double lfo;                 // 0..1: pulse width, amplitude of FM operator 3
    double lfo_slope;           // per sample
    OperatorState op[4];
    double sample_pos;          // sample read position, or pulse phase in cycles
    int32_t cutoff;             // 0..3932160 (15 << 18), 0 = filter off
    int32_t cutoff_slope;       // per sample
    double filter_w1, filter_w2;
    double voice_out;           // this sample's value before mixing
    double pan;                 // 0 = left only, 1 = right only
    double pan_slope;           // per sample
};

extern ChannelState channels[SONG_MAX_CHANNELS];

struct StereoSample {
    int16_t left, right;
};

// Applies one effect command with its parameter byte to a channel.
void apply_effect(ChannelState *ch, int32_t command, int32_t param);
// Renders one output frame from all song channels and advances their voices.
StereoSample mix_sample();
