// Song meter: offline rendering and the loudness, peak and per-order analysis.
#include "tools/song_meter.h"

#include <algorithm>
#include <cmath>

#include "audio/audio_device.h"
#include "audio/sequencer.h"
#include "audio/voices.h"

void song_meter_render(const uint8_t *image, double tail_sec, SongMeasure *m)
{
    sequencer_load_song(image);
    sequencer_start(0);
    m->order_count = song.order_count;
    m->pcm.clear();

    // The mixing gain per channel, as the mixer applies it (pan 0.5 taken as
    // the mean of both sides).
    const double gain = song.master_volume * 0.01 / song.channel_count * 0.5;
    const int64_t tail_frames = int64_t(tail_sec * AUDIO_RATE_HZ);
    int64_t after_end = 0;
    double sum_l = 0, sum_r = 0;
    int64_t counted = 0;
    double order_sq[SONG_METER_MAX_ORDERS + 1] = {};
    double chan_sq[SONG_METER_MAX_ORDERS + 1][SONG_MAX_CHANNELS] = {};

    while (after_end < tail_frames) {
        if (song.preroll_buffers != 0) {
            --song.preroll_buffers;
            for (int i = 0; i < AUDIO_BUFFER_FRAMES * 2; ++i) m->pcm.push_back(AUDIO_PREROLL_LEVEL);
            m->preroll_frames += AUDIO_BUFFER_FRAMES;
            continue;
        }
        for (int i = 0; i < AUDIO_BUFFER_FRAMES; ++i) {
            const StereoSample s = sequencer_render_frame();
            m->pcm.push_back(s.left);
            m->pcm.push_back(s.right);
            const int heard = sequencer.next_order - 1;
            int slot = SONG_METER_MAX_ORDERS; // the tail
            if (song.playing) {
                ++m->song_frames;
                if (heard < 0) continue; // the first rows before order 0 is loaded
                slot = std::min(heard, SONG_METER_MAX_ORDERS - 1);
            } else {
                ++after_end;
            }
            OrderLevels &lv = slot == SONG_METER_MAX_ORDERS ? m->tail : m->orders[slot];
            const double l = s.left, r = s.right;
            order_sq[slot] += (l * l + r * r) * 0.5;
            lv.peak = std::max({lv.peak, std::abs(int(s.left)), std::abs(int(s.right))});
            ++lv.frames;
            sum_l += l, sum_r += r, ++counted;
            if (s.left == 32767 || s.left == -32768) ++m->full_scale_samples;
            if (s.right == 32767 || s.right == -32768) ++m->full_scale_samples;
            double mix_l = 0, mix_r = 0;
            for (int c = 0; c < song.channel_count; ++c) {
                const ChannelState &ch = channels[c];
                const double v = ch.voice_out * ch.volume * gain;
                chan_sq[slot][c] += v * v;
                m->channel_peak[c] = std::max(m->channel_peak[c], std::fabs(v));
                m->channel_dc[c] += v;
                mix_l += ch.voice_out * ch.volume * (1 - ch.pan) * song.master_volume * 0.01 / song.channel_count;
                mix_r += ch.voice_out * ch.volume * ch.pan * song.master_volume * 0.01 / song.channel_count;
            }
            if (std::fabs(mix_l) > 32767 || std::fabs(mix_r) > 32767) ++m->mix_overflows;
        }
        sequencer_end_buffer();
        sequencer_apply_seek();
    }
    for (int o = 0; o <= SONG_METER_MAX_ORDERS; ++o) {
        OrderLevels &lv = o == SONG_METER_MAX_ORDERS ? m->tail : m->orders[o];
        if (!lv.frames) continue;
        lv.rms = std::sqrt(order_sq[o] / double(lv.frames));
        for (int c = 0; c < SONG_MAX_CHANNELS; ++c) lv.channel_rms[c] = std::sqrt(chan_sq[o][c] / double(lv.frames));
    }
    for (double &dc : m->channel_dc) dc = counted ? dc / double(counted) : 0;
    m->dc_left = counted ? sum_l / double(counted) : 0;
    m->dc_right = counted ? sum_r / double(counted) : 0;
}

