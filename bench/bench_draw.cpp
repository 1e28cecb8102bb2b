// Cost of the full-screen post effects on an 800x600 window, as the frame
// loop pays them every frame (run under Xvfb; on these machines that is Mesa's
// llvmpipe on two cores). glFinish inside the loop makes each iteration wait
// for its pixels, so the time is the real cost, not the cost of queueing.
// all_cpu_ms is the CPU of the whole process per iteration, llvmpipe's
// rasterizer threads included (the CPU column is our thread alone).
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <ctime>

#include "gfx/draw.h"
#include "shell/shell.h"
#include "bench/bench_window.h"

// CPU time of every thread of the process, ours and llvmpipe's rasterizer
// threads: steadier than the wall clock on a shared machine.
static double process_cpu_ms()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec * 1e-6;
}

// Reports the process CPU per iteration since `start` as all_cpu_ms.
static void report_process_cpu(benchmark::State &state, double start)
{
    state.counters["all_cpu_ms"] =
        benchmark::Counter((process_cpu_ms() - start) / double(state.iterations()));
}

static void picture()
{
    glClearColor(0.2f, 0.5f, 0.8f, 0);
    glClear(GL_COLOR_BUFFER_BIT);
}

static void BM_apply_glow(benchmark::State &state)
{
    bench_open_window(false);
    const double start = process_cpu_ms();
    for (auto _ : state) {
        picture();
        apply_glow();
        glFinish();
    }
    report_process_cpu(state, start);
}
BENCHMARK(BM_apply_glow)->Unit(benchmark::kMillisecond);

static void BM_draw_scanlines(benchmark::State &state)
{
    bench_open_window(false);
    const double start = process_cpu_ms();
    for (auto _ : state) {
        picture();
        draw_scanlines();
        glFinish();
    }
    report_process_cpu(state, start);
}
BENCHMARK(BM_draw_scanlines)->Unit(benchmark::kMillisecond);

static void BM_fade_to_black(benchmark::State &state)
{
    bench_open_window(false);
    const double start = process_cpu_ms();
    for (auto _ : state) {
        picture();
        fade_to_black(0.5);
        glFinish();
    }
    report_process_cpu(state, start);
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
