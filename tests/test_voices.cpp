// Instrument voices and the mixer: effect commands, the three sources, the
// filter, the modulators, the mix, and a bit-for-bit comparison of the fast
// paths against a direct rendition of the voice formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "audio/sequencer.h"
#include "audio/voices.h"
#include "tests/song_fixture.h"

namespace {

// A song image whose instruments the tests fill in; the sequencer is never
// ticked here, the tests drive the channel records and mix_sample directly.
struct VoiceRig {
    SongFixture fx;
    void load(int channel_count = 1, int master_volume = 100)
    {
        fx.channels = channel_count;
        fx.master_volume = master_volume;
        fx.resize();
        sequencer_load_song(fx.build());
    }
};

OperatorDef op(int den, int num, int attack, int attack_shift, int decay, int decay_shift, int output, int mask)
{
    return OperatorDef{den, num, attack, attack_shift, decay, decay_shift, output, mask};
}

ChannelState &pulse_channel(int c, double freq)
{
    ChannelState &ch = channels[c];
    ch.instrument = 1;
    ch.freq = ch.target_freq = freq;
    ch.volume = 1.0;
    ch.pan = 0.5;
    return ch;
}

} // namespace

// --- Effect commands ---------------------------------------------------------

TEST(EffectCommands, PanPositionsAndSlopes)
{
    ChannelState ch = {};
    const struct { int lo; double pan; } cases[] = {
        {0, 0.5}, {7, 1.0}, {9, 0.0}, {15, 0.5 - 1.0 / 14}, {8, -1.0 / 14}, {3, 0.5 + 3.0 / 14}};
    for (const auto &c : cases) {
        apply_effect(&ch, 13, c.lo);
        EXPECT_DOUBLE_EQ(ch.pan, c.pan) << "lo " << c.lo;
    }
    apply_effect(&ch, 13, 0x13);
    EXPECT_DOUBLE_EQ(ch.pan_slope, 8e-6);
    apply_effect(&ch, 13, 0x1F);
    EXPECT_DOUBLE_EQ(ch.pan_slope, -2e-6);
    apply_effect(&ch, 13, 0x18);
    EXPECT_DOUBLE_EQ(ch.pan_slope, -256e-6);
    const double before = ch.pan;
    apply_effect(&ch, 13, 0x25); // hi >= 2 does nothing
    EXPECT_EQ(ch.pan, before);
    EXPECT_DOUBLE_EQ(ch.pan_slope, -256e-6);
}

TEST(EffectCommands, VolumeLevelResetsSlope)
{
    ChannelState ch = {};
    apply_effect(&ch, 12, 0x1F);
    EXPECT_DOUBLE_EQ(ch.volume_slope, -2e-6);
    apply_effect(&ch, 12, 0x17);
    EXPECT_DOUBLE_EQ(ch.volume_slope, 128e-6);
    apply_effect(&ch, 12, 0x06);
    EXPECT_DOUBLE_EQ(ch.volume, 6.0 / 15);
    EXPECT_EQ(ch.volume_slope, 0.0);
}

TEST(EffectCommands, FilterOnOffClearsStateAndSlopeIsSigned)
{
    ChannelState ch = {};
    ch.filter_w1 = 12.5;
    ch.filter_w2 = -3.0;
    apply_effect(&ch, 4, 0x03);
    EXPECT_EQ(ch.cutoff, 3 << 18);
    EXPECT_EQ(ch.filter_w1, 0.0);
    EXPECT_EQ(ch.filter_w2, 0.0);
    apply_effect(&ch, 4, 0x1E);
    EXPECT_EQ(ch.cutoff_slope, -2);
    apply_effect(&ch, 4, 0x17);
    EXPECT_EQ(ch.cutoff_slope, 7);
    ch.filter_w1 = 5.0;
    apply_effect(&ch, 4, 0x2F); // hi >= 2: nothing
    EXPECT_EQ(ch.cutoff, 3 << 18);
    EXPECT_EQ(ch.filter_w1, 5.0);
    apply_effect(&ch, 4, 0x00); // off, state cleared
    EXPECT_EQ(ch.cutoff, 0);
    EXPECT_EQ(ch.filter_w1, 0.0);
    apply_effect(&ch, 4, 0x0F);
    EXPECT_EQ(ch.cutoff, VOICE_CUTOFF_MAX);
}

TEST(EffectCommands, PulseWidthVibratoSlideAndSpeeds)
{
    ChannelState ch = {};
    apply_effect(&ch, 6, 0x0C);
    EXPECT_DOUBLE_EQ(ch.lfo, 12.0 / 15);
    apply_effect(&ch, 6, 0x19);
    EXPECT_DOUBLE_EQ(ch.lfo_slope, -128e-6);
    apply_effect(&ch, 6, 0x30);
    EXPECT_DOUBLE_EQ(ch.lfo, 12.0 / 15);

    // The vibrato phase restarts only when the depth changes.
    apply_effect(&ch, 5, 0x35);
    ch.vibrato_phase = 0.25;
    apply_effect(&ch, 5, 0x39);
    EXPECT_EQ(ch.vibrato_phase, 0.25);
    EXPECT_EQ(ch.vibrato_rate, 9);
    apply_effect(&ch, 5, 0x49);
    EXPECT_EQ(ch.vibrato_phase, 0.0);
    EXPECT_EQ(ch.vibrato_depth, 4);

    apply_effect(&ch, 1, 0x2A); // hi ignored
    EXPECT_EQ(ch.pitch_slide, -6);
    apply_effect(&ch, 3, 0xC8);
    EXPECT_EQ(ch.portamento, 200);

    ch.seq_speed = 1;
    apply_effect(&ch, 14, 0);
    EXPECT_EQ(ch.seq_speed, 1);
    apply_effect(&ch, 14, 7);
    EXPECT_EQ(ch.seq_speed, 7);
    sequencer.speed = 8;
    apply_effect(&ch, 15, 0);
    EXPECT_EQ(sequencer.speed, 8);
    apply_effect(&ch, 15, 5);
    EXPECT_EQ(sequencer.speed, 5);
    sequencer.speed = 8;
}

