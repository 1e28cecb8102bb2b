// Every scene's frames as the show draws them, at 800 x 600 on whatever GL
// the X server offers (Mesa's llvmpipe under Xvfb on these machines).
//
// One replay of the song (without drawing) records every frame's position
// and the knobs it starts from; each benchmark then draws FRAMES_PER_SCENE
// frames spread evenly over all the frames of one scene, through the
// timeline as the frame loop calls it, and waits for the pixels with
// glFinish. Reported per scene: the median and the worst frame on the wall
// clock (the "Time" column is the median too), and the median CPU time of
// this thread, which is our own code plus the driver's work on our thread
// (vertex submission and transform), without llvmpipe's rasterizer threads,
// and the median CPU time of the whole process (all_cpu_ms), theirs included.
// The frames are drawn out of order, so a scene that inherits state from
// the frame before it draws a slightly different picture than in the show;
// the cost is the same.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

#include "shell/replay.h"
#include "timeline/timeline.h"

namespace {

constexpr int FRAMES_PER_SCENE = 60;

struct RecordedFrame {
    SongPosition pos;
    KnobBank knobs;
};

std::vector<RecordedFrame> scene_frames[SCENE_COUNT];

void record_show()
{
    static bool recorded = false;
    if (recorded) return;
    recorded = true;
    const KnobBank start = replay_open_video("bench_show_frames");
    replay_begin(start);
    for (;;) {
        const SongPosition pos = replay_next(nullptr);
        const KnobBank before = knobs;
        const SceneId scene = timeline_decide(pos, &knobs).scene;
        scene_frames[scene].push_back({pos, before});
        if (pos.playing == 0) break;
    }
}

double thread_cpu_ms()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec * 1e-6;
}

// Every thread of the process: ours and llvmpipe's rasterizer threads. On a
// machine shared with other work this is steadier than the wall clock, and
// it is what a render of the whole show pays in CPU.
double process_cpu_ms()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec * 1e-6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void BM_scene_frames(benchmark::State &state)
{
    record_show();
    const std::vector<RecordedFrame> &frames = scene_frames[state.range(0)];
    std::vector<double> wall, cpu, all_cpu;
    size_t k = 0;
    for (auto _ : state) {
        const RecordedFrame &f = frames[k * frames.size() / FRAMES_PER_SCENE % frames.size()];
        ++k;
        knobs = f.knobs;
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = thread_cpu_ms(), p0 = process_cpu_ms();
        timeline_frame(f.pos);
        glFinish();
        const double c1 = thread_cpu_ms(), p1 = process_cpu_ms();
        const auto t1 = std::chrono::steady_clock::now();
        SDL_GL_SwapBuffers();
        const double seconds = std::chrono::duration<double>(t1 - t0).count();
        state.SetIterationTime(seconds);
        wall.push_back(seconds * 1e3);
        cpu.push_back(c1 - c0);
        all_cpu.push_back(p1 - p0);
    }
    state.counters["median_ms"] = median(wall);
    state.counters["worst_ms"] = *std::max_element(wall.begin(), wall.end());
    state.counters["cpu_ms"] = median(cpu);
    state.counters["all_cpu_ms"] = median(all_cpu);
    state.counters["frames_in_show"] = double(frames.size());
}

const char *const NAMES[SCENE_COUNT] = {"title",     "projector", "meadow_title", "dotscreen", "bump",
                                        "blob",      "eyes",      "metaballs",    "forest",    "signature"};

const bool registered = [] {
    for (int s = 0; s < SCENE_COUNT; ++s)
        benchmark::RegisterBenchmark((std::string("BM_frames/") + NAMES[s]).c_str(), BM_scene_frames)
            ->Arg(s)
            ->Iterations(FRAMES_PER_SCENE)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
