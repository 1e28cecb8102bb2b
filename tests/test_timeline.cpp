// The schedule without a window: scene choice and knob values at chosen song
// positions, each worked out by hand from the section tables.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "audio/audio_device.h"
#include "timeline/timeline.h"

namespace {

constexpr double EPS = 1e-9;

// A published position: order and row as the audio side publishes them (the
// next ones to read), so order 1 row 5 means ch 0, row 4 being heard.
SongPosition at(int32_t order, int32_t row, double t, double bl = 0.0)
{
    SongPosition p = {};
    p.order = order;
    p.row = row;
    p.elapsed = t;
    p.beat_level = bl;
    p.playing = 1;
    return p;
}

// Heard ch and row a, for readability.
SongPosition heard(int32_t ch, int32_t a, double t, double bl = 0.0)
{
    return at(ch + 1, a + 1 == 32 ? 0 : a + 1, t, bl);
}

double raised(double x) { return 0.5 - 0.5 * std::cos(std::numbers::pi * x); }

} // namespace

TEST(Timeline, ClockDerivation)
{
    SongClock c = song_clock_from(at(0, 0, 0.0));
    EXPECT_EQ(c.ch, -1); // before the first order is loaded
    EXPECT_EQ(c.a, 31);  // row 0 published: row 31 of the previous order heard
    EXPECT_EQ(c.row_count, 31);

    c = song_clock_from(at(45, 12, 100.0, 0.3));
    EXPECT_EQ(c.ch, 44);
    EXPECT_EQ(c.a, 11);
    EXPECT_EQ(c.row_count, 32 * 45 + 11);
    EXPECT_DOUBLE_EQ(c.bl, 0.3);
}

TEST(Timeline, RampsClampAndSongCurveSpansWholeSeconds)
{
    EXPECT_EQ(ramp_lin(1.9, 2, 3), 0.0);
    EXPECT_NEAR(ramp_lin(2.25, 2, 3), 0.25, EPS);
    EXPECT_EQ(ramp_lin(3.1, 2, 3), 1.0);
    EXPECT_EQ(ramp_ease(27.9, 28, 35), 0.0);
    EXPECT_NEAR(ramp_ease(31.5, 28, 35), 0.5, EPS);
    EXPECT_EQ(ramp_ease(35.1, 28, 35), 1.0);

    // curve(9:0 -> 10:0) runs from 19 s to 24 s.
    EXPECT_EQ(song_curve(9, 0, 10, 0, 18.99), 0.0);
    EXPECT_NEAR(song_curve(9, 0, 10, 0, 19.0), 0.0, EPS);
    EXPECT_NEAR(song_curve(9, 0, 10, 0, 21.5), 63.5, EPS);
    EXPECT_NEAR(song_curve(9, 0, 10, 0, 24.0), 127.0, EPS);
    EXPECT_EQ(song_curve(9, 0, 10, 0, 24.01), 127.0);
    // curve(29:0 -> 32:0) from 64 s to 73 s; curve(88:0 -> 91:24) from 197 s to 208 s.
    EXPECT_EQ(song_curve(29, 0, 32, 0, 63.99), 0.0);
    EXPECT_NEAR(song_curve(29, 0, 32, 0, 68.5), 63.5, EPS);
    EXPECT_EQ(song_curve(29, 0, 32, 0, 73.01), 127.0);
    EXPECT_EQ(song_curve(88, 0, 91, 24, 196.99), 0.0);
    EXPECT_NEAR(song_curve(88, 0, 91, 24, 202.5), 63.5, EPS);
    EXPECT_EQ(song_curve(88, 0, 91, 24, 208.01), 127.0);
}

TEST(Timeline, TitleFadesInAndOut)
{
    KnobBank b = {};
    SceneCall call = timeline_decide(at(0, 0, 0.5), &b); // ch -1: title already
    EXPECT_EQ(call.scene, SCENE_TITLE);

    call = timeline_decide(at(1, 5, 2.5), &b);
    EXPECT_EQ(call.scene, SCENE_TITLE);
    EXPECT_NEAR(b.knob[0], 63.5, EPS);
    EXPECT_EQ(b.knob[1], 0.0);
    EXPECT_EQ(b.knob[2], 0.0);

    timeline_decide(heard(2, 20, 6.25), &b);
    EXPECT_EQ(b.knob[0], 127.0);
    EXPECT_EQ(b.knob[1], 127.0);
    EXPECT_NEAR(b.knob[2], 31.75, EPS);

    // Fading out: the caption first, then the logo, then the gifts.
    call = timeline_decide(heard(4, 0, 11.75), &b);
    EXPECT_EQ(call.scene, SCENE_TITLE);
    EXPECT_EQ(b.knob[2], 0.0);
    EXPECT_NEAR(b.knob[0], 31.75, EPS);
    EXPECT_EQ(b.knob[1], 127.0);
    timeline_decide(heard(5, 31, 12.5), &b);
    EXPECT_EQ(b.knob[0], 0.0);
    EXPECT_NEAR(b.knob[1], 63.5, EPS);
}