TEST(EffectCommands, UnusedCommandsChangeNothing)
{
    ChannelState ch = {};
    ch.volume = 0.3;
    ch.pan = 0.7;
    ch.cutoff = 1234;
    ch.lfo = 0.1;
    ChannelState before;
    std::memcpy(&before, &ch, sizeof ch);
    for (int command : {0, 2, 7, 8, 9, 10, 11, 16, 200, -1})
        for (int param : {0x00, 0x0F, 0x13, 0xFF}) apply_effect(&ch, command, param);
    EXPECT_EQ(std::memcmp(&ch, &before, sizeof ch), 0);
}

// --- Modulators ----------------------------------------------------------------

TEST(Modulators, VolumeSlopeFadesOutInHalfAMillionSamples)
{
    VoiceRig rig;
    rig.fx.ins[1].type = INSTRUMENT_PULSE;
    rig.load();
    ChannelState &ch = pulse_channel(0, 441.0);
    apply_effect(&ch, 12, 0x1F);
    for (int i = 0; i < 499990; ++i) mix_sample();
    EXPECT_GT(ch.volume, 0.0);
    EXPECT_LT(ch.volume, 1e-4);
    for (int i = 0; i < 20; ++i) mix_sample();
    EXPECT_EQ(ch.volume, 0.0);
    for (int i = 0; i < 1000; ++i) {
        const StereoSample s = mix_sample();
        ASSERT_EQ(s.left, 0);
        ASSERT_EQ(s.right, 0);
    }
    EXPECT_EQ(ch.volume, 0.0);
}

TEST(Modulators, LfoAndPanBounceVolumeClamps)
{
    VoiceRig rig;
    rig.load();
    ChannelState &ch = channels[0];
    ch.lfo = 0.999;
    ch.lfo_slope = 0.004;
    ch.pan = 0.002;
    ch.pan_slope = -0.004;
    ch.volume = 0.999;
    ch.volume_slope = 0.004;
    mix_sample();
    EXPECT_EQ(ch.lfo, 1.0);
    EXPECT_EQ(ch.lfo_slope, -0.004);
    EXPECT_EQ(ch.pan, 0.0);
    EXPECT_EQ(ch.pan_slope, 0.004);
    EXPECT_EQ(ch.volume, 1.0);
    EXPECT_EQ(ch.volume_slope, 0.004); // no bounce
    mix_sample();
    EXPECT_DOUBLE_EQ(ch.lfo, 0.996);
    EXPECT_DOUBLE_EQ(ch.pan, 0.004);
    EXPECT_EQ(ch.volume, 1.0);

    // A negative slope at the top is kept; a positive one at the bottom too.
    ch.lfo = 1.0;
    ch.lfo_slope = -0.5;
    mix_sample();
    EXPECT_EQ(ch.lfo_slope, -0.5);
}

TEST(Modulators, CutoffSlopeClampsAndSwitchesFilterOff)
{
    VoiceRig rig;
    rig.load();
    ChannelState &ch = channels[0];
    ch.filter_w1 = 50.0;
    ch.filter_w2 = 20.0;
    ch.cutoff = VOICE_CUTOFF_MAX - 3;
    ch.cutoff_slope = 7;
    mix_sample();
    EXPECT_EQ(ch.cutoff, VOICE_CUTOFF_MAX);
    ch.cutoff = 5;
    ch.cutoff_slope = -8;
    mix_sample();
    EXPECT_EQ(ch.cutoff, 0);
    // The filter is off now; its state stays as the last filtered sample left it.
    const double w1 = ch.filter_w1, w2 = ch.filter_w2;
    mix_sample();
    EXPECT_EQ(ch.filter_w1, w1);
    EXPECT_EQ(ch.filter_w2, w2);
}

TEST(Modulators, PitchSlideBeatsPortamento)
{
    VoiceRig rig;
    rig.load();
    ChannelState &ch = channels[0];
    ch.freq = 200.0;
    ch.target_freq = 500.0;
    ch.portamento = 150;
    ch.pitch_slide = -3;
    mix_sample();
    EXPECT_DOUBLE_EQ(ch.freq, 200.0 - 3 * 80.0 / 44100);
    ch.pitch_slide = 0;
    const double f0 = ch.freq;
    mix_sample();
    EXPECT_DOUBLE_EQ(ch.freq, f0 + (500.0 - f0) * 0.1);
    for (int i = 0; i < 2000; ++i) mix_sample();
    EXPECT_NEAR(ch.freq, 500.0, 1e-9);
}

// --- Sources ---------------------------------------------------------------------

