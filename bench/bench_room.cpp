// Cost of the projector room and the meadow title frames on an 800x600
// window (run under Xvfb; on these machines that is Mesa's llvmpipe). Each
// GL iteration ends in glFinish, so the time includes the pixels. The
// projector frame is also measured pass by pass (the meadow film, the room,
// glow and flare), and the CPU work of our own code without GL: the
// openness of every flower, which is the only per-frame arithmetic that
// grows with the picture.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include "gfx/precalc.h"
#include "scenes/meadow_title.h"
#include "scenes/projector.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "timeline/timeline.h"
#include "bench/bench_window.h"

namespace {

// The knobs of the projector section at 40 s (order 17): a dolly past the
// projector towards the screen; mono selects the flag of orders 24 to 31.
void projector_knobs(uint8_t mono)
{
    knobs = {};
    knobs.knob[0] = 30.56;
    knobs.knob[1] = 123.19;
    knobs.knob[3] = 58.47;
    knobs.knob[4] = 124.0;
    knobs.scene_flag = mono;
}

// One scene call as the timeline makes it, bracket included; t advances by
// one frame of capture per iteration so the flowers and dust move.
template <typename Draw> void run_frames(benchmark::State &state, double t0, Draw draw)
{
    double t = t0;
    for (auto _ : state) {
        glPushAttrib(TIMELINE_ATTRIB_MASK);
        draw(t);
        glPopAttrib();
        glFinish();
        t += 1024.0 / 44100.0;
    }
}

} // namespace

static void BM_projector_frame(benchmark::State &state)
{
    bench_open_window(true);
    projector_knobs(uint8_t(state.range(0)));
    run_frames(state, 40.0, [](double t) { projector_draw(t); });
}
BENCHMARK(BM_projector_frame)->Arg(0)->Arg(1)->ArgName("mono")->Unit(benchmark::kMillisecond);

static void BM_projector_film_pass(benchmark::State &state)
{
    bench_open_window(true);
    projector_knobs(0);
    run_frames(state, 40.0, [](double t) { projector_film_pass(t, false); });
}
BENCHMARK(BM_projector_film_pass)->Unit(benchmark::kMillisecond);

static void BM_projector_room_pass(benchmark::State &state)
{
    bench_open_window(true);
    projector_knobs(0);
    run_frames(state, 40.0, [](double t) { projector_room_pass(t, false); });
}
BENCHMARK(BM_projector_room_pass)->Unit(benchmark::kMillisecond);

// The glow and flare need a room under them; it is drawn with the clock stopped.
static void BM_projector_post_pass(benchmark::State &state)
{
    bench_open_window(true);
    projector_knobs(0);
    double t = 40.0;
    for (auto _ : state) {
        state.PauseTiming();
        glPushAttrib(TIMELINE_ATTRIB_MASK);
        projector_room_pass(t, false);
        glFinish();
        state.ResumeTiming();
        projector_post_pass();
        glPopAttrib();
        glFinish();
        t += 1024.0 / 44100.0;
    }
}
BENCHMARK(BM_projector_post_pass)->Unit(benchmark::kMillisecond);

static void BM_meadow_title_frame(benchmark::State &state)
{
    bench_open_window(true);
    knobs = {};
    knobs.knob[0] = 74.0;
    knobs.knob[1] = 127.0;
    knobs.knob[4] = 120.0;
    knobs.knob[7] = 27.0;
    run_frames(state, 80.0, [](double t) { meadow_title_draw(t); });
}
BENCHMARK(BM_meadow_title_frame)->Unit(benchmark::kMillisecond);

// Our arithmetic per film frame without GL: 2500 flowers, two noise lookups
// and one sine each.
static void BM_film_flower_openness(benchmark::State &state)
{
    meadow_fill_tables(&flower_tilt[0][0][0], &flower_offset[0][0][0], &meadow_grid[0][0], MEADOW_FILM_SIZE);
    double t = 40.0;
    for (auto _ : state) {
        double sum = 0.0;
        for (int32_t i = 0; i < MEADOW_FILM_SIZE; ++i)
            for (int32_t c = 0; c < MEADOW_FILM_SIZE; ++c) sum += flower_openness(projector_meadow, t, i, c);
        benchmark::DoNotOptimize(sum);
        t += 1024.0 / 44100.0;
    }
}
BENCHMARK(BM_film_flower_openness)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
