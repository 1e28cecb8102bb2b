// The song clock and the sequencer, driven through render_audio without a
// sound device: pre-roll, publishing, seeking, row/tick timing, sequences,
// the beat accent and the end of the song.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/audio_device.h"
#include "audio/sequencer.h"
#include "audio/voices.h"
#include "song_fixture.h"

namespace {

constexpr int32_t ROW_SAMPLES = 3105;
constexpr int32_t ORDER_SAMPLES = 32 * ROW_SAMPLES;

uint32_t fake_ticks = 5000;
uint32_t fake_tick_source() { return fake_ticks; }

// A song of `orders` orders whose channels have no patterns unless a test adds them.
SongFixture empty_song(int orders)
{
    SongFixture f;
    f.orders = orders;
    f.resize();
    return f;
}

void start(SongFixture &f)
{
    sequencer_load_song(f.build());
    audio_tick_source = fake_tick_source;
    audio_prepare_clock();
    sequencer_start(0);
}

std::vector<int16_t> render_bytes(int bytes)
{
    std::vector<int16_t> out(bytes / 2);
    render_audio(nullptr, reinterpret_cast<uint8_t *>(out.data()), bytes);
    return out;
}

void render_buffers(int n)
{
    for (int i = 0; i < n; ++i) render_bytes(AUDIO_BUFFER_BYTES);
}

SongPosition position()
{
    SongPosition p = {};
    read_position(&p);
    return p;
}

// Pre-roll plus the first real buffer: the state every seek test starts from.
void start_playing(SongFixture &f)
{
    start(f);
    render_buffers(61);
}

} // namespace

TEST(Clock, PrerollIsConstantAndPublishesNothing)
{
    SongFixture f = empty_song(2);
    start(f);
    for (int b = 0; b < 60; ++b) {
        const std::vector<int16_t> buf = render_bytes(AUDIO_BUFFER_BYTES);
        for (int16_t v : buf) ASSERT_EQ(v, 1000) << "buffer " << b;
        const SongPosition p = position();
        ASSERT_EQ(p.start_ticks, 0u);
        ASSERT_EQ(p.buffer_count, 0);
        ASSERT_EQ(p.playing, 1);
    }
    fake_ticks = 7777;
    render_buffers(1);
    SongPosition p = position();
    EXPECT_EQ(p.start_ticks, 7777u);
    EXPECT_EQ(p.buffer_count, 1);
    EXPECT_EQ(p.order, 0);
    EXPECT_EQ(p.row, 0) << "the first buffer turns the start row into row 0 of the first order";

    // start_ticks keeps the first value while buffer_count runs on.
    fake_ticks = 9999;
    render_buffers(3);
    p = position();
    EXPECT_EQ(p.start_ticks, 7777u);
    EXPECT_EQ(p.buffer_count, 4);
    EXPECT_EQ(p.order, 1) << "order 0 was loaded at sample 3105";
    EXPECT_EQ(p.row, 1);
}

TEST(Clock, FirstRowIsProcessed3105SamplesIntoTheFirstRealBuffer)
{
    SongFixture f = empty_song(2);
    f.order(0, 3) = {1, 0};
    f.row(1, 0) = {60, 5, 0, 0, 0, 0};
    f.sequence(5, -1, {{0, 0, 0, 0, 0, 0, 0}});
    start(f);
    // The first real block (its publish moves to row 0 of the first order),
    // then frame by frame up to index 3104; the row tick runs at index 3105.
    render_buffers(61);
    for (int i = 1024; i < 3105; ++i) sequencer_render_frame();
    EXPECT_EQ(channels[3].sequence, 0);
    EXPECT_EQ(sequencer.next_order, 0);
    sequencer_render_frame();
    EXPECT_EQ(channels[3].sequence, 5);
    EXPECT_EQ(sequencer.next_order, 1);
    EXPECT_EQ(sequencer.next_row, 1);
    EXPECT_DOUBLE_EQ(channels[3].base_freq, 110.0 * std::pow(2.0, 9 / 12.0));
}