TEST(PulseVoice, DutyCycleFollowsPulseWidth)
{
    VoiceRig rig;
    rig.fx.ins[1].type = INSTRUMENT_PULSE;
    rig.load();
    for (const auto &c : {std::pair{0.0, 0.5}, std::pair{1.0, 0.05}, std::pair{0.5, 0.275}}) {
        ChannelState &ch = pulse_channel(0, 441.0);
        ch.lfo = c.first;
        ch.sample_pos = 0.0;
        int high = 0;
        const int n = 44100;
        for (int i = 0; i < n; ++i) {
            mix_sample();
            if (ch.voice_out == 32767.0) ++high;
            else ASSERT_EQ(ch.voice_out, -32768.0);
        }
        EXPECT_NEAR(double(high) / n, c.second, 0.011) << "lfo " << c.first;
    }
}

TEST(SampleVoice, PlaysOnceThenSilenceWhilePositionRunsOn)
{
    VoiceRig rig;
    rig.fx.ins[2].type = INSTRUMENT_SAMPLE;
    rig.fx.ins[2].sample_rate = 30000;
    rig.fx.samples[2] = {100, -200, 300, -400, 500, -600, 700};
    rig.load();
    ChannelState &ch = channels[0];
    ch.instrument = 2;
    ch.freq = 123.0;
    ch.volume = 1.0;
    ch.pan = 0.5;
    const double step = 30000 * 2.4514679756253e-07 * 123.0; // about 0.9 per sample
    double pos = 0.0;
    for (int i = 0; i < 40; ++i) {
        const int index = int(pos);
        const double expected = index < 7 ? rig.fx.samples[2][index] : 0.0;
        mix_sample();
        ASSERT_EQ(ch.voice_out, expected) << "sample " << i;
        pos += step;
    }
    EXPECT_DOUBLE_EQ(ch.sample_pos, pos);
    EXPECT_GT(ch.sample_pos, 30.0);

    // A restart plays it again from the top.
    ch.sample_pos = 0.0;
    mix_sample();
    EXPECT_EQ(ch.voice_out, 100.0);
    mix_sample();
    EXPECT_EQ(ch.voice_out, 100.0); // 0.9: still the first sample
    mix_sample();
    EXPECT_EQ(ch.voice_out, -200.0);
}

TEST(SampleVoice, PositionBelowStartIsSilentAndNoDataIsSilent)
{
    VoiceRig rig;
    rig.fx.ins[2].type = INSTRUMENT_SAMPLE;
    rig.fx.ins[2].sample_rate = 44100;
    rig.fx.samples[2] = {1000, 2000, 3000};
    rig.fx.ins[3].type = INSTRUMENT_SAMPLE; // no data at all
    rig.fx.ins[3].sample_rate = 44100;
    rig.fx.ins[3].sample_length = 100;
    rig.load();
    ChannelState &ch = channels[0];
    ch.instrument = 2;
    ch.freq = -300.0; // a pitch slide can drive the frequency below zero
    ch.sample_pos = 2.5;
    mix_sample();
    EXPECT_EQ(ch.voice_out, 3000.0);
    for (int i = 0; i < 20; ++i) mix_sample();
    EXPECT_LT(ch.sample_pos, -1.0);
    EXPECT_EQ(ch.voice_out, 0.0);

    ch.instrument = 3;
    ch.sample_pos = 1.0;
    ch.freq = 92.5;
    mix_sample();
    EXPECT_EQ(ch.voice_out, 0.0);
    EXPECT_EQ(ch.sample_pos, 1.0);
}

TEST(SilentVoices, InstrumentZeroUnknownTypeAndOutOfTable)
{
    VoiceRig rig;
    rig.fx.ins[5].type = 7;
    rig.load();
    for (int instrument : {0, 5, SONG_INSTRUMENT_COUNT, 255, -3}) {
        ChannelState &ch = channels[0];
        ch = ChannelState{};
        ch.instrument = instrument;
        ch.freq = 440.0;
        ch.volume = 1.0;
        ch.pan = 0.5;
        const StereoSample s = mix_sample();
        EXPECT_EQ(ch.voice_out, 0.0);
        EXPECT_EQ(s.left, 0);
        EXPECT_EQ(s.right, 0);
    }
}

// --- FM voice -------------------------------------------------------------------

// Operator 0 is heard; operators 1 to 3 modulate it (instrument 4's shape).
// Each operator's attack takes its level to the target in one sample.
TEST(FmVoice, ModulatorsFeedWithPreviousSampleOutputs)
{
    VoiceRig rig;
    InstrumentDef &ins = rig.fx.ins[4];
    ins.type = INSTRUMENT_FM;
    ins.op[0] = op(1, 1, 15, 0, 15, 0, 15, 14);
    ins.op[1] = op(1, 3, 15, 0, 15, 0, 0, 0);
    ins.op[2] = op(1, 2, 6, 0, 6, 0, 0, 0);
    ins.op[3] = op(1, 5, 0, 0, 0, 0, 0, 0);
    rig.load();
    ChannelState &ch = channels[0];
    ch.instrument = 4;
    ch.freq = 220.0;
    ch.lfo = 0.75;
    const double c = 9.587379924285257e-05;
    // Steps: trunc(num * 220 * 65536/44100): 326, 980, 653, 1634.
    const int s0 = 326, s1 = 980, s2 = 653, s3 = 1634;

    mix_sample();
    // Sample 1: the modulators had produced nothing yet, so operator 0 runs
    // at its own step, and operator 3's level 0 gives no feedback.
    EXPECT_EQ(ch.op[0].phase, s0);
    EXPECT_EQ(ch.op[1].phase, s1);
    EXPECT_EQ(ch.op[2].phase, s2);
    EXPECT_EQ(ch.op[3].phase, s3);
    const double o1 = std::sin(s1 * c), o2 = std::sin(s2 * c) * 0.4, o3 = std::sin(s3 * c) * 0.75;
    EXPECT_EQ(ch.op[1].output, o1);
    EXPECT_EQ(ch.op[2].output, o2);
    EXPECT_EQ(ch.op[3].output, o3); // operator 3 is scaled by the lfo
    EXPECT_EQ(ch.voice_out, std::sin(s0 * c) * 2184.4666666666667 * 15);

    mix_sample();
    // Sample 2: operator 0's step picks up the three outputs of sample 1, one
    // after the other, each time truncated and folded into 16 bits.
    int step = s0;
    for (double o : {o1, o2, o3}) step = int(std::trunc(double(step & 0xFFFF) + 8192 * o));
    EXPECT_EQ(ch.op[0].phase, (s0 + (step & 0xFFFF)) & 0xFFFF);
    EXPECT_EQ(ch.op[1].phase, 2 * s1);
}

