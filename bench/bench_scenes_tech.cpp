// Frame costs of the dot screen, the bump tunnel and the blob tube.
//
// The blob tube's own CPU work is timed without GL (field, polygonize,
// subdivide) and its vertex submission on its own, with every face culled so
// that llvmpipe draws nothing. The
// whole frames need an X server (run under Xvfb) and end with glFinish, so
// they include llvmpipe's rasterization.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include "gfx/marching_cubes.h"
#include "gfx/precalc.h"
#include "gfx/subdiv_mesh.h"
#include "scenes/blob.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "timeline/timeline.h"
#include "bench/bench_window.h"

namespace {

// Scene times cycled through, so the surface changes between iterations as
// it does on screen (the blob section plays scene times -14 to 22).
constexpr int kFrames = 16;
double frame_time(int i) { return -14.0 + 36.0 * i / kFrames; }

void build_blob_mesh(double t)
{
    blob_fill_field(0.015 * t);
    polygonize_indexed(blob_grid, BLOB_GRID_N, BLOB_ISO, {-24.0f, -16.0f, -16.0f}, {1.5f, 1.0f, 1.0f});
    catmull_clark_step();
}

void BM_blob_field(benchmark::State &state)
{
    blob_make_lattice();
    int i = 0;
    for (auto _ : state) {
        blob_fill_field(0.015 * frame_time(i++ % kFrames));
        benchmark::DoNotOptimize(blob_grid);
    }
}
BENCHMARK(BM_blob_field)->Unit(benchmark::kMillisecond);

void BM_blob_mesh_cpu(benchmark::State &state)
{
    blob_make_lattice();
    int i = 0;
    for (auto _ : state) {
        build_blob_mesh(frame_time(i++ % kFrames));
        benchmark::DoNotOptimize(subdiv_mesh.face_count);
    }
    state.counters["quads"] = 3.0 * subdiv_mesh.face_count / 4.0;
}
BENCHMARK(BM_blob_mesh_cpu)->Unit(benchmark::kMillisecond);

// The quads as the scene sends them (written out as triangles and drawn from
// arrays), with every face culled so that llvmpipe rasterizes nothing.
void BM_blob_submission(benchmark::State &state)
{
    bench_open_window(true);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT_AND_BACK);
    int i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        build_blob_mesh(frame_time(i++ % kFrames));
        glFinish();
        state.ResumeTiming();
        blob_draw_quads();
        glFinish();
    }
    glCullFace(GL_BACK);
    glDisable(GL_CULL_FACE);
}
BENCHMARK(BM_blob_submission)->Unit(benchmark::kMillisecond);

void BM_blob_frame(benchmark::State &state)
{
    bench_open_window(true);
    knobs = {};
    knobs.knob[3] = 127.0;
    int i = 0;
    for (auto _ : state) {
        glPushAttrib(TIMELINE_ATTRIB_MASK);
        blob_scene_draw(frame_time(i++ % kFrames));
        glPopAttrib();
        glFinish();
    }
}
BENCHMARK(BM_blob_frame)->Unit(benchmark::kMillisecond);

void BM_bump_frame(benchmark::State &state)
{
    bench_open_window(true);
    knobs = {};
    int i = 0;
    for (auto _ : state) {
        glPushAttrib(TIMELINE_ATTRIB_MASK);
        bump_scene_draw(126.0 + 18.0 * (i % kFrames) / kFrames, 961 + 63 * (i % 2));
        ++i;
        glPopAttrib();
        glFinish();
    }
}
BENCHMARK(BM_bump_frame)->Unit(benchmark::kMillisecond);

void BM_dotscreen_frame(benchmark::State &state)
{
    bench_open_window(true);
    knobs = {};
    knobs.scene_flag = uint8_t(state.range(0));
    int i = 0;
    for (auto _ : state) {
        glPushAttrib(TIMELINE_ATTRIB_MASK);
        dotscreen_draw(100.0 + 8.0 * (i % kFrames) / kFrames, 49 + i % 3);
        ++i;
        glPopAttrib();
        glFinish();
    }
}
BENCHMARK(BM_dotscreen_frame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
