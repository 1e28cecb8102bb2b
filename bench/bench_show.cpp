// Costs of the show's own bookkeeping: the fur-shell simulation that start-up
// pays once, one frame's schedule decision, and the title frame that is drawn
// every frame of the opening (the last one needs an X server: run under Xvfb).
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include "audio/audio_device.h"
#include "gfx/precalc.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "timeline/timeline.h"

static FurWork bench_fur;

static void BM_fur_shells_simulation(benchmark::State &state)
{
    for (auto _ : state) {
        fur_init_blades(&bench_fur);
        for (int layer = 1; layer <= PRECALC_FUR_LAYERS; ++layer) fur_step_layer(&bench_fur, layer);
        benchmark::DoNotOptimize(bench_fur.fin);
    }
}
BENCHMARK(BM_fur_shells_simulation)->Unit(benchmark::kMillisecond);

// One decision per frame, walking through the whole song so every section's
// rules are evaluated.
static void BM_timeline_decide(benchmark::State &state)
{
    KnobBank bank = {};
    int32_t buffer = 1;
    for (auto _ : state) {
        SongPosition pos = {};
        const int32_t rows = int32_t(int64_t(buffer) * 1024 / 3105) + 1;
        pos.order = (rows - 1) / 32 + 1;
        pos.row = rows % 32;
        pos.elapsed = buffer * AUDIO_BUFFER_SEC;
        pos.beat_level = 0.5;
        benchmark::DoNotOptimize(timeline_decide(pos, &bank));
        buffer = buffer % 11700 + 1;
    }
}
BENCHMARK(BM_timeline_decide);

static void BM_title_frame(benchmark::State &state)
{
    static char arg0[] = "bench", arg1[] = "-w";
    static char *argv[] = {arg0, arg1, nullptr};
    startup_video(2, argv, 800, 600);
    precalculate();
    for (auto _ : state) {
        glPushAttrib(TIMELINE_ATTRIB_MASK);
        title_draw();
        glPopAttrib();
        glFinish();
    }
}
BENCHMARK(BM_title_frame)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