TEST(FmVoice, LowerOperatorsModulateWithThisSampleOutput)
{
    VoiceRig rig;
    InstrumentDef &ins = rig.fx.ins[4];
    ins.type = INSTRUMENT_FM;
    ins.op[0] = op(1, 1, 15, 0, 15, 0, 0, 0);
    ins.op[3] = op(0, 0, 15, 0, 15, 0, 15, 1); // no own step, driven by operator 0
    rig.load();
    ChannelState &ch = channels[0];
    ch.instrument = 4;
    ch.freq = 440.0;
    ch.lfo = 1.0;
    ch.op[0].phase = 0;
    mix_sample();
    // Operator 3's level is 1 from the first sample, so operator 0 feeds back
    // p^2/65536 = 0 from phase 0; its step is trunc(440 * 65536/44100) = 653.
    ASSERT_EQ(ch.op[0].phase, 653);
    const double o0 = std::sin(653 * 9.587379924285257e-05);
    EXPECT_EQ(ch.op[3].phase, int(std::trunc(8192 * o0)));
    EXPECT_EQ(ch.voice_out, std::sin(ch.op[3].phase * 9.587379924285257e-05) * 2184.4666666666667 * 15);
}

TEST(FmVoice, RatioDenominatorZeroAndPhaseSquaredFeedback)
{
    VoiceRig rig;
    InstrumentDef &ins = rig.fx.ins[4];
    ins.type = INSTRUMENT_FM;
    ins.op[0] = op(0, 9, 15, 0, 15, 0, 15, 0); // no step of its own
    ins.op[3] = op(0, 0, 15, 0, 7, 0, 0, 0);   // envelope 1, then 7/15
    rig.load();
    ChannelState &ch = channels[0];
    ch.instrument = 4;
    ch.freq = 300.0;
    mix_sample();
    EXPECT_EQ(ch.op[0].phase, 0); // 0 squared is 0: it never starts by itself
    ch.op[0].phase = 1000;
    mix_sample();
    EXPECT_EQ(ch.op[3].level, 1.0);
    EXPECT_EQ(ch.op[0].phase, 1015); // 1000^2 / 65536 = 15.26
    // Operator 3 has reached its decay level: weaker feedback,
    // 1015^2 * 7/15 / 65536 = 7.34.
    mix_sample();
    EXPECT_EQ(ch.op[3].level, 1.0 + (7.0 / 15 - 1.0));
    EXPECT_EQ(ch.op[0].phase, 1022);
    EXPECT_EQ(ch.voice_out, std::sin(1022 * 9.587379924285257e-05) * 2184.4666666666667 * 15);
}

TEST(FmVoice, NegativeStepsWrapInSixteenBits)
{
    VoiceRig rig;
    InstrumentDef &ins = rig.fx.ins[4];
    ins.type = INSTRUMENT_FM;
    ins.op[1] = op(1, 1, 15, 0, 15, 0, 0, 0);
    ins.op[2] = op(2, 1, 15, 0, 15, 0, 0, 0);
    rig.load();
    ChannelState &ch = channels[0];
    ch.instrument = 4;
    ch.freq = -110.0;
    mix_sample();
    // trunc(-110 * 65536/44100) = -163, low bits 65373; half of it -81: 65455.
    EXPECT_EQ(ch.op[1].phase, 65373);
    EXPECT_EQ(ch.op[2].phase, 65455);
    mix_sample();
    EXPECT_EQ(ch.op[1].phase, (2 * 65373) & 0xFFFF);
}

TEST(FmVoice, EnvelopeAttackThenDecayHeld)
{
    VoiceRig rig;
    InstrumentDef &ins = rig.fx.ins[4];
    ins.type = INSTRUMENT_FM;
    ins.op[0] = op(1, 1, 15, 1, 6, 2, 15, 0);
    rig.load();
    ChannelState &ch = channels[0];
    ch.instrument = 4;
    ch.freq = 100.0;
    // Attack halves the distance to 1 each sample; d before the update is
    // 1, 1/2, 1/4, 1/8, 1/16, 1/32, and the last is below 0.05.
    const double attack[] = {0.5, 0.75, 0.875, 0.9375, 0.96875};
    for (double expected : attack) {
        mix_sample();
        ASSERT_EQ(ch.op[0].level, expected);
        ASSERT_EQ(ch.op[0].stage, 0);
    }
    mix_sample();
    EXPECT_EQ(ch.op[0].level, 1.0 - 1.0 / 64);
    EXPECT_EQ(ch.op[0].stage, 1);
    // Decay moves a quarter of the way to 6/15 each sample and holds there.
    double level = ch.op[0].level;
    for (int i = 0; i < 3; ++i) {
        mix_sample();
        level += (6.0 / 15 - level) / 4;
        EXPECT_EQ(ch.op[0].level, level);
    }
    for (int i = 0; i < 500; ++i) mix_sample();
    EXPECT_NEAR(ch.op[0].level, 0.4, 1e-12);
    EXPECT_EQ(ch.op[0].stage, 1);
}