TEST(Clock, SongEndsAfterTheLastOrderAndStaysEnded)
{
    SongFixture f = empty_song(121);
    start(f);
    render_buffers(61);
    long frames = 1024;
    while (song.playing != 0) {
        sequencer_render_frame();
        ++frames;
        ASSERT_LT(frames, 13000000L);
    }
    // The end is found by the row step at the first row after 121 orders.
    EXPECT_EQ(frames - 1, ROW_SAMPLES + 121L * ORDER_SAMPLES);
    EXPECT_EQ(121L * ORDER_SAMPLES, 12022560L);
    EXPECT_EQ(sequencer.next_order, 121);

    // Published at the end of the buffer; a seek back cannot revive the song.
    render_buffers(1);
    EXPECT_EQ(position().playing, 0);
    seek_back();
    render_buffers(40);
    EXPECT_EQ(position().playing, 0);
    EXPECT_EQ(song.playing, 0);
}

TEST(Seek, ForwardSkipsTheRestOfTheOrderOncePerBuffer)
{
    SongFixture f = empty_song(10);
    start_playing(f);
    render_buffers(4 * 31); // well inside order 1
    const int32_t order = sequencer.next_order;
    ASSERT_GT(sequencer.next_row, 0);
    seek_forward();
    seek_forward();
    render_buffers(1);
    EXPECT_EQ(sequencer.seek_request, 1);
    EXPECT_EQ(sequencer.next_order, order);
    EXPECT_EQ(sequencer.next_row, 0) << "the next row step loads the next order";
    render_buffers(4);
    EXPECT_EQ(sequencer.next_order, order + 1) << "two presses within one buffer skip one order";
}

TEST(Seek, ForwardNearTheLastOrderDoesNothing)
{
    SongFixture f = empty_song(3);
    start_playing(f);
    // Play into the last order: next_order == order_count.
    while (sequencer.next_order < 3) render_buffers(1);
    render_buffers(5);
    const int32_t row = sequencer.next_row;
    ASSERT_GT(row, 0);
    seek_forward();
    render_buffers(1);
    EXPECT_EQ(sequencer.next_order, 3);
    EXPECT_NE(sequencer.next_row, 0);

    // next_order == order_count - 1: the last order is next to load; no skip either.
    SongFixture g = empty_song(3);
    start_playing(g);
    while (sequencer.next_order < 2) render_buffers(1);
    render_buffers(5);
    seek_forward();
    render_buffers(1);
    EXPECT_NE(sequencer.next_row, 0);
    EXPECT_EQ(sequencer.next_order, 2);
}

TEST(Seek, BackDependsOnHowFarIntoTheOrder)
{
    SongFixture f = empty_song(20);
    start_playing(f);
    while (sequencer.next_order < 10) render_buffers(1);
    // Late in the order being heard (9): back one step of two orders.
    while (sequencer.next_row <= 7) render_buffers(1);
    seek_back();
    render_buffers(1);
    EXPECT_EQ(sequencer.next_order, 8);
    EXPECT_EQ(sequencer.next_row, 0);
    EXPECT_EQ(sequencer.seek_request, 1);

    // Early in an order (next_row up to 7): two steps.
    while (sequencer.next_order != 9) render_buffers(1);
    ASSERT_LE(sequencer.next_row, 7);
    seek_back();
    render_buffers(1);
    EXPECT_EQ(sequencer.next_order, 5);
    EXPECT_EQ(sequencer.next_row, 0);

    // Two presses in one buffer, late: four steps, the first skipped.
    while (sequencer.next_order != 8 || sequencer.next_row <= 7) render_buffers(1);
    seek_back();
    seek_back();
    render_buffers(1);
    EXPECT_EQ(sequencer.next_order, 2);
}

TEST(Seek, BackFromTheSecondOrderRestartsTheSong)
{
    SongFixture f = empty_song(5);
    start_playing(f);
    while (sequencer.next_order < 1) render_buffers(1);
    ASSERT_EQ(sequencer.next_order, 1);
    seek_back();
    render_buffers(1);
    EXPECT_EQ(sequencer.next_order, 0);
    EXPECT_EQ(sequencer.next_row, 0);
    EXPECT_EQ(position().order, 0);
    render_buffers(4);
    EXPECT_EQ(sequencer.next_order, 1) << "order 0 plays again";
}

