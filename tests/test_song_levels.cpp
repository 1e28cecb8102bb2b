// The rendered song: loudness, true peak, headroom, DC, that every channel
// and every order sounds, that the close has died away by the last buffer the
// program plays (it stops there), and a per-order fingerprint
// (RMS and peak) compared with tests/song_fingerprint.txt so that an
// unintended change to the song or to the synthesizer shows up.
//
// To accept an intended change, rewrite the reference:
//   QUILL_WRITE_FINGERPRINT=tests/song_fingerprint.txt ./test_song_levels
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tools/song_meter.h"

namespace {

double db(double v) { return v > 0 ? 20.0 * std::log10(v / 32768.0) : -120.0; }

// One rendering shared by all tests (about ten seconds of work).
const SongMeasure &measure()
{
    static SongMeasure *m = [] {
        auto *s = new SongMeasure;
        song_meter_render(quill_song_image, 8.0, s);
        return s;
    }();
    return *m;
}
const int16_t *song_pcm() { return measure().pcm.data() + 2 * measure().preroll_frames; }
int64_t song_frames() { return int64_t(measure().pcm.size() / 2) - measure().preroll_frames; }

TEST(SongLevels, RendersTheWholeSong)
{
    const SongMeasure &m = measure();
    EXPECT_EQ(m.preroll_frames, 60 * 1024);
    // 121 orders of 99360 frames; the song ends on the first row step after
    // them, within one buffer's worth of ticks.
    EXPECT_GE(m.song_frames, 121 * 99360);
    EXPECT_LE(m.song_frames, 121 * 99360 + 3105 + 2048);
    for (int o = 0; o < 121; ++o) EXPECT_EQ(m.orders[o].frames, 99360) << o;
}

TEST(SongLevels, LoudnessPeakHeadroomAndDc)
{
    const SongMeasure &m = measure();
    const double lufs = song_loudness_lufs(song_pcm(), song_frames());
    EXPECT_GE(lufs, -16.0);
    EXPECT_LE(lufs, -11.0);
    EXPECT_LE(song_true_peak_dbtp(song_pcm(), song_frames()), -1.0);
    EXPECT_EQ(m.full_scale_samples, 0);
    EXPECT_EQ(m.mix_overflows, 0) << "the mix never needs to saturate";
    // Under a quarter of the pre-roll's constant level.
    EXPECT_LT(std::fabs(m.dc_left), 250.0);
    EXPECT_LT(std::fabs(m.dc_right), 250.0);
}

TEST(SongLevels, EveryChannelAndOrderSounds)
{
    const SongMeasure &m = measure();
    for (int c = 0; c < 14; ++c) EXPECT_GT(db(m.channel_peak[c]), -40.0) << "channel " << c;
    for (int o = 0; o < 121; ++o) {
        EXPECT_GT(db(m.orders[o].rms), -30.0) << "order " << o;
        EXPECT_GT(db(m.orders[o].peak), -20.0) << "order " << o;
    }
}

// The program, the sound capture and the export all stop at the first buffer
// that publishes the song's end; whatever still sounds there is cut off. So
// the close must have died away below -60 dBFS within that buffer, and have
// been heard fading just before it.
TEST(SongLevels, TheCloseDiesAwayWithinTheLastBuffer)
{
    const SongMeasure &m = measure();
    const int64_t last = m.song_frames / 1024 * 1024; // first frame of the last buffer
    ASSERT_GT(song_frames(), last + 1024) << "the rendering goes past the last buffer";
    auto peak_db = [&](int64_t from, int64_t to) {
        int peak = 0;
        for (int64_t i = 2 * from; i < 2 * to; ++i) peak = std::max(peak, std::abs(int(song_pcm()[i])));
        return db(peak);
    };
    EXPECT_LT(peak_db(last, last + 1024), -60.0) << "the last buffer played";
    EXPECT_LT(peak_db(last, song_frames()), -60.0) << "and everything after it";
    EXPECT_GT(peak_db(last - 2 * 44100, last - 44100), -30.0) << "two seconds before, the last chord is still heard";
}

TEST(SongLevels, SectionsHaveTheirCharacter)
{
    const SongMeasure &m = measure();
    auto mean_db = [&](int from, int to) {
        double s = 0;
        for (int o = from; o <= to; ++o) s += m.orders[o].rms * m.orders[o].rms;
        return db(std::sqrt(s / (to - from + 1)));
    };
    const double title = mean_db(0, 5), projector = mean_db(6, 31), metaballs = mean_db(80, 86),
                 eyes = mean_db(88, 99), closing = mean_db(117, 120);
    EXPECT_LT(title, projector - 3.0) << "the title is an introduction";
    EXPECT_LT(metaballs, eyes - 2.0) << "the breakdown gives way to the drop";
    EXPECT_LT(closing, eyes - 3.0) << "the ending settles";
    // The last chord dies away over the last orders.
    EXPECT_LT(m.orders[120].rms, m.orders[118].rms / 2);
    // Build-ups: the order before a cut is louder than the one before it.
    for (int o : {31, 63, 99, 115}) EXPECT_GT(m.orders[o].rms, m.orders[o - 2].rms) << "order " << o;
}

TEST(SongLevels, MatchesTheFingerprint)
{
    const SongMeasure &m = measure();
    if (const char *out = std::getenv("QUILL_WRITE_FINGERPRINT")) {
        FILE *f = std::fopen(out, "w");
        ASSERT_NE(f, nullptr);
        std::fprintf(f, "# Written by test_song_levels from the rendered song; do not edit. order rms_db peak_db\n");
        for (int o = 0; o < 121; ++o) std::fprintf(f, "%d %.2f %.2f\n", o, db(m.orders[o].rms), db(m.orders[o].peak));
        std::fclose(f);
    }
    std::ifstream in(QUILL_SONG_FINGERPRINT);
    ASSERT_TRUE(in) << QUILL_SONG_FINGERPRINT;
    std::string line;
    int rows = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ls(line);
        int o = -1;
        double rms = 0, peak = 0;
        ASSERT_TRUE(ls >> o >> rms >> peak) << line;
        ASSERT_GE(o, 0);
        ASSERT_LT(o, 121);
        EXPECT_NEAR(db(m.orders[o].rms), rms, 0.1) << "order " << o;
        EXPECT_NEAR(db(m.orders[o].peak), peak, 0.2) << "order " << o;
        ++rows;
    }
    EXPECT_EQ(rows, 121);
}

} // namespace