// Frequencies far outside any song (a pitch slide left running for hours)
// give steps beyond 64 bits; their low 16 bits are still those of the whole
// number, and NaN or infinity advance nothing.
TEST(FmVoice, HugeAndUndefinedStepsStayDefined)
{
    VoiceRig rig;
    InstrumentDef &ins = rig.fx.ins[4];
    ins.type = INSTRUMENT_FM;
    ins.op[1] = op(1, 1, 15, 0, 15, 0, 0, 0);
    rig.load();
    ChannelState &ch = channels[0];
    ch.instrument = 4;
    for (double f : {6.3e15, -6.3e15, 7.1e18, -9.9e18, 3.0e21}) {
        ch.freq = f;
        ch.op[1].phase = 0;
        mix_sample();
        const double step = std::trunc(f * 1.486077097505669);
        const __int128 whole = static_cast<__int128>(static_cast<long double>(step));
        EXPECT_EQ(ch.op[1].phase, int(uint64_t(whole) & 0xFFFF)) << "f " << f;
    }
    for (double f : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        ch.freq = f;
        ch.op[1].phase = 1234;
        mix_sample();
        EXPECT_EQ(ch.op[1].phase, 1234) << "f " << f;
    }
}

// --- Filter ---------------------------------------------------------------------

TEST(Filter, LowCutoffAttenuatesHighToneAndTopCutoffPassesIt)
{
    VoiceRig rig;
    rig.fx.ins[1].type = INSTRUMENT_PULSE;
    rig.load();
    for (int lo : {1, 15}) {
        ChannelState &ch = pulse_channel(0, 4410.0);
        ch.sample_pos = 0.0;
        apply_effect(&ch, 4, lo);
        double peak = 0.0;
        for (int i = 0; i < 8820; ++i) {
            mix_sample();
            if (i >= 4410) peak = std::max(peak, std::fabs(ch.voice_out));
        }
        if (lo == 1) EXPECT_LT(peak, 300.0); // about 68 Hz against 4410 Hz
        else EXPECT_GT(peak, 25000.0);
    }
}

TEST(Filter, CutoffZeroPassesSourceAndKeepsState)
{
    VoiceRig rig;
    rig.fx.ins[1].type = INSTRUMENT_PULSE;
    rig.load();
    ChannelState &ch = pulse_channel(0, 1000.0);
    ch.filter_w1 = 123.5;
    ch.filter_w2 = -7.25;
    for (int i = 0; i < 100; ++i) {
        mix_sample();
        ASSERT_TRUE(ch.voice_out == 32767.0 || ch.voice_out == -32768.0);
    }
    EXPECT_EQ(ch.filter_w1, 123.5);
    EXPECT_EQ(ch.filter_w2, -7.25);
}

TEST(Filter, FirstFilteredSampleMatchesWorkedValue)
{
    VoiceRig rig;
    rig.fx.ins[1].type = INSTRUMENT_PULSE;
    rig.load();
    ChannelState &ch = pulse_channel(0, 441.0);
    apply_effect(&ch, 4, 0x08);
    ch.filter_w1 = 100.0;
    ch.filter_w2 = 40.0;
    mix_sample(); // source -32768 (phase 0.01)
    // cutoff 8 << 18 = 2097152: omega = 0.557842...^2
    const double x = 2097152 * 2.66e-7, a = 1.0 / std::tan(x * x);
    const double w = (-32768.0 - 2 * (1 - a * a) * 100.0 + (1.16 * a - a * a - 1) * 40.0) / (1 + 1.16 * a + a * a);
    EXPECT_EQ(ch.filter_w1, w);
    EXPECT_EQ(ch.filter_w2, 100.0);
    EXPECT_EQ(ch.voice_out, std::trunc(w + 200.0 + 40.0));
    EXPECT_LT(ch.voice_out, 0.0);
}

// --- Mix ---------------------------------------------------------------------------

TEST(Mix, PanSplitsAndTruncatesTowardZero)
{
    VoiceRig rig;
    rig.fx.ins[1].type = INSTRUMENT_PULSE;
    rig.load(2, 100);
    ChannelState &ch = pulse_channel(0, 441.0);
    StereoSample s = mix_sample(); // low half of the cycle: -32768
    // -32768 * 0.01 * 0.5 * 100 / 2 = -8192 on both sides.
    EXPECT_EQ(s.left, -8192);
    EXPECT_EQ(s.right, -8192);
    ch.volume = 7.0 / 15;
    s = mix_sample(); // -3822.93 toward zero
    EXPECT_EQ(s.left, -3822);
    EXPECT_EQ(s.right, -3822);
    ch.volume = 1.0;
    ch.sample_pos = 0.6;
    s = mix_sample(); // high: 32767 * 0.25 = 8191.75
    EXPECT_EQ(s.left, 8191);
    EXPECT_EQ(s.right, 8191);
    apply_effect(&ch, 13, 8); // -1/14, bounced to 0 before mixing: all left
    s = mix_sample();
    EXPECT_EQ(ch.pan, 0.0);
    EXPECT_EQ(s.left, 16383);
    EXPECT_EQ(s.right, 0);
}

