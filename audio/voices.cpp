// Instrument voices and the stereo mixer.
//
// Every output frame each song channel computes one value from its instrument,
// optionally low-passes it, advances its slow modulators and adds its share
// into two integer accumulators. The arithmetic is double precision in a fixed
// order of operations: the song must render to the same bytes on every run,
// on the audio thread and in the offline export alike.
//
// Where the time goes, and why the fast paths are exact:
//  - Operator sines. An operator phase is 16 bits, so sin(phase * 2pi/65536)
//    takes only 65536 distinct arguments. The table below holds exactly the
//    value std::sin returns for each, computed from the same double product,
//    so a lookup is the call.
//  - Phase steps. trunc(num * f / den * 65536/44100) depends only on the
//    operator's ratio and the channel frequency. Without vibrato or a glide the
//    frequency stays put for thousands of samples, so the four steps (their low
//    16 bits, the only part any later operation uses) are kept until f or the
//    instrument changes.
//  - Filter coefficients. 1/tan(w) and the three sums built from it change only
//    with the cutoff; they are kept per channel, keyed on the cutoff value.
//  - Envelope rates. d / 2^shift is the same double as d * 2^-shift: both are
//    the correctly rounded quotient whenever 2^shift and 2^-shift are
//    representable, and both give the same zero or infinity when they are not.
//  - Overlap. One FM voice is a chain of dependent steps; the FM voices of a
//    frame are independent of one another until the final sum, so they run
//    four abreast (render_fm) and the processor overlaps their chains.
//  - Subnormals. An operator decaying to level 0 ends on subnormal levels if
//    its note is held (seconds at the slow rates), where the processor is
//    slow; those levels and the products made from them are computed on
//    their integer unit counts instead (see below). Flushing them to zero
//    would be faster still but would change the arithmetic.
// The vibrato sine and a sliding cutoff's tangent take arbitrary arguments and
// stay libm calls.
//
// Integer results of the formulas are kept in doubles (they are whole numbers
// far below 2^53) and truncated with trunc_whole below, which is defined for
// every input, including the NaN or infinity that a runaway filter could make.
#include "audio/voices.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "audio/sequencer.h"

ChannelState channels[SONG_MAX_CHANNELS] = {};

static double sine_table[VOICE_SINE_SIZE];
static_assert(VOICE_SINE_SIZE == 1 << 16, "the table is indexed by a 16-bit phase");
static_assert(std::numeric_limits<double>::is_iec559, "the subnormal paths read IEEE double bits");

static bool build_sine_table()
{
    for (int p = 0; p < VOICE_SINE_SIZE; ++p) sine_table[p] = std::sin(p * VOICE_RAD_PER_PHASE);
    return true;
}
// Filled before main, so the audio thread never sees a half-built table.
[[maybe_unused]] static const bool sine_table_ready = build_sine_table();

const double *voice_sine_table() { return sine_table; }

// --- Exact integer helpers -------------------------------------------------

// trunc(x) as a 64-bit integer, or INT64_MIN when it does not fit (and for
// NaN). On x86-64 this is the conversion instruction itself, which answers
// INT64_MIN in exactly those cases; elsewhere a range test does the same.
static inline int64_t trunc_or_min(double x)
{
#if defined(__x86_64__)
    return _mm_cvttsd_si64(_mm_set_sd(x));
#else
    return (x > -9.2e18 && x < 9.2e18) ? int64_t(x) : INT64_MIN;
#endif
}

// Conversion toward zero, as a double. Beyond the int64 range x is whole
// already; NaN passes through.
static inline double trunc_whole(double x)
{
    const int64_t t = trunc_or_min(x);
    return t != INT64_MIN ? double(t) : x;
}

static inline double floor_whole(double x)
{
    const double t = trunc_whole(x);
    return t > x ? t - 1.0 : t;
}

static uint32_t low16_of_large(double x)
{
    if (!std::isfinite(x)) return 0;
    // x is whole here; fmod is exact and keeps the sign.
    return uint32_t(int64_t(std::fmod(x, 65536.0))) & 0xFFFFu;
}