TEST(Timeline, SectionBoundariesPickTheirScenes)
{
    struct Case {
        int32_t ch, a;
        SceneId scene;
    };
    const Case cases[] = {
        {5, 31, SCENE_TITLE},         {6, 0, SCENE_PROJECTOR},   {31, 31, SCENE_PROJECTOR},
        {32, 0, SCENE_MEADOW_TITLE},  {39, 31, SCENE_MEADOW_TITLE}, {40, 0, SCENE_DOTSCREEN},
        {55, 31, SCENE_DOTSCREEN},    {56, 0, SCENE_BUMP},       {63, 31, SCENE_BUMP},
        {64, 0, SCENE_BLOB},          {79, 31, SCENE_BLOB},      {80, 0, SCENE_METABALL},
        {87, 31, SCENE_METABALL},     {88, 0, SCENE_EYES},       {99, 31, SCENE_EYES},
        {100, 0, SCENE_FOREST},       {115, 31, SCENE_FOREST},   {116, 0, SCENE_SIGNATURE},
        {120, 31, SCENE_SIGNATURE},
    };
    for (const Case &c : cases) {
        KnobBank b = {};
        EXPECT_EQ(timeline_decide(heard(c.ch, c.a, 2.253 * c.ch), &b).scene, c.scene) << "ch " << c.ch << " row " << c.a;
    }
}

TEST(Timeline, ProjectorKnobs)
{
    KnobBank b = {};
    b.knob[3] = 55; // overwritten by the section's common settings
    SceneCall call = timeline_decide(heard(7, 3, 16.0, 0.8), &b);
    EXPECT_EQ(call.scene, SCENE_PROJECTOR);
    EXPECT_EQ(call.t, 16.0);
    EXPECT_EQ(b.knob[0], 49.0);
    EXPECT_EQ(b.knob[1], 81.0);
    EXPECT_EQ(b.knob[3], 0.0);
    EXPECT_EQ(b.knob[4], 127.0); // no beat pulse up to ch 15
    EXPECT_EQ(b.scene_flag, 0);

    // ch 9 at the middle of curve(9:0 -> 10:0).
    timeline_decide(heard(9, 10, 21.5), &b);
    EXPECT_NEAR(b.knob[0], 21 - 6.0, EPS);
    EXPECT_EQ(b.knob[1], 123.0);
    EXPECT_NEAR(b.knob[3], 10.0, EPS);

    timeline_decide(heard(16, 0, 36.0, 0.5), &b);
    EXPECT_NEAR(b.knob[4], 111.0, EPS);

    timeline_decide(heard(24, 0, 54.5), &b);
    EXPECT_EQ(b.scene_flag, 1);
    timeline_decide(heard(23, 31, 54.0), &b);
    EXPECT_EQ(b.scene_flag, 0);
}

TEST(Timeline, ProjectorWobbleIsAddedThenLimited)
{
    KnobBank b = {};
    // ch 29 at 66 s: curve(29:0 -> 32:0) = raised(2/9).
    const double bl = 0.2;
    const double w = 0.5 * std::sin(8 * bl) * bl * raised(2.0 / 9.0);
    timeline_decide(heard(29, 5, 66.0, bl), &b);
    EXPECT_GT(w, 0.01);
    EXPECT_NEAR(b.knob[1], 119.0 + w, EPS);
    EXPECT_EQ(b.knob[0], 28.0);

    // A beat level far outside 0..0.9 drives the sum past 127: it is limited.
    const double big = 18.25;
    const double w_big = 0.5 * std::sin(8 * big) * big; // curve is 1 after 73 s
    ASSERT_GT(119.0 + w_big, 127.0);
    timeline_decide(heard(29, 5, 80.0, big), &b);
    EXPECT_EQ(b.knob[1], 127.0);
    timeline_decide(heard(30, 5, 80.0, big), &b);
    EXPECT_EQ(b.knob[1], 127.0);
    // The limit is an upper one only: a negative wobble lowers the value.
    const double neg = 0.5;
    const double w_neg = 0.5 * std::sin(8 * neg) * neg;
    ASSERT_LT(w_neg, 0.0);
    timeline_decide(heard(30, 5, 80.0, neg), &b);
    EXPECT_NEAR(b.knob[1], 118.0 + 6.0 + w_neg, EPS);
    EXPECT_NEAR(b.knob[0], 33.0, EPS);
    EXPECT_NEAR(b.knob[3], 127.0, EPS);
}