TEST(Mix, EachChannelIsTruncatedBeforeTheNextIsAdded)
{
    VoiceRig rig;
    rig.fx.ins[1].type = INSTRUMENT_PULSE;
    rig.load(3, 100);
    // Each channel adds 32767 * v * 0.01 * 1 * 100 / 3 = 0.9 on the left.
    const double v = 0.9 * 3 / 32767 / 1.0;
    for (int c = 0; c < 3; ++c) {
        ChannelState &ch = pulse_channel(c, 441.0);
        ch.sample_pos = 0.6;
        ch.volume = v;
        ch.pan = 0.0;
    }
    StereoSample s = mix_sample();
    EXPECT_EQ(s.left, 0); // not trunc(2.7)
    channels[1].volume = 2 * v;
    s = mix_sample();
    EXPECT_EQ(s.left, 1); // 0, then trunc(1.8), then trunc(1.9)
}

TEST(Mix, LoudSumSaturatesInsteadOfWrapping)
{
    VoiceRig rig;
    rig.fx.ins[1].type = INSTRUMENT_PULSE;
    rig.load(14, 504);
    for (int c = 0; c < 14; ++c) pulse_channel(c, 441.0);
    // Each channel: 32767 * 0.01 * 0.5 * 504 / 14 = 5898.06; 14 of them
    // make 82572, which the low 16 bits would turn into 17036.
    for (int c = 0; c < 14; ++c) channels[c].sample_pos = 0.6;
    StereoSample s = mix_sample();
    EXPECT_EQ(s.left, 32767);
    EXPECT_EQ(s.right, 32767);
    for (int c = 0; c < 14; ++c) channels[c].sample_pos = 0.0;
    s = mix_sample();
    EXPECT_EQ(s.left, -32768);
    EXPECT_EQ(s.right, -32768);
    // Three channels stay in range and are unchanged: 3 * 5898 = 17694.
    for (int c = 3; c < 14; ++c) channels[c].volume = 0.0;
    for (int c = 0; c < 14; ++c) channels[c].sample_pos = 0.6;
    s = mix_sample();
    EXPECT_EQ(s.left, 17694);
    EXPECT_EQ(s.right, 17694);
}

TEST(Mix, OnlySongChannelsAreMixed)
{
    VoiceRig rig;
    rig.fx.ins[1].type = INSTRUMENT_PULSE;
    rig.load(2, 100);
    pulse_channel(2, 441.0).sample_pos = 0.6;
    const StereoSample s = mix_sample();
    EXPECT_EQ(s.left, 0);
    EXPECT_EQ(channels[2].sample_pos, 0.6); // not advanced either
}

// --- Tables --------------------------------------------------------------------------

TEST(Tables, SineTableIsTheOperatorSine)
{
    const double *table = voice_sine_table();
    for (int p = 0; p < VOICE_SINE_SIZE; ++p)
        ASSERT_EQ(table[p], std::sin(p * 9.587379924285257e-05)) << "phase " << p;
    EXPECT_EQ(table[0], 0.0);
    EXPECT_EQ(table[16384], 1.0);
    EXPECT_EQ(table[49152], -1.0);
    EXPECT_NEAR(table[32768], 0.0, 1e-15);
}

TEST(Tables, ConstantsAreTheirDefinitions)
{
    EXPECT_EQ(VOICE_INV_RATE, 1.0 / 44100);
    EXPECT_EQ(VOICE_PHASE_PER_HZ, 65536.0 / 44100);
    EXPECT_EQ(VOICE_RAD_PER_PHASE, 2 * M_PI / 65536);
    EXPECT_DOUBLE_EQ(VOICE_OP_SCALE, 32767.0 / 15);
    EXPECT_NEAR(VOICE_SAMPLE_STEP, 1.0 / (44100 * 110 * std::pow(2.0, -0.25)), 1e-17);
    EXPECT_EQ(VOICE_PITCH_SLIDE, 80.0 / 44100);
    EXPECT_EQ(VOICE_PORTAMENTO, 1.0 / 1500);
    EXPECT_EQ(VOICE_CUTOFF_MAX, 3932160);
    // A sample at note 48 (110 * 2^(-3/12) Hz) plays at its recorded rate.
    EXPECT_NEAR(44100 * VOICE_SAMPLE_STEP * 110 * std::pow(2.0, -3.0 / 12), 1.0, 1e-10);
}

// --- The fast paths against the formulas ------------------------------------------

