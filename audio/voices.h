// Instrument voices and the stereo mixer. Owns the channel records: one
// monophonic voice per channel (four-operator phase modulation, sample player
// or pulse oscillator) with an optional resonant low-pass filter and slow
// modulators for volume, pan, pulse width, cutoff and pitch.
//
// Audio thread only (or the main thread in capture modes); never allocates.
// The only start-up work is one 65536-entry sine table filled by a static
// initializer of voices.cpp, before main runs.
//
// Exactness: the per-sample arithmetic is double precision in a fixed order of
// operations, so the same song renders to the same bytes on every run. The
// speed-ups (a sine table indexed by the 16-bit operator phase, phase steps and
// filter coefficients reused while their inputs are unchanged, envelope rates
// as multiplications by exact powers of two) give results identical to the
// direct formulas; tests/test_voices.cpp checks them against a direct
// re-implementation.
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

    // Derived values kept between samples; all of them are pure functions of
    // their key, so a zeroed record (key null or 0) simply recomputes them.
    // Instrument constants, keyed on the InstrumentDef they were taken from.
    const InstrumentDef *prepared_def;
    double env_target[4][2];    // [op][stage]: level / 15 of attack, decay
    double env_rate[4][2];      // [op][stage]: 1 / 2^shift
    int32_t env_shift[4][2];    // [op][stage]: shift
    double op_gain[4];          // output_level
    // Phase steps before modulation (low 16 bits), keyed on frequency and def.
    const InstrumentDef *step_def;
    double step_freq;
    uint32_t step_base[4];
    // Filter coefficients, keyed on the cutoff value (0 = none cached).
    int32_t filter_key;
    double filter_c1;           // 2(1 - a^2)
    double filter_c2;           // 1.16a - a^2 - 1
    double filter_den;          // 1 + 1.16a + a^2
};

extern ChannelState channels[SONG_MAX_CHANNELS];

struct StereoSample {
    int16_t left, right;
};

// Applies one effect command with its parameter byte (0..255; higher bits are
// ignored) to a channel. Command 15 sets the sequencer's speed.
void apply_effect(ChannelState *ch, int32_t command, int32_t param);
// Renders one output frame from channels 0 .. song.channel_count - 1 of the
// playing image (song_image) and advances their voices. Each side is the
// truncated sum of the channels, saturated to -32768..32767.
StereoSample mix_sample();

// sin(p * 2pi/65536) for every 16-bit operator phase p, computed with the
// same double expression the operators are defined by.
inline constexpr int VOICE_SINE_SIZE = 65536;
const double *voice_sine_table();

// Exact constants of the voice arithmetic.
inline constexpr double VOICE_INV_RATE = 2.2675736961451248e-05;    // 1/44100
inline constexpr double VOICE_PHASE_PER_HZ = 1.486077097505669;     // 65536/44100
inline constexpr double VOICE_RAD_PER_PHASE = 9.587379924285257e-05; // 2pi/65536
inline constexpr double VOICE_OP_SCALE = 2184.4666666666667;        // 32767/15
// 1/(44100 * 110 * 2^(-1/4)): a sample plays at its recorded rate at note 48.
inline constexpr double VOICE_SAMPLE_STEP = 2.4514679756253e-07;
inline constexpr double VOICE_CUTOFF_SCALE = 2.66e-7;
inline constexpr double VOICE_FILTER_DAMPING = 1.16;
inline constexpr double VOICE_PITCH_SLIDE = 0.0018140589569160999;  // 80 Hz/s per unit
inline constexpr double VOICE_PORTAMENTO = 0.0006666666666666666;   // 1/1500
inline constexpr double VOICE_SLOPE_UNIT = 1e-6;
inline constexpr int32_t VOICE_CUTOFF_MAX = 15 << 18;