TEST(Timeline, MeadowLateFadesOverrideEarlyRamps)
{
    KnobBank b = {};
    SceneCall call = timeline_decide(heard(37, 4, 82.0, 0.25), &b);
    EXPECT_EQ(call.scene, SCENE_MEADOW_TITLE);
    EXPECT_NEAR(b.knob[1], 127.0 * 0.25, EPS); // 1 - ease(80, 83) at 82 s
    EXPECT_EQ(b.knob[0], 74.0);                // 1 - ease(88, 91) not started
    EXPECT_NEAR(b.knob[4], 127.0 - 8.0, EPS);
    EXPECT_EQ(b.knob[7], 27.0);
    EXPECT_EQ(b.knob[6], 0.0);

    // Before ch 36 the curves run; curve(32:30 -> 33:1) spans 73 s to 75 s.
    timeline_decide(heard(33, 4, 74.0), &b);
    EXPECT_NEAR(b.knob[0], 37.0, EPS);
    EXPECT_NEAR(b.knob[1], song_curve(33, 30, 34, 16, 74.0), EPS);
}

TEST(Timeline, DotScreenSectionsAndTheWorkedFrame)
{
    KnobBank b = {};
    b.knob[0] = 99;
    SceneCall call = timeline_decide(at(45, 12, 99.5), &b);
    EXPECT_EQ(call.scene, SCENE_DOTSCREEN);
    EXPECT_EQ(call.t, 99.5);
    EXPECT_EQ(call.n, (32 * 45 + 11) / 48);
    EXPECT_EQ(b.knob[0], 0.0);
    EXPECT_NEAR(b.knob[3], 63.5, EPS);
    EXPECT_EQ(b.knob[6], 0.0);
    EXPECT_EQ(b.scene_flag, 0);

    timeline_decide(heard(48, 2, 108.25), &b);
    EXPECT_NEAR(b.knob[6], 95.25, EPS);
    EXPECT_NEAR(b.knob[0], 127.0 * 0.25 / 18.0, EPS);
    EXPECT_EQ(b.knob[3], 0.0);
    EXPECT_EQ(b.scene_flag, 1);
    timeline_decide(heard(49, 2, 125.0), &b);
    EXPECT_NEAR(b.knob[6], 63.5, EPS);
}

TEST(Timeline, BumpAndMetaballViewArguments)
{
    KnobBank b = {};
    SceneCall call = timeline_decide(heard(56, 0, 126.5), &b);
    EXPECT_EQ(call.scene, SCENE_BUMP);
    EXPECT_EQ(call.n, (1824 / 64 + 3) * (1824 / 64 + 3));
    EXPECT_NEAR(b.knob[6], 63.5, EPS);

    call = timeline_decide(heard(85, 17, 193.0), &b);
    EXPECT_EQ(call.scene, SCENE_METABALL);
    EXPECT_EQ(call.n, (32 * 86 + 17) / 64);
    EXPECT_EQ(b.knob[7], 0.0);
}

TEST(Timeline, BlobFlashSwitchesOnAtExactly144Seconds)
{
    KnobBank b = {};
    SceneCall call = timeline_decide(heard(64, 0, 143.9), &b);
    EXPECT_EQ(call.scene, SCENE_BLOB);
    EXPECT_NEAR(call.t, 143.9 - 158.3, EPS);
    EXPECT_EQ(b.knob[3], 0.0);
    timeline_decide(heard(64, 0, 144.0), &b);
    EXPECT_EQ(b.knob[3], 127.0);
    timeline_decide(heard(64, 10, 145.0), &b);
    EXPECT_NEAR(b.knob[4], 63.5, EPS);
    EXPECT_EQ(b.knob[5], 0.0);
    EXPECT_EQ(b.knob[7], 127.0);
}