namespace {

// The voice formulas written out directly: libm sine and tangent at every use,
// envelope rates as divisions by powers of two, the phase steps recomputed
// every sample, 64-bit integers for the 16-bit phase arithmetic. The mix sums
// are returned unclamped.
struct RefFrame {
    double left, right;
};

uint32_t ref_low16(double v) { return uint32_t(int64_t(std::trunc(v)) & 0xFFFF); }

RefFrame ref_mix(ChannelState *chs, const uint8_t *image, int count, int master)
{
    const InstrumentDef *table = song_instruments_of(image);
    double L = 0, R = 0;
    for (int c = 0; c < count; ++c) {
        ChannelState &ch = chs[c];
        double f = ch.freq;
        if (ch.vibrato_depth != 0) {
            f += ch.vibrato_depth * std::sin(2 * M_PI * ch.vibrato_phase);
            const double x = ch.vibrato_phase + ch.vibrato_rate * (1.0 / 44100);
            ch.vibrato_phase = x - std::floor(x);
        }
        ch.voice_out = 0;
        if (ch.instrument > 0 && ch.instrument < SONG_INSTRUMENT_COUNT) {
            const InstrumentDef &def = table[ch.instrument];
            if (def.type == 0) {
                for (int k = 0; k < 4; ++k) {
                    const OperatorDef &od = def.op[k];
                    OperatorState &o = ch.op[k];
                    const double target = (o.stage == 0 ? od.attack_level : od.decay_level) / 15.0;
                    const int shift = o.stage == 0 ? od.attack_shift : od.decay_shift;
                    const double d = target - o.level;
                    o.level += d / std::pow(2.0, shift);
                    if (std::fabs(d) < 0.05) o.stage = 1;
                }
                for (int k = 0; k < 4; ++k) {
                    const OperatorDef &od = def.op[k];
                    OperatorState &o = ch.op[k];
                    int64_t step = od.ratio_den == 0 ? 0 : int64_t(std::trunc(od.ratio_num * f / od.ratio_den * (65536.0 / 44100)));
                    for (int j = 0; j < 4; ++j)
                        if (od.mod_mask & (1 << j)) step = int64_t(std::trunc(double(step & 0xFFFF) + 8192 * ch.op[j].output));
                    if (k == 0) {
                        const int64_t p = o.phase;
                        o.phase = uint16_t(p + ref_low16(double(step & 0xFFFF) + double(p) * double(p) * ch.op[3].level / 65536));
                    } else {
                        o.phase = uint16_t((o.phase + step) & 0xFFFF);
                    }
                    o.output = std::sin(o.phase * (2 * M_PI / 65536)) * (k < 3 ? o.level : ch.lfo);
                    ch.voice_out += o.output * (32767.0 / 15) * od.output_level;
                }
            } else if (def.type == 1 && def.sample_data != 0) {
                const int16_t *data = reinterpret_cast<const int16_t *>(image + def.sample_data);
                const double i = std::trunc(ch.sample_pos);
                ch.sample_pos += def.sample_rate * 2.4514679756253e-07 * f;
                if (i >= 0 && i < def.sample_length) ch.voice_out = data[int64_t(i)];
            } else if (def.type == 2) {
                ch.sample_pos += f * (1.0 / 44100);
                ch.voice_out = ch.sample_pos - std::floor(ch.sample_pos) > 0.45 * ch.lfo + 0.5 ? 32767 : -32768;
            }
        }
        if (ch.cutoff != 0) {
            const double x = ch.cutoff * 2.66e-7;
            const double omega = x * x; // a square, not libm's pow, whose last bit may differ
            const double a = 1 / std::tan(omega);
            const double w = (ch.voice_out - 2 * (1 - a * a) * ch.filter_w1 + (1.16 * a - a * a - 1) * ch.filter_w2) /
                             (1 + 1.16 * a + a * a);
            ch.voice_out = std::trunc(w + 2 * ch.filter_w1 + ch.filter_w2);
            ch.filter_w2 = ch.filter_w1;
            ch.filter_w1 = w;
        }
        ch.cutoff = std::clamp(ch.cutoff + ch.cutoff_slope, 0, 15 << 18);
        for (auto [v, s] : {std::pair{&ch.lfo, &ch.lfo_slope}, std::pair{&ch.pan, &ch.pan_slope}}) {
            *v += *s;
            if (*v > 1) {
                *v = 1;
                if (*s > 0) *s = -*s;
            } else if (*v < 0) {
                *v = 0;
                if (*s < 0) *s = -*s;
            }
        }
        ch.volume = std::clamp(ch.volume + ch.volume_slope, 0.0, 1.0);
        if (ch.pitch_slide != 0) ch.freq += ch.pitch_slide * (80.0 / 44100);
        else if (ch.portamento != 0) ch.freq += (ch.target_freq - ch.freq) * ch.portamento * (1.0 / 1500);
        L = std::trunc(L + ch.voice_out * ch.volume * 0.01 * (1 - ch.pan) * master / count);
        R = std::trunc(R + ch.voice_out * ch.volume * ch.pan * (master * 0.01) / count);
    }
    return {L, R};
}

int16_t clamp16(double v) { return int16_t(std::clamp(v, -32768.0, 32767.0)); }

void expect_same_voice(const ChannelState &a, const ChannelState &b, int c, int frame)
{
    const auto where = [&] { return ::testing::Message() << "channel " << c << " frame " << frame; };
    ASSERT_EQ(a.voice_out, b.voice_out) << where();
    ASSERT_EQ(a.freq, b.freq) << where();
    ASSERT_EQ(a.vibrato_phase, b.vibrato_phase) << where();
    ASSERT_EQ(a.sample_pos, b.sample_pos) << where();
    ASSERT_EQ(a.filter_w1, b.filter_w1) << where();
    ASSERT_EQ(a.filter_w2, b.filter_w2) << where();
    ASSERT_EQ(a.cutoff, b.cutoff) << where();
    ASSERT_EQ(a.lfo, b.lfo) << where();
    ASSERT_EQ(a.pan, b.pan) << where();
    ASSERT_EQ(a.volume, b.volume) << where();
    for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(a.op[k].phase, b.op[k].phase) << where() << " op " << k;
        ASSERT_EQ(a.op[k].output, b.op[k].output) << where() << " op " << k;
        ASSERT_EQ(a.op[k].level, b.op[k].level) << where() << " op " << k;
        ASSERT_EQ(a.op[k].stage, b.op[k].stage) << where() << " op " << k;
    }
}

} // namespace

