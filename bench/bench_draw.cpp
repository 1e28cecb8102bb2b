// Cost of the full-screen post effects on an 800x600 window, as the frame
// loop pays them every frame (run under Xvfb; on these machines that is Mesa's
// llvmpipe on two cores). glFinish inside the loop makes each iteration wait
// for its pixels, so the time is the real cost, not the cost of queueing.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include "gfx/draw.h"
#include "shell/shell.h"
#include "bench/bench_window.h"

static void picture()
{
    glClearColor(0.2f, 0.5f, 0.8f, 0);
    glClear(GL_COLOR_BUFFER_BIT);
}

static void BM_apply_glow(benchmark::State &state)
{
    bench_open_window(false);
    for (auto _ : state) {
        picture();
        apply_glow();
        glFinish();
    }
}
BENCHMARK(BM_apply_glow)->Unit(benchmark::kMillisecond);

static void BM_draw_scanlines(benchmark::State &state)
{
    bench_open_window(false);
    for (auto _ : state) {
        picture();
        draw_scanlines();
        glFinish();
    }
}
BENCHMARK(BM_draw_scanlines)->Unit(benchmark::kMillisecond);

static void BM_fade_to_black(benchmark::State &state)
{
    bench_open_window(false);
    for (auto _ : state) {
        picture();
        fade_to_black(0.5);
        glFinish();
    }
}
BENCHMARK(BM_fade_to_black)->Unit(benchmark::kMillisecond);

// The frame-capture readback: what -dg adds to every frame.
static void BM_read_frame(benchmark::State &state)
{
    bench_open_window(false);
    static uint8_t pixels[800 * 600 * 3];
    for (auto _ : state) {
        picture();
        glReadPixels(0, 0, 800, 600, GL_RGB, GL_UNSIGNED_BYTE, pixels);
        benchmark::DoNotOptimize(pixels[0]);
    }
}
BENCHMARK(BM_read_frame)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