TEST(Timeline, EyesCasesAndTheCameraThrow)
{
    KnobBank b = {};
    // ch 99, row 20, 224.5 s: knob3 = 41 - 5207 * 0.5.
    SceneCall call = timeline_decide(heard(99, 20, 224.5, 0.1), &b);
    EXPECT_EQ(call.scene, SCENE_EYES);
    EXPECT_NEAR(b.knob[3], -2562.5, 1e-6);
    EXPECT_NEAR(b.knob[2], 76.0 * (1.0 - raised(2.5 / 4.0)), EPS);
    EXPECT_NEAR(b.knob[1], 127.0 * 3.5 / 4.0, EPS);
    EXPECT_NEAR(b.knob[6], 25.0, EPS);
    EXPECT_NEAR(b.knob[0], 96.0 * 0.75 + 3.0, EPS);
    EXPECT_EQ(b.knob[4], 127.0);
    EXPECT_EQ(b.scene_flag, 1);
    timeline_decide(heard(99, 31, 226.0), &b);
    EXPECT_NEAR(b.knob[3], 41.0 - 5207.0, 1e-6);
    timeline_decide(heard(99, 16, 224.5), &b); // first row of the throw
    EXPECT_NEAR(b.knob[3], -2562.5, 1e-6);

    // ch 99 early rows: the general late-section case.
    timeline_decide(heard(99, 15, 224.5), &b);
    EXPECT_EQ(b.knob[3], 0.0);
    EXPECT_EQ(b.knob[2], 0.0);
    EXPECT_EQ(b.knob[4], 0.0); // 1 - ease(206, 211) long finished

    timeline_decide(heard(90, 3, 204.0), &b);
    EXPECT_EQ(b.knob[3], 34.0);
    EXPECT_EQ(b.knob[2], 0.0);
    EXPECT_EQ(b.scene_flag, 0);

    // ch 91 row 24 onwards: curve(91:24 -> 92:0) spans 206 s to 208 s.
    timeline_decide(heard(91, 24, 207.0), &b);
    EXPECT_NEAR(b.knob[2], 63.5, EPS);
    EXPECT_NEAR(b.knob[3], 40.5, EPS);
    timeline_decide(heard(91, 23, 202.5), &b);
    EXPECT_NEAR(b.knob[2], 63.5, EPS); // curve(88:0 -> 91:24)
    EXPECT_EQ(b.knob[3], 0.0);
}

TEST(Timeline, ForestCutAways)
{
    struct Case {
        int32_t ch, a;
        SceneId scene;
        double t_scale, t_offset;
        int32_t n_div; // 0: no n, 48 or 64: phase
    };
    const Case cases[] = {
        {100, 0, SCENE_FOREST, 1, -225.2, 0},    {107, 23, SCENE_FOREST, 1, -225.2, 0},
        {107, 24, SCENE_DOTSCREEN, 1, -180, 48}, {108, 7, SCENE_METABALL, 1, 0, 48},
        {108, 8, SCENE_FOREST, 1, -225.2, 0},    {109, 16, SCENE_DOTSCREEN, 1, -180, 48},
        {110, 20, SCENE_FOREST, 1, -225.2, 0},   {111, 16, SCENE_BLOB, 1, 0, 0},
        {112, 31, SCENE_BUMP, 1, 0, 64},         {113, 24, SCENE_METABALL, 1, 0, 48},
        {114, 7, SCENE_FOREST, 2, -234.2, 0},    {114, 8, SCENE_BLOB, 1, 0, 0},
        {114, 16, SCENE_BUMP, 1, 0, 64},         {115, 3, SCENE_FOREST, 8, -2072.2, 0},
        {115, 4, SCENE_METABALL, 1, 0, 64},      {115, 8, SCENE_FOREST, 8, -2072.2, 0},
        {115, 16, SCENE_METABALL, 1, 0, 48},     {115, 24, SCENE_FOREST, 8, -2072.2, 0},
    };
    for (const Case &c : cases) {
        KnobBank b = {};
        const double t = 225.0 + 2.253 * (c.ch - 100) + 0.07 * c.a;
        const SceneCall call = timeline_decide(heard(c.ch, c.a, t), &b);
        const int32_t rc = 32 * (c.ch + 1) + c.a;
        EXPECT_EQ(call.scene, c.scene) << "ch " << c.ch << " row " << c.a;
        EXPECT_NEAR(call.t, c.t_scale * t + c.t_offset, 1e-9) << "ch " << c.ch << " row " << c.a;
        EXPECT_EQ(call.n, c.n_div ? rc / c.n_div : 0) << "ch " << c.ch << " row " << c.a;
    }

    KnobBank b = {};
    b.knob[5] = 42;
    timeline_decide(heard(109, 20, 247.0), &b);
    EXPECT_EQ(b.knob[0], 64.0);
    EXPECT_EQ(b.scene_flag, 1);
    timeline_decide(heard(111, 20, 251.0), &b);
    EXPECT_EQ(b.knob[3], 127.0);
    EXPECT_EQ(b.knob[5], 0.0);
    // The forest itself writes nothing: the cut-away's values stay.
    b.knob[6] = 17;
    timeline_decide(heard(110, 2, 248.0), &b);
    EXPECT_EQ(b.knob[6], 17.0);
    EXPECT_EQ(b.knob[0], 64.0);
}