// trunc(x) mod 65536 as 0..65535, also for negative x (two's complement low
// bits); 0 for NaN and infinities.
static inline uint32_t low16_of_trunc(double x)
{
    const int64_t t = trunc_or_min(x);
    if (t != INT64_MIN) return uint32_t(uint64_t(t)) & 0xFFFFu;
    return low16_of_large(x);
}

// --- Subnormal levels ------------------------------------------------------
//
// An envelope decaying to level 0 ends below DBL_MIN, where the processor
// computes slowly (measured: an all-FM passage of held notes at 1.65 times
// the cost). There the arithmetic is done on the integer count of 2^-1074
// units that a positive subnormal is, with exactly the results the floating
// point operations give; and terms that cannot move a truncated sum (a
// subnormal added to a whole number) are left out.

static inline uint64_t bits_of(double x)
{
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

static inline double double_of(uint64_t b)
{
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// Below the smallest normal double, zero included (NaN is not).
static inline bool below_normal(double x) { return std::fabs(x) < DBL_MIN; }

// level + (0 - level) / 2^shift for a positive subnormal level: m - RNE(m / 2^shift) units.
static inline double decay_subnormal(double level, int32_t shift)
{
    const uint64_t m = bits_of(level);
    uint64_t q = 0;
    if (shift == 0) {
        q = m;
    } else if (shift < 60) { // beyond, m / 2^shift is below half a unit
        const uint64_t whole = m >> shift, rest = m & ((uint64_t(1) << shift) - 1);
        const uint64_t half = uint64_t(1) << (shift - 1);
        q = whole + (rest > half || (rest == half && (whole & 1)));
    }
    return double_of(m - q);
}

// t * level for a positive subnormal level below 2^-1024 and |t| <= 1: the
// product of t and the unit count m, rounded to a whole count. fl(t * m) and
// t * m round to the same whole number unless fl(t * m) lands exactly on a
// half, which falls back to the multiplication itself.
static inline double times_subnormal(double t, double level)
{
    const double p = t * double(bits_of(level));
    constexpr double ROUNDER = 6755399441055744.0; // 1.5 * 2^52: adding it rounds |p| < 2^50 to a whole number
    const double n = (p + ROUNDER) - ROUNDER;
    if (std::fabs(p - n) == 0.5) return t * level;
    const double r = double_of(uint64_t(std::fabs(n)));
    return std::signbit(t) ? -r : r;
}

static inline int16_t saturate16(double v)
{
    if (v >= 32767.0) return 32767;
    if (v <= -32768.0) return -32768;
    if (v != v) return 0;
    return int16_t(v);
}

// --- Effect commands -------------------------------------------------------

// lo as a signed nibble: 8..15 are -8..-1.
static inline int32_t signed_nibble(int32_t lo) { return lo <= 7 ? lo : lo - 16; }

// Per-sample slope: 2^lo units up for lo <= 7, 2^(16 - lo) units down above.
static inline double slope_rate(int32_t lo)
{
    return lo <= 7 ? double(1 << lo) * VOICE_SLOPE_UNIT : -(double(1 << (16 - lo)) * VOICE_SLOPE_UNIT);
}

void apply_effect(ChannelState *ch, int32_t command, int32_t param)
{
    param &= 0xFF;
    const int32_t hi = param >> 4, lo = param & 15;
    switch (command) {
    case 1: ch->pitch_slide = signed_nibble(lo); break;
    case 3: ch->portamento = param; break;
    case 4:
        if (hi == 0) {
            ch->cutoff = lo << 18;
            ch->filter_w1 = 0.0;
            ch->filter_w2 = 0.0;
        } else if (hi == 1) {
            ch->cutoff_slope = signed_nibble(lo);
        }
        break;
    case 5:
        if (hi != ch->vibrato_depth) ch->vibrato_phase = 0.0;
        ch->vibrato_depth = hi;
        ch->vibrato_rate = lo;
        break;
    case 6:
        if (hi == 0) ch->lfo = lo / 15.0;
        else if (hi == 1) ch->lfo_slope = slope_rate(lo);
        break;
    case 12:
        if (hi == 0) {
            ch->volume = lo / 15.0;
            ch->volume_slope = 0.0;
        } else if (hi == 1) {
            ch->volume_slope = slope_rate(lo);
        }
        break;
    case 13:
        if (hi == 0) ch->pan = lo <= 7 ? 0.5 + lo / 14.0 : 0.5 - (16 - lo) / 14.0;
        else if (hi == 1) ch->pan_slope = slope_rate(lo);
        break;
    case 14:
        if (param != 0) ch->seq_speed = param;
        break;
    case 15:
        if (param != 0) sequencer.speed = param;
        break;
    default: break; // 0, 2, 7 to 11 and anything above 15 do nothing
    }
}

// --- Sources ---------------------------------------------------------------

static void prepare_instrument(ChannelState &ch, const InstrumentDef *def)
{
    for (int k = 0; k < 4; ++k) {
        const OperatorDef &od = def->op[k];
        ch.env_target[k][0] = od.attack_level / 15.0;
        ch.env_target[k][1] = od.decay_level / 15.0;
        ch.env_rate[k][0] = 1.0 / std::ldexp(1.0, od.attack_shift);
        ch.env_rate[k][1] = 1.0 / std::ldexp(1.0, od.decay_shift);
        ch.env_shift[k][0] = od.attack_shift;
        ch.env_shift[k][1] = od.decay_shift;
        ch.op_gain[k] = od.output_level;
    }
    ch.prepared_def = def;
}

static void prepare_steps(ChannelState &ch, const InstrumentDef *def, double f)
{
    for (int k = 0; k < 4; ++k) {
        const OperatorDef &od = def->op[k];
        // x / 1 is x exactly, and the usual denominator is 1.
        const double scaled = od.ratio_den == 1 ? od.ratio_num * f : od.ratio_num * f / od.ratio_den;
        ch.step_base[k] = od.ratio_den == 0 ? 0u : low16_of_trunc(scaled * VOICE_PHASE_PER_HZ);
    }
    ch.step_def = def;
    ch.step_freq = f;
}

// Four operators: envelopes first, then the operators in index order, each
// modulated by the outputs its mask names (this sample's for lower indices,
// the previous sample's for its own and higher ones). Operator 0 also gets a
// phase-squared feedback whose strength is operator 3's envelope; operator 3
// is scaled by the channel's lfo instead of its own envelope.
//
// Within one voice every step waits for the one before (a modulated phase
// needs the modulator's output, which needs its table lookup), so one voice
// leaves most of the processor idle. N voices are therefore run side by side,
// each stage for all of them before the next stage: their chains are
// independent and overlap. The arithmetic of each voice is unchanged.
//
// In careful mode (some envelope of the group is subnormal) the tiny values
// take the integer path and the terms they cannot affect are skipped;
// otherwise the plain arithmetic runs alone.
template <int N, bool careful>
static inline void run_operators(ChannelState *const *chs, const InstrumentDef *const *defs)
{
    double out[N];
    #pragma GCC unroll 4
    for (int n = 0; n < N; ++n) out[n] = 0.0;
    for (int k = 0; k < 4; ++k) {
        uint32_t step[N];
        #pragma GCC unroll 4
        for (int n = 0; n < N; ++n) {
            const ChannelState &ch = *chs[n];
            step[n] = ch.step_base[k];
            const int32_t mask = defs[n]->op[k].mod_mask;
            if (mask & 15)
                for (int j = 0; j < 4; ++j)
                    // step is whole and 0..65535: a subnormal modulator cannot move it.
                    if ((mask >> j & 1) && !(careful && below_normal(ch.op[j].output)))
                        step[n] = low16_of_trunc(double(step[n]) + 8192.0 * ch.op[j].output);
        }
        #pragma GCC unroll 4
        for (int n = 0; n < N; ++n) {
            ChannelState &ch = *chs[n];
            OperatorState &o = ch.op[k];
            // (A subnormal feedback, at most 2^-1006, cannot move the whole step.)
            if (k == 0 && !(careful && below_normal(ch.op[3].level))) {
                const double p = o.phase;
                o.phase = uint16_t(o.phase + low16_of_trunc(double(step[n]) + p * p * ch.op[3].level / 65536.0));
            } else {
                o.phase = uint16_t(o.phase + step[n]);
            }
        }
        #pragma GCC unroll 4
        for (int n = 0; n < N; ++n) {
            ChannelState &ch = *chs[n];
            OperatorState &o = ch.op[k];
            const double amplitude = k < 3 ? o.level : ch.lfo;
            if (careful && amplitude > 0.0 && amplitude < 0x1p-1024) {
                o.output = times_subnormal(sine_table[o.phase], amplitude);
                // A silent operator adds a zero.
                if (ch.op_gain[k] == 0.0) continue;
            } else {
                o.output = sine_table[o.phase] * amplitude;
            }
            out[n] += o.output * VOICE_OP_SCALE * ch.op_gain[k];
        }
    }
    #pragma GCC unroll 4
    for (int n = 0; n < N; ++n) chs[n]->voice_out = out[n];
}

template <int N>
static inline void render_fm(ChannelState *const *chs, const InstrumentDef *const *defs, const double *fs)
{
    #pragma GCC unroll 4
    for (int n = 0; n < N; ++n) {
        ChannelState &ch = *chs[n];
        if (ch.prepared_def != defs[n]) prepare_instrument(ch, defs[n]);
        if (ch.step_def != defs[n] || !(ch.step_freq == fs[n])) prepare_steps(ch, defs[n], fs[n]);
    }

    bool tiny = false;
    for (int k = 0; k < 4; ++k)
        #pragma GCC unroll 4
        for (int n = 0; n < N; ++n) {
            ChannelState &ch = *chs[n];
            OperatorState &o = ch.op[k];
            const int s = o.stage != 0;
            const double target = ch.env_target[k][s];
            if (__builtin_expect(o.level < DBL_MIN && o.level > 0.0, 0)) {
                tiny = true;
                if (target == 0.0 && ch.env_shift[k][s] >= 0) {
                    o.level = decay_subnormal(o.level, ch.env_shift[k][s]);
                    o.stage = 1; // |d| is the tiny level
                    continue;
                }
            }
            const double d = target - o.level;
            o.level += d * ch.env_rate[k][s];
            if (std::fabs(d) < 0.05) o.stage = 1;
        }

    if (__builtin_expect(tiny, 0)) run_operators<N, true>(chs, defs);
    else run_operators<N, false>(chs, defs);
}

// A sample plays once from its start; past either end it is silent while the
// read position keeps moving. (A position driven below zero by a downward
// pitch slide would otherwise read before the start of the data.)
static inline double render_sample(ChannelState &ch, const InstrumentDef *def, double f)
{
    const int16_t *data = song_samples_of(song_image, *def);
    if (!data) return 0.0;
    const double i = trunc_whole(ch.sample_pos);
    ch.sample_pos += def->sample_rate * VOICE_SAMPLE_STEP * f;
    return (i >= 0.0 && i < double(def->sample_length)) ? double(data[int64_t(i)]) : 0.0;
}

static inline double render_pulse(ChannelState &ch, double f)
{
    ch.sample_pos += f * VOICE_INV_RATE;
    const double frac = ch.sample_pos - floor_whole(ch.sample_pos);
    return frac > 0.45 * ch.lfo + 0.5 ? 32767.0 : -32768.0;
}

// Bilinear two-pole low-pass: w = (x - c1 w1 + c2 w2) / den, y = w + 2 w1 + w2.
static inline void run_filter(ChannelState &ch)
{
    if (ch.filter_key != ch.cutoff) {
        const double x = ch.cutoff * VOICE_CUTOFF_SCALE;
        const double omega = x * x;
        const double a = 1.0 / std::tan(omega);
        const double a2 = a * a;
        ch.filter_c1 = 2.0 * (1.0 - a2);
        ch.filter_c2 = VOICE_FILTER_DAMPING * a - a2 - 1.0;
        ch.filter_den = 1.0 + VOICE_FILTER_DAMPING * a + a2;
        ch.filter_key = ch.cutoff;
    }
    const double w = (ch.voice_out - ch.filter_c1 * ch.filter_w1 + ch.filter_c2 * ch.filter_w2) / ch.filter_den;
    ch.voice_out = trunc_whole(w + 2.0 * ch.filter_w1 + ch.filter_w2);
    ch.filter_w2 = ch.filter_w1;
    ch.filter_w1 = w;
}

// Adds the slope and folds the value back into 0..1, turning the slope round
// at either end (a triangle).
static inline void bounce(double &value, double &slope)
{
    value += slope;
    if (value > 1.0) {
        value = 1.0;
        if (slope > 0.0) slope = -slope;
    } else if (value < 0.0) {
        value = 0.0;
        if (slope < 0.0) slope = -slope;
    }
}

static inline void advance_modulators(ChannelState &ch)
{
    int64_t cutoff = int64_t(ch.cutoff) + ch.cutoff_slope;
    if (cutoff < 0) cutoff = 0;
    if (cutoff > VOICE_CUTOFF_MAX) cutoff = VOICE_CUTOFF_MAX;
    ch.cutoff = int32_t(cutoff);

    bounce(ch.lfo, ch.lfo_slope);
    bounce(ch.pan, ch.pan_slope);

    ch.volume += ch.volume_slope;
    if (ch.volume < 0.0) ch.volume = 0.0;
    if (ch.volume > 1.0) ch.volume = 1.0;

    if (ch.pitch_slide != 0) ch.freq += ch.pitch_slide * VOICE_PITCH_SLIDE;
    else if (ch.portamento != 0) ch.freq += (ch.target_freq - ch.freq) * ch.portamento * VOICE_PORTAMENTO;
}

// --- The mix ---------------------------------------------------------------

StereoSample mix_sample()
{
    const InstrumentDef *table = song_image ? song_instruments_of(song_image) : nullptr;
    int32_t count = song.channel_count;
    if (count > SONG_MAX_CHANNELS) count = SONG_MAX_CHANNELS;
    const double master = song.master_volume;
    const double master_right = master * 0.01;
    const double divisor = song.channel_count;

    // Channels are independent until they are summed, so the FM voices are
    // gathered and rendered four at a time (see render_fm); the sum below still
    // adds the channels in index order.
    ChannelState *fm_channels[SONG_MAX_CHANNELS];
    const InstrumentDef *fm_defs[SONG_MAX_CHANNELS];
    double fm_freqs[SONG_MAX_CHANNELS];
    int fm_count = 0;

    for (int32_t c = 0; c < count; ++c) {
        ChannelState &ch = channels[c];

        double f = ch.freq;
        if (ch.vibrato_depth != 0) {
            f += ch.vibrato_depth * std::sin(6.283185307179586 * ch.vibrato_phase);
            const double phase = ch.vibrato_phase + ch.vibrato_rate * VOICE_INV_RATE;
            ch.vibrato_phase = phase - floor_whole(phase);
        }

        const InstrumentDef *def =
            (table && ch.instrument > 0 && ch.instrument < SONG_INSTRUMENT_COUNT) ? &table[ch.instrument] : nullptr;
        double out = 0.0;
        if (def) {
            switch (def->type) {
            case INSTRUMENT_FM:
                fm_channels[fm_count] = &ch;
                fm_defs[fm_count] = def;
                fm_freqs[fm_count] = f;
                ++fm_count;
                break;
            case INSTRUMENT_SAMPLE: out = render_sample(ch, def, f); break;
            case INSTRUMENT_PULSE: out = render_pulse(ch, f); break;
            default: break;
            }
        }
        ch.voice_out = out;
    }

    int i = 0;
    for (; i + 4 <= fm_count; i += 4) render_fm<4>(fm_channels + i, fm_defs + i, fm_freqs + i);
    for (; i + 2 <= fm_count; i += 2) render_fm<2>(fm_channels + i, fm_defs + i, fm_freqs + i);
    if (i < fm_count) render_fm<1>(fm_channels + i, fm_defs + i, fm_freqs + i);

    double left = 0.0, right = 0.0;
    for (int32_t c = 0; c < count; ++c) {
        ChannelState &ch = channels[c];
        if (ch.cutoff != 0) run_filter(ch);
        advance_modulators(ch);

        // A silent voice adds a zero of either sign, which leaves the whole
        // number in each accumulator as it is.
        if (ch.voice_out == 0.0) continue;
        left = trunc_whole(left + ch.voice_out * ch.volume * 0.01 * (1.0 - ch.pan) * master / divisor);
        right = trunc_whole(right + ch.voice_out * ch.volume * ch.pan * master_right / divisor);
    }
    return {saturate16(left), saturate16(right)};
}