TEST(Sequencer, RowsStartNotesAndApplyEffects)
{
    SongFixture f = empty_song(2);
    f.order(0, 0) = {2, 12};
    f.row(2, 0) = {48, 3, 15, 0, 0, 0};     // speed command with parameter 0: no change
    f.row(2, 1) = {0, 0, 12, 0, 0x08, 0};   // no note: the effect still applies (volume 8/15)
    f.row(2, 2) = {55, 0, 0, 0, 0, 0};      // pitch change only
    f.sequence(3, -1, {{48, 0, 0, 0, 0, 0, 0}});
    start_playing(f);
    // Row 0 at sample 3105, row 1 at 6210, row 2 at 9315 (first real buffer = samples 0..1023).
    while (sequencer.next_row < 1 || sequencer.next_order < 1) sequencer_render_frame();
    ChannelState &ch = channels[0];
    EXPECT_EQ(ch.sequence, 3);
    EXPECT_EQ(ch.pattern, 2);
    EXPECT_EQ(ch.transpose, 12);
    EXPECT_DOUBLE_EQ(ch.base_freq, 110.0 * std::pow(2.0, (48 + 12 - 51) / 12.0));
    EXPECT_DOUBLE_EQ(ch.volume, 1.0);
    EXPECT_DOUBLE_EQ(ch.pan, 0.5);
    EXPECT_EQ(sequencer.speed, 8);
    EXPECT_DOUBLE_EQ(ch.freq, ch.base_freq) << "relative note 48 keeps the base";

    for (int i = 0; i < ROW_SAMPLES; ++i) sequencer_render_frame();
    EXPECT_DOUBLE_EQ(ch.volume, 8.0 / 15.0);
    EXPECT_EQ(ch.sequence, 3);

    ch.seq_step = 77; // a pitch-only note must not restart the sequence
    for (int i = 0; i < ROW_SAMPLES; ++i) sequencer_render_frame();
    const double f55 = 110.0 * std::pow(2.0, (55 + 12 - 51) / 12.0);
    EXPECT_DOUBLE_EQ(ch.freq, f55);
    EXPECT_DOUBLE_EQ(ch.target_freq, f55);
    EXPECT_GE(ch.seq_step, 77);
    EXPECT_DOUBLE_EQ(ch.volume, 8.0 / 15.0) << "volume is only reset by a new note";
}

TEST(Sequencer, SequencesStepLoopAndRestartVoices)
{
    SongFixture f = empty_song(2);
    f.order(0, 1) = {1, 0};
    f.row(1, 0) = {48, 4, 0, 0, 0, 0};
    f.sequence(4, 1,
               {{60, 1, 2, 14, 0, 2, 0},  // absolute note 60, instrument 2, speed 2
                {55, 0, 0, 0, 0, 0, 0},   // relative +7 semitones
                {0, 0, 9, 0, 0, 0, 0}});  // instrument without a note: ignored
    start_playing(f);
    while (channels[1].sequence == 0) sequencer_render_frame();
    ChannelState &ch = channels[1];
    // The first step runs in the same tick as the row.
    EXPECT_EQ(ch.instrument, 2);
    EXPECT_DOUBLE_EQ(ch.freq, 110.0 * std::pow(2.0, 9 / 12.0));
    EXPECT_EQ(ch.seq_speed, 2);
    EXPECT_EQ(ch.seq_countdown, 2);
    EXPECT_EQ(ch.seq_step, 1);

    const double base = ch.base_freq;
    std::vector<int32_t> steps;
    for (int tick = 0; tick < 9; ++tick) {
        for (int i = 0; i < SEQUENCER_TICK_SAMPLES; ++i) sequencer_render_frame();
        steps.push_back(ch.seq_step);
    }
    // One step every third tick (countdown 2), looping 1, 2, 1, 2, ...
    EXPECT_EQ(steps, (std::vector<int32_t>{1, 1, 2, 2, 2, 1, 1, 1, 2}));
    EXPECT_DOUBLE_EQ(ch.freq, base * std::pow(2.0, 7 / 12.0));
    EXPECT_EQ(ch.instrument, 2) << "step 2 has no note, so its instrument is ignored";
}