// Random instruments and channel states, with note restarts, jumps of pitch
// and cutoff and instrument changes in between, so every cached value has to
// be dropped at the right moment.
TEST(Exactness, FastPathsMatchTheFormulasBitForBit)
{
    std::mt19937 rng(20261208);
    const auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const auto real = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };

    VoiceRig rig;
    for (int i = 1; i < SONG_INSTRUMENT_COUNT; ++i) {
        InstrumentDef &ins = rig.fx.ins[i];
        ins.type = i <= 12 ? INSTRUMENT_FM : i <= 15 ? INSTRUMENT_SAMPLE : i <= 17 ? INSTRUMENT_PULSE : 9;
        for (OperatorDef &o : ins.op)
            o = op(uni(0, 4), uni(0, 9), uni(0, 15), uni(0, 12), uni(0, 15), uni(0, 15), uni(0, 15), uni(0, 15));
        if (ins.type == INSTRUMENT_SAMPLE) {
            ins.sample_rate = std::array{44100, 33000, 22321}[uni(0, 2)];
            rig.fx.samples[i].resize(size_t(uni(50, 4000)));
            for (int16_t &s : rig.fx.samples[i]) s = int16_t(uni(-32768, 32767));
        }
    }
    rig.load(14, 504);
    const uint8_t *image = song_image;

    ChannelState ref[SONG_MAX_CHANNELS];
    const auto randomize = [&](ChannelState &ch, bool restart) {
        ch.instrument = uni(0, SONG_INSTRUMENT_COUNT - 1);
        ch.freq = ch.target_freq = real(-50.0, 3000.0);
        if (uni(0, 1)) ch.target_freq = real(20.0, 3000.0);
        ch.portamento = uni(0, 2) ? 0 : uni(1, 255);
        ch.pitch_slide = uni(0, 3) ? 0 : uni(-8, 7);
        ch.vibrato_depth = uni(0, 1) ? 0 : uni(1, 15);
        ch.vibrato_rate = uni(0, 15);
        ch.cutoff = uni(0, 2) ? 0 : uni(1, 15) << 18;
        ch.cutoff_slope = uni(0, 1) ? 0 : uni(-8, 7);
        ch.lfo = real(0.0, 1.0);
        ch.lfo_slope = real(-3e-4, 3e-4);
        ch.pan = real(0.0, 1.0);
        ch.pan_slope = uni(0, 1) ? 0.0 : real(-1e-4, 1e-4);
        ch.volume = real(0.0, 1.0);
        ch.volume_slope = uni(0, 1) ? 0.0 : real(-1e-5, 1e-5);
        if (restart) {
            for (OperatorState &o : ch.op) {
                o.level = 0.0;
                o.stage = 0;
            }
            ch.sample_pos = 0.0;
        }
    };
    for (int c = 0; c < 14; ++c) {
        randomize(channels[c], true);
        ref[c] = channels[c];
    }

    int frames = 0, fm_frames = 0, filtered = 0, subnormal_levels = 0, subnormal_outputs = 0;
    for (int frame = 0; frame < 60000; ++frame) {
        if (frame % 345 == 0) {
            // Tick-rate changes on a few channels, made to both copies.
            for (int n = uni(0, 3); n > 0; --n) {
                const int c = uni(0, 13);
                switch (uni(0, 3)) {
                case 0: randomize(channels[c], uni(0, 1)); break;
                case 1: channels[c].freq = real(30.0, 2000.0); break;
                case 2: apply_effect(&channels[c], 4, uni(0, 0x1F)); break;
                case 3: apply_effect(&channels[c], 5, uni(0, 0x4F)); break;
                }
                ref[c] = channels[c];
            }
        }
        const StereoSample fast = mix_sample();
        const RefFrame slow = ref_mix(ref, image, 14, 504);
        ASSERT_EQ(fast.left, clamp16(slow.left)) << "frame " << frame;
        ASSERT_EQ(fast.right, clamp16(slow.right)) << "frame " << frame;
        for (int c = 0; c < 14; ++c) {
            expect_same_voice(channels[c], ref[c], c, frame);
            if (HasFatalFailure()) return;
            const InstrumentDef &def = song_instruments_of(image)[channels[c].instrument];
            if (channels[c].instrument != 0 && def.type == INSTRUMENT_FM) ++fm_frames;
            for (const OperatorState &o : channels[c].op) {
                if (o.level != 0.0 && std::fabs(o.level) < DBL_MIN) ++subnormal_levels;
                if (o.output != 0.0 && std::fabs(o.output) < DBL_MIN) ++subnormal_outputs;
            }
            if (channels[c].cutoff != 0) ++filtered;
        }
        ++frames;
    }
    EXPECT_EQ(frames, 60000);
    EXPECT_GT(fm_frames, 100000); // the comparison really ran the operators
    EXPECT_GT(filtered, 50000);
    // Envelopes decaying to 0 reach subnormal levels, which take their own path.
    EXPECT_GT(subnormal_levels, 50000);
    EXPECT_GT(subnormal_outputs, 20000);
}
