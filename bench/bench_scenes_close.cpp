// Cost of the closing scenes' frames at 800 x 600 (run under Xvfb; on these
// machines that is Mesa's llvmpipe). Each GL benchmark draws whole frames as
// the timeline calls them, stepping t by one frame (1024/44100 s) through a
// stretch of the section, and waits for the pixels with glFinish: the
// "Time" column is the frame's real cost. The "CPU" column is the benchmark
// thread alone: our code plus the driver's work in our thread (vertex
// submission and transform), without llvmpipe's rasterizer threads.
// The CPU-only benchmarks time the scenes' own arithmetic without any GL.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include "audio/audio_device.h"
#include "gfx/precalc.h"
#include "scenes/eyes.h"
#include "scenes/forest.h"
#include "scenes/metaballs.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "timeline/timeline.h"
#include "bench/bench_window.h"

// Runs frames of one scene from t0 for `span` seconds, round and round.
template <typename Draw> static void frames(benchmark::State &state, double t0, double span, Draw draw)
{
    bench_open_window(true);
    double t = t0;
    for (auto _ : state) {
        glPushAttrib(TIMELINE_ATTRIB_MASK);
        draw(t);
        glPopAttrib();
        glFinish();
        t += AUDIO_BUFFER_SEC;
        if (t > t0 + span) t = t0;
    }
}

static void BM_eyes_helix_frame(benchmark::State &state)
{
    knobs = {};
    knobs.knob[0] = 40.0;
    knobs.scene_flag = 1;
    frames(state, 212.0, 8.0, [](double t) { eyes_draw(t); });
}
BENCHMARK(BM_eyes_helix_frame)->Unit(benchmark::kMillisecond);

static void BM_eyes_grid_frame(benchmark::State &state)
{
    knobs = {};
    knobs.knob[0] = 40.0;
    knobs.knob[4] = 127.0;
    frames(state, 199.0, 8.0, [](double t) { eyes_draw(t); });
}
BENCHMARK(BM_eyes_grid_frame)->Unit(benchmark::kMillisecond);

static void BM_metaball_frame(benchmark::State &state)
{
    knobs = {};
    frames(state, 181.0, 16.0, [](double t) { metaball_scene_draw(t, int32_t(t / 2.253 * 32) / 64); });
}
BENCHMARK(BM_metaball_frame)->Unit(benchmark::kMillisecond);

// The metaballs' CPU work per frame: the field on 21^3 samples, the direct
// polygonize, and the dot shell's 5600 positions.
static GridSampleD bench_grid[METABALL_GRID_N * METABALL_GRID_N * METABALL_GRID_N];
static DotQuad bench_dots[METABALL_DOT_QUADS];

static void BM_metaball_field_and_polygonize(benchmark::State &state)
{
    double t = 181.0;
    for (auto _ : state) {
        metaball_sample_field(bench_grid, t);
        polygonize_direct(bench_grid, METABALL_GRID_N, METABALL_ISO, {-11.0, -11.0, -11.0},
                          {METABALL_STEP, METABALL_STEP, METABALL_STEP});
        benchmark::DoNotOptimize(mc_direct_triangles.count);
        t += AUDIO_BUFFER_SEC;
        if (t > 197.0) t = 181.0;
    }
}
BENCHMARK(BM_metaball_field_and_polygonize)->Unit(benchmark::kMicrosecond);

static void BM_metaball_polygonize_only(benchmark::State &state)
{
    metaball_sample_field(bench_grid, 183.0);
    for (auto _ : state) {
        polygonize_direct(bench_grid, METABALL_GRID_N, METABALL_ISO, {-11.0, -11.0, -11.0},
                          {METABALL_STEP, METABALL_STEP, METABALL_STEP});
        benchmark::DoNotOptimize(mc_direct_triangles.count);
    }
}
BENCHMARK(BM_metaball_polygonize_only)->Unit(benchmark::kMicrosecond);

static void BM_metaball_dot_shell(benchmark::State &state)
{
    double t = 181.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(metaball_dot_shell(t, bench_dots));
        t += AUDIO_BUFFER_SEC;
    }
}
BENCHMARK(BM_metaball_dot_shell)->Unit(benchmark::kMicrosecond);

static void BM_forest_frame(benchmark::State &state)
{
    knobs = {};
    frames(state, 3.0, 30.0, [](double t) { forest_draw(t); });
}
BENCHMARK(BM_forest_frame)->Unit(benchmark::kMillisecond);

// The forest's CPU work besides the GL calls: the 1024 sunburst texels.
static uint8_t bench_sky[FOREST_SKY_SIZE * FOREST_SKY_SIZE * 3];

static void BM_forest_sunburst(benchmark::State &state)
{
    double t = 3.0;
    for (auto _ : state) {
        const ForestSection s = forest_section(t);
        forest_sunburst(t, s.k, bench_sky);
        benchmark::DoNotOptimize(bench_sky);
        t += AUDIO_BUFFER_SEC;
    }
}
BENCHMARK(BM_forest_sunburst)->Unit(benchmark::kMicrosecond);

static void BM_signature_frame(benchmark::State &state)
{
    knobs = {};
    knobs.knob[0] = 127.0;
    knobs.knob[6] = 40.0;
    frames(state, 262.0, 8.0, [](double t) { signature_draw(t); });
}
BENCHMARK(BM_signature_frame)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