TEST(Timeline, SignatureFinale)
{
    KnobBank b = {};
    const SceneCall call = timeline_decide(heard(116, 8, 261.5), &b);
    EXPECT_EQ(call.scene, SCENE_SIGNATURE);
    EXPECT_EQ(call.t, 261.5);
    EXPECT_NEAR(b.knob[0], 63.5, EPS);
    EXPECT_NEAR(b.knob[6], 127.0 * 0.5 / 9.0, EPS);
    EXPECT_NEAR(b.knob[7], 63.5, EPS);
}

TEST(Timeline, UnwrittenKnobsCarryAcrossSections)
{
    KnobBank b = {};
    timeline_decide(heard(3, 0, 8.25), &b);
    EXPECT_NEAR(b.knob[2], 95.25, EPS);
    b.scene_flag = 1; // as the f key would
    // Everything from the projector to the metaballs leaves knob2 alone.
    const int32_t chs[] = {6, 20, 33, 45, 50, 60, 70, 84};
    for (int32_t ch : chs) {
        timeline_decide(heard(ch, 9, 2.253 * ch), &b);
        EXPECT_NEAR(b.knob[2], 95.25, EPS) << "ch " << ch;
    }
    // The bump section writes neither the flag nor knob0.
    b.scene_flag = 1;
    b.knob[0] = 12;
    timeline_decide(heard(58, 0, 131.0), &b);
    EXPECT_EQ(b.scene_flag, 1);
    EXPECT_EQ(b.knob[0], 12.0);
    // The eyes take it over.
    timeline_decide(heard(88, 0, 202.5), &b);
    EXPECT_NEAR(b.knob[2], 63.5, EPS);
}

TEST(Timeline, ReplayOfTheWholeSongKeepsKnobsFinite)
{
    // Every buffer's position from the start, as an unseeked show sees it:
    // 3105 samples per row, 32 rows per order. Knobs must stay finite and,
    // apart from the eyes' camera throw, inside -1..128.
    KnobBank b = {};
    int frames = 0;
    for (int32_t buffer = 1; buffer * 1024 < 121 * 32 * 3105; ++buffer) {
        const int64_t sample = int64_t(buffer) * 1024;
        const int32_t rows = int32_t(sample / 3105) + 1; // rows read so far
        const int32_t order = (rows - 1) / 32 + 1;
        const int32_t row = rows % 32;
        const double t = buffer * AUDIO_BUFFER_SEC;
        const SceneCall call = timeline_decide(at(order, row, t, 0.9 * ((buffer % 7) / 6.0)), &b);
        ASSERT_LT(call.scene, SCENE_COUNT);
        for (int k = 0; k < 8; ++k) {
            ASSERT_TRUE(std::isfinite(b.knob[k])) << "buffer " << buffer;
            if (k == 3 && order - 1 == 99) continue;
            ASSERT_GE(b.knob[k], k == 3 && order - 1 >= 99 ? -5167.0 : -1e-9) << "knob " << k << " buffer " << buffer;
            ASSERT_LE(b.knob[k], 127.0 + 1e-9) << "knob " << k << " buffer " << buffer;
        }
        ++frames;
    }
    EXPECT_GT(frames, 11000);
}
