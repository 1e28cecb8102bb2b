// Every scene draws the same pixels for the same moment of the show whatever
// was drawn before it. Mesa cuts immediate-mode geometry where its vertex
// buffer happens to fill, which depends on every vertex sent since the start,
// and llvmpipe rasterizes a cut piece differently; the scenes therefore send
// their long batches through display lists. Here each moment is drawn as the
// shot tool draws it (two warm-up frames, then the frame) after different
// histories: right after another scene, and after thousands of extra
// vertices that leave the driver's buffer at other points. Real 800x600
// window under Xvfb.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <array>
#include <cstdint>
#include <vector>

#include "shell/replay.h"
#include "tests/gl_history.h"
#include "timeline/timeline.h"

namespace {

// Two moments of every scene (song seconds), including the fur metaballs at
// 189.5 s and the forest, which used to differ from their captured frames.
constexpr double MOMENTS[] = {5.0,   20.0,  60.0,  80.0,  100.0, 115.0, 131.0, 140.0, 150.0,
                              170.0, 185.0, 189.5, 200.0, 215.0, 232.0, 250.0, 262.0, 268.0};
constexpr int MOMENT_COUNT = sizeof MOMENTS / sizeof MOMENTS[0];
constexpr int FRAMES = REPLAY_WARMUP_FRAMES + 1;
// Extra vertices sent before a moment. Whether a frame is cut differently
// depends on where the driver's buffer stands, so a few points are needed:
// without its display lists the metaball frame at 189.5 s differs in about
// 6000 pixels after 2000, 5000 and 9000 of them, and not after the others.
constexpr int HISTORIES[] = {777, 2000, 5000, 9000, 12345, 40000};

struct Moment {
    SongPosition pos[FRAMES];  // the warm-up frames, then the frame itself
    KnobBank knobs;            // the bank before the first of them
    SceneId scene;
};

std::vector<uint8_t> draw_moment(const Moment &m)
{
    std::vector<uint8_t> px(REPLAY_FRAME_BYTES);
    knobs = m.knobs;
    for (int f = 0; f < FRAMES; ++f) replay_draw(m.pos[f], f == FRAMES - 1 ? px.data() : nullptr);
    return px;
}

int differing_pixels(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
    int n = 0;
    for (size_t i = 0; i < a.size(); i += 3) n += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
    return n;
}

TEST(History, EveryScenesFrameIsTheSameAfterAnyHistory)
{
    const KnobBank start_knobs = replay_open_video("test_history_gl");

    // One pass over the song records each moment's frames and knobs.
    std::array<Moment, MOMENT_COUNT> moments{};
    const int32_t first = replay_begin(start_knobs);
    int next = 0;
    for (;;) {
        const SongPosition pos = replay_next(nullptr);
        while (next < MOMENT_COUNT) {
            const int32_t want = replay_buffer_at(MOMENTS[next], first);
            const int32_t f = pos.buffer_count - (want - REPLAY_WARMUP_FRAMES);
            if (f < 0 || f >= FRAMES) break;
            if (f == 0) moments[next].knobs = knobs;
            moments[next].pos[f] = pos;
            if (f < FRAMES - 1) break;
            ++next;
        }
        const SceneId scene = timeline_decide(pos, &knobs).scene;
        if (next > 0 && moments[next - 1].pos[FRAMES - 1].buffer_count == pos.buffer_count)
            moments[next - 1].scene = scene;
        if (next == MOMENT_COUNT || pos.playing == 0) break;
    }
    ASSERT_EQ(next, MOMENT_COUNT);
    bool seen[SCENE_COUNT] = {};
    for (const Moment &m : moments) seen[m.scene] = true;
    for (int s = 0; s < SCENE_COUNT; ++s) EXPECT_TRUE(seen[s]) << "no moment of scene " << s;

    for (int i = 0; i < MOMENT_COUNT; ++i) {
        const Moment &m = moments[i];
        const std::vector<uint8_t> after_other_scene = draw_moment(m);
        int lit = 0;
        for (uint8_t v : after_other_scene) lit += v > 16;
        EXPECT_GT(lit, 1000) << MOMENTS[i] << " s drew nothing";
        for (const int history : HISTORIES) {
            send_unseen_vertices(history);
            EXPECT_EQ(differing_pixels(draw_moment(m), after_other_scene), 0)
                << MOMENTS[i] << " s (scene " << int(m.scene) << ") after " << history << " vertices";
        }
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
