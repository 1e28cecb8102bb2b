// A short hand-written song through the render routine, the sequencer and the
// mixer, compared frame by frame with values worked out from the song's rows:
// when each row sounds, what each voice plays, and how the three channels add
// up with their volumes, pans and truncations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "audio/audio_device.h"
#include "audio/sequencer.h"
#include "audio/voices.h"
#include "tests/song_fixture.h"

namespace {

uint32_t fixed_ticks() { return 42; }

// Channel 0: a pulse at note 52 from row 0, its volume dropped to 7/15 by a
// bare effect on row 8. Channel 1: a one-operator FM sine at note 51 (110 Hz)
// from row 4, panned hard right. Channel 2: a sample from row 2 whose
// sequence restarts it every 8 ticks, at volume 10/15.
const uint8_t *build_song(SongFixture &fx)
{
    fx.channels = 3;
    fx.master_volume = 100;
    fx.orders = 1;
    fx.resize();
    fx.order(0, 0) = {1, 0};
    fx.order(0, 1) = {2, 0};
    fx.order(0, 2) = {3, 0};
    fx.row(1, 0) = {52, 1, 0, 0, 0, 0};
    fx.row(1, 8) = {0, 0, 12, 0, 7, 0};
    fx.row(2, 4) = {51, 2, 0, 0, 0, 0};
    fx.row(3, 2) = {48, 3, 0, 0, 0, 0};
    fx.sequence(1, -1, {{48, 0, 1, 12, 0, 15, 0}});
    fx.sequence(2, -1, {{48, 0, 2, 13, 0, 7, 0}});
    fx.sequence(3, 0, {{48, 0, 3, 14, 12, 7, 10}});
    fx.ins[1].type = INSTRUMENT_PULSE;
    fx.ins[2].type = INSTRUMENT_FM;
    fx.ins[2].op[0] = OperatorDef{1, 1, 15, 0, 15, 0, 15, 0};
    fx.ins[3].type = INSTRUMENT_SAMPLE;
    fx.ins[3].sample_rate = 32000;
    fx.samples[3].resize(4000);
    for (size_t i = 0; i < fx.samples[3].size(); ++i) fx.samples[3][i] = int16_t(int(i * 37 % 20011) - 10005);
    return fx.build();
}

// Samples of the song after the pre-roll, as the render routine makes them.
struct Rendered {
    std::vector<int16_t> preroll, pcm; // interleaved left, right
    int end_buffer = -1;               // first real buffer that publishes playing = 0
    SongPosition last = {};
};

Rendered render(const uint8_t *image, int real_buffers)
{
    sequencer_load_song(image);
    audio_tick_source = fixed_ticks;
    audio_prepare_clock();
    sequencer_start(0);
    Rendered r;
    uint8_t buf[AUDIO_BUFFER_BYTES];
    int n = 0;
    while (n < real_buffers) {
        const bool preroll = song.preroll_buffers != 0;
        render_audio(nullptr, buf, AUDIO_BUFFER_BYTES);
        const int16_t *s = reinterpret_cast<const int16_t *>(buf);
        std::vector<int16_t> &dest = preroll ? r.preroll : r.pcm;
        dest.insert(dest.end(), s, s + 2 * AUDIO_BUFFER_FRAMES);
        if (preroll) continue;
        read_position(&r.last);
        if (r.last.playing == 0 && r.end_buffer < 0) r.end_buffer = n;
        ++n;
    }
    return r;
}

// Row r of the order is processed on the tick at frame 3105 * (r + 1): the
// first real buffer's first tick reads the start row and waits 8 ticks.
int row_frame(int r) { return 3105 * (r + 1); }

} // namespace

TEST(MixSong, FramesMatchTheRowsWorkedOutByHand)
{
    SongFixture fx;
    const Rendered r = render(build_song(fx), 40);
    ASSERT_EQ(r.preroll.size(), size_t(60 * 2 * AUDIO_BUFFER_FRAMES));
    for (int16_t v : r.preroll) ASSERT_EQ(v, 1000);
    ASSERT_EQ(r.pcm.size(), size_t(40 * 2 * AUDIO_BUFFER_FRAMES));

    const double pulse_hz = 110 * std::pow(2.0, 1 / 12.0);
    const double sample_hz = 110 * std::pow(2.0, -3 / 12.0);
    const double sample_step = 32000 * 2.4514679756253e-07 * sample_hz;
    double pulse_pos = 0, sample_pos = 0;
    int fm_phase = 0, checked_pulse = 0, checked_fm = 0, checked_sample = 0, restarts = 0;
    const int frames = int(r.pcm.size() / 2);
    for (int t = 0; t < frames; ++t) {
        double left = 0, right = 0;
        const auto add = [&](double v, double volume, double pan) {
            left = std::trunc(left + v * volume * 0.01 * (1 - pan) * 100 / 3);
            right = std::trunc(right + v * volume * pan * 1.0 / 3);
        };
        // Channel 0: the pulse, low for the first half of each cycle.
        if (t >= row_frame(0)) {
            pulse_pos += pulse_hz / 44100;
            const double v = pulse_pos - std::floor(pulse_pos) > 0.5 ? 32767 : -32768;
            add(v, t >= row_frame(8) ? 7 / 15.0 : 1.0, 0.5);
            ++checked_pulse;
        }
        // Channel 1: 110 Hz is 163 phase units a sample; full right.
        if (t >= row_frame(4)) {
            fm_phase = (fm_phase + 163) % 65536;
            add(std::sin(fm_phase * 2 * M_PI / 65536) * 2184.4666666666667 * 15, 1.0, 1.0);
            ++checked_fm;
        }
        // Channel 2: the sample from its start every 8 ticks.
        if (t >= row_frame(2)) {
            if ((t - row_frame(2)) % (8 * 345) == 0) {
                sample_pos = 0;
                ++restarts;
            }
            const int i = int(sample_pos);
            sample_pos += sample_step;
            add(fx.samples[3][size_t(i)], 10 / 15.0, 0.5);
            ++checked_sample;
        }
        ASSERT_EQ(r.pcm[2 * t], int16_t(left)) << "left, frame " << t;
        ASSERT_EQ(r.pcm[2 * t + 1], int16_t(right)) << "right, frame " << t;
    }
    // Before row 0 everything is silent; the harness walked every voice.
    EXPECT_EQ(r.pcm[2 * (row_frame(0) - 1)], 0);
    EXPECT_GT(checked_pulse, 30000);
    EXPECT_GT(checked_fm, 20000);
    EXPECT_GT(checked_sample, 30000);
    EXPECT_GE(restarts, 11);
}

TEST(MixSong, SongEndsAfterItsLastRowAndVoicesRingOn)
{
    SongFixture fx;
    const Rendered r = render(build_song(fx), 110);
    // The row step after row 31 finds the order list exhausted at frame
    // 3105 * 33 = 102465, inside real buffer 100.
    EXPECT_EQ(r.end_buffer, 102465 / AUDIO_BUFFER_FRAMES);
    EXPECT_EQ(r.last.playing, 0);
    EXPECT_EQ(r.last.start_ticks, 42u);
    // The voices keep sounding after the end: the FM sine on the right side.
    int moving = 0;
    for (size_t i = r.pcm.size() - 2048; i + 3 < r.pcm.size(); i += 2)
        if (r.pcm[i + 1] != r.pcm[i + 3]) ++moving;
    EXPECT_GT(moving, 900);
}