namespace {

// Direct-form biquad.
struct Biquad {
    double b0, b1, b2, a1, a2;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double run(double x)
    {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        return y;
    }
};

// The two K-weighting stages (a high shelf of about +4 dB above 1.7 kHz and a
// high-pass near 38 Hz), derived for the sample rate from their analogue
// prototypes as BS.1770 gives them for 48 kHz.
void k_weighting(double rate, Biquad &shelf, Biquad &hp)
{
    const double pi = 3.14159265358979323846;
    {
        const double f0 = 1681.974450955533, gain_db = 3.999843853973347, q = 0.7071752369554196;
        const double k = std::tan(pi * f0 / rate);
        const double vh = std::pow(10.0, gain_db / 20.0), vb = std::pow(vh, 0.4996667741545416);
        const double a0 = 1.0 + k / q + k * k;
        shelf = {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0,
                 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    }
    {
        const double f0 = 38.13547087602444, q = 0.5003270373238773;
        const double k = std::tan(pi * f0 / rate);
        const double a0 = 1.0 + k / q + k * k;
        hp = {1.0, -2.0, 1.0, 2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    }
}

} // namespace

double song_loudness_lufs(const int16_t *stereo, int64_t frames)
{
    const double rate = AUDIO_RATE_HZ;
    Biquad shelf[2], hp[2];
    for (int c = 0; c < 2; ++c) k_weighting(rate, shelf[c], hp[c]);
    // Mean square per 100 ms step; blocks are four steps (400 ms, 75 % overlap).
    const int64_t step = int64_t(rate / 10);
    std::vector<double> steps;
    double acc = 0;
    int64_t n = 0;
    for (int64_t i = 0; i < frames; ++i) {
        for (int c = 0; c < 2; ++c) {
            const double y = hp[c].run(shelf[c].run(stereo[2 * i + c] / 32768.0));
            acc += y * y;
        }
        if (++n == step) {
            steps.push_back(acc / double(step));
            acc = 0, n = 0;
        }
    }
    std::vector<double> blocks;
    for (size_t i = 3; i < steps.size(); ++i) blocks.push_back((steps[i] + steps[i - 1] + steps[i - 2] + steps[i - 3]) / 4.0);
    auto lufs = [](double ms) { return -0.691 + 10.0 * std::log10(ms); };
    double sum = 0;
    int count = 0;
    for (double b : blocks)
        if (b > 0 && lufs(b) > -70.0) sum += b, ++count;
    if (!count) return -HUGE_VAL;
    const double relative_gate = lufs(sum / count) - 10.0;
    sum = 0, count = 0;
    for (double b : blocks)
        if (b > 0 && lufs(b) > -70.0 && lufs(b) > relative_gate) sum += b, ++count;
    return lufs(sum / count);
}

double song_true_peak_dbtp(const int16_t *stereo, int64_t frames)
{
    // 4x oversampling by a windowed-sinc interpolator, 12 taps per phase.
    constexpr int PHASES = 4, TAPS = 12;
    const double pi = 3.14159265358979323846;
    double h[PHASES][TAPS];
    for (int p = 0; p < PHASES; ++p)
        for (int t = 0; t < TAPS; ++t) {
            const double x = (t - TAPS / 2 + 1) - double(p) / PHASES; // distance in input samples
            const double sinc = x == 0 ? 1.0 : std::sin(pi * x) / (pi * x);
            const double w = 0.5 + 0.5 * std::cos(pi * x / (TAPS / 2));
            h[p][t] = sinc * w;
        }
    double peak = 0;
    for (int c = 0; c < 2; ++c)
        for (int64_t i = TAPS; i < frames; ++i)
            for (int p = 0; p < PHASES; ++p) {
                double v = 0;
                for (int t = 0; t < TAPS; ++t) v += h[p][t] * stereo[2 * (i - t) + c];
                peak = std::max(peak, std::fabs(v));
            }
    return 20.0 * std::log10(std::max(peak, 1.0) / 32768.0);
}