TEST(Sequencer, SequenceWithoutLoopStopsIssuingSteps)
{
    SongFixture f = empty_song(2);
    f.order(0, 0) = {1, 0};
    f.row(1, 0) = {48, 2, 0, 0, 0, 0};
    f.sequence(2, -1, {{50, 1, 1, 0, 0, 0, 0}, {0, 0, 0, 12, 0, 0x03, 0}});
    start_playing(f);
    while (channels[0].sequence == 0) sequencer_render_frame();
    for (int i = 0; i < 20 * SEQUENCER_TICK_SAMPLES; ++i) sequencer_render_frame();
    // Speed 1 steps every other tick: ten more steps in twenty ticks.
    EXPECT_EQ(channels[0].seq_step, 11) << "keeps counting past the end";
    EXPECT_DOUBLE_EQ(channels[0].volume, 3.0 / 15.0);
}

TEST(Sequencer, BeatAccentDecaysPerBuffer)
{
    SongFixture f = empty_song(2);
    f.order(0, 5) = {1, 0};
    f.row(1, 0) = {48, 12, 0, 0, 0, 0};
    f.sequence(12, -1, {{0, 0, 0, 0, 0, 0, 0}});
    start_playing(f);
    render_buffers(3);      // up to sample 4096: row 0 at 3105 sets the accent
    EXPECT_EQ(sequencer.beat_accent, 900);
    EXPECT_DOUBLE_EQ(position().beat_level, 0.9);
    render_buffers(1);
    EXPECT_EQ(sequencer.beat_accent, 810);
    render_buffers(1);
    EXPECT_EQ(sequencer.beat_accent, 729);
    render_buffers(200);
    EXPECT_EQ(sequencer.beat_accent, 0) << "truncation reaches zero";
}

TEST(Sequencer, NoteNumbersToHertz)
{
    EXPECT_DOUBLE_EQ(note_to_hz(51), 110.0);
    EXPECT_DOUBLE_EQ(note_to_hz(63), 220.0);
    EXPECT_NEAR(note_to_hz(48), 92.4986, 1e-4);
}

// The device may ask for any number of frames per callback; the song comes
// out the same and the clock still steps once per 1024-frame block.
TEST(Clock, AnyDeviceBufferGetsTheSameSoundAndOnePublishPerBlock)
{
    constexpr int BLOCKS = 60 + 300; // the pre-roll and about 7 s of the song
    constexpr int FRAMES = BLOCKS * AUDIO_BUFFER_FRAMES;
    auto prepare = [] {
        sequencer_load_song(quill_song_image);
        audio_tick_source = fake_tick_source;
        audio_prepare_clock();
        sequencer_start(0);
    };
    prepare();
    std::vector<int16_t> reference(size_t(FRAMES) * 2);
    for (int b = 0; b < BLOCKS; ++b) render_song_block(&reference[size_t(b) * AUDIO_BUFFER_FRAMES * 2]);
    ASSERT_GT(position().buffer_count, 0);
    ASSERT_NE(std::count(reference.begin() + 60 * AUDIO_BUFFER_FRAMES * 2, reference.end(), int16_t(0)),
              long(reference.size()) - 60 * AUDIO_BUFFER_FRAMES * 2)
        << "the song's first seconds are silent: nothing to compare";

    for (int device_frames : {128, 441, 512, 1000, 1024, 2048, 4096, 8192}) {
        prepare();
        std::vector<int16_t> heard;
        heard.reserve(size_t(FRAMES + 8192) * 2);
        while (heard.size() < reference.size()) {
            const std::vector<int16_t> buf = render_bytes(device_frames * 4);
            heard.insert(heard.end(), buf.begin(), buf.end());
            // Blocks begun so far, less the 60 of the pre-roll, each published once.
            const long begun = (long(heard.size()) / 2 + AUDIO_BUFFER_FRAMES - 1) / AUDIO_BUFFER_FRAMES;
            ASSERT_EQ(position().buffer_count, begun > 60 ? begun - 60 : 0) << device_frames << "-frame buffers";
        }
        heard.resize(reference.size());
        long first_difference = -1;
        for (size_t i = 0; i < heard.size() && first_difference < 0; ++i)
            if (heard[i] != reference[i]) first_difference = long(i / 2);
        EXPECT_EQ(first_difference, -1) << device_frames << "-frame buffers differ from frame " << first_difference;
    }
}
