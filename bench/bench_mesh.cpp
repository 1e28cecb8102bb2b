// Per-frame cost of the mesh library on fields like the two scenes that use it:
// a noisy tube on a 33^3 grid through polygonize_indexed + catmull_clark_step,
// and three merging balls on a 21^3 grid through polygonize_direct. Each
// benchmark cycles through eight frames of its field, so the surface changes
// between iterations as it does on screen. The tube-radius series shows how the
// cost follows the number of crossed cells.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "gfx/marching_cubes.h"
#include "gfx/subdiv_mesh.h"

namespace {

constexpr int kTubeN = 33;
constexpr int kBallsN = 21;
constexpr int kFrames = 8;

// Periodic 8 x 16 x 8 lattice of signed bytes, sampled trilinearly in 8.8
// fixed point, like the tube scene's noise.
int8_t lattice[8][16][8];

void make_lattice()
{
    uint32_t s = 12345;
    for (auto &plane : lattice)
        for (auto &row : plane)
            for (int8_t &v : row) {
                s = s * 1664525u + 1013904223u;
                v = int8_t(s >> 24);
            }
}

int32_t lattice_noise(int32_t u, int32_t v, int32_t w)
{
    const int iu = (u >> 8) & 7, iv = (v >> 8) & 15, iw = (w >> 8) & 7;
    const int64_t fu = u & 255, fv = v & 255, fw = w & 255;
    auto r = [](int a, int b, int c) { return int64_t(lattice[a & 7][b & 15][c & 7]); };
    auto lerp_w = [&](int a, int b) { return (r(a, b, iw + 1) - r(a, b, iw)) * fw + r(a, b, iw) * 256; };
    const int64_t k00 = lerp_w(iu, iv), k01 = lerp_w(iu, iv + 1), k10 = lerp_w(iu + 1, iv), k11 = lerp_w(iu + 1, iv + 1);
    const int64_t m0 = (k01 - k00) * fv + k00 * 256, m1 = (k11 - k10) * fv + k10 * 256;
    return int32_t(((m1 - m0) * fu + m0 * 256) >> 24);
}

// The tube: radius `radius` samples around the a axis, opened and closed by two
// octaves of noise that scroll along a with the frame time.
void fill_tube(GridSample *g, double t, double radius)
{
    const int32_t s = int32_t(50.0 * 0.015 * t * 512.0);
    for (int a = 0; a < kTubeN; ++a) {
        const int32_t q = 1536 - 48 * a;
        for (int b = 0; b < kTubeN; ++b)
            for (int c = 0; c < kTubeN; ++c) {
                GridSample &x = g[(a * kTubeN + b) * kTubeN + c];
                const double r2 = ((b - 16) * (b - 16) + (c - 16) * (c - 16)) / (radius * radius);
                if (r2 >= 1.0) {
                    x.value = 0.0f;
                    x.below = 1;
                    continue;
                }
                const int32_t n1 = lattice_noise((q >> 2) + (s >> 5), 8 * b, 8 * c);
                const int32_t n2 = lattice_noise((q >> 1) + s, 16 * b, 16 * c);
                const double angle = (4 * n1 + 2 * n2) * 2.0 * M_PI / 256.0;
                x.value = float((0.18 + 0.18 * std::sin(angle)) * (1.0 - r2));
                x.below = x.value < 0.18f;
            }
    }
}

void fill_balls(GridSampleD *g, double t)
{
    for (int i = 0; i < kBallsN; ++i)
        for (int j = 0; j < kBallsN; ++j)
            for (int k = 0; k < kBallsN; ++k) {
                double x = 1.1 * (i - 10), z = 1.1 * (k - 10);
                const double y = 1.1 * (j - 10);
                const double c = std::cos(-4 * t), s = std::sin(-4 * t);
                const double xr = x * c - z * s, zr = x * s + z * c;
                x = xr;
                z = zr;
                auto d = [&](double ox, double oy) { return (x + ox) * (x + ox) + (y + oy) * (y + oy) + z * z; };
                const double d1 = d(4 * std::cos(1.4 * t), 6 * std::sin(1.8 * t));
                const double d2 = d(4 * std::sin(1.3 * t), 6 * std::cos(2.7 * t));
                const double d3 = d(4 * std::sin(0.8 * t), 6 * std::cos(2.1 * t));
                GridSampleD &out = g[(i * kBallsN + j) * kBallsN + k];
                out.value = 1.4 / d1 + 1.4 / d2 + 1.4 / d3;
                out.below = out.value < 0.18;
            }
}

struct TubeFrames {
    std::vector<GridSample> grid[kFrames];
};

const TubeFrames &tube_frames(double radius)
{
    static std::vector<std::pair<double, TubeFrames *>> made;
    for (auto &m : made)
        if (m.first == radius)
            return *m.second;
    if (made.empty())
        make_lattice();
    TubeFrames *f = new TubeFrames;
    for (int i = 0; i < kFrames; ++i) {
        f->grid[i].resize(kTubeN * kTubeN * kTubeN);
        fill_tube(f->grid[i].data(), 3.0 + 2.1 * i, radius);
    }
    made.push_back({radius, f});
    return *f;
}

const Vec3f kTubeOrigin = {-24.0f, -16.0f, -16.0f};
const Vec3f kTubeStep = {1.5f, 1.0f, 1.0f};

// Crossed cells of the triangle pass, averaged over the frames (after a
// polygonization, which writes the cube codes).
double crossed_cells(std::vector<GridSample> &g, int n)
{
    int count = 0;
    for (int a = 0; a + 2 < n; ++a)
        for (int b = 0; b + 2 < n; ++b)
            for (int c = 0; c + 2 < n; ++c) {
                const int code = g[(a * n + b) * n + c].cube_code;
                count += code != 0 && code != 255;
            }
    return count;
}

void tube_counters(benchmark::State &state, TubeFrames &fr)
{
    double cells = 0, tris = 0, quads = 0, verts = 0;
    for (auto &g : fr.grid) {
        polygonize_indexed(g.data(), kTubeN, 0.18f, kTubeOrigin, kTubeStep);
        cells += crossed_cells(g, kTubeN);
        const int32_t t = subdiv_mesh.face_count;
        tris += t;
        catmull_clark_step();
        quads += subdiv_mesh.face_count - t;
        verts += subdiv_mesh.vertex_count;
    }
    state.counters["crossed_cells"] = cells / kFrames;
    state.counters["triangles"] = tris / kFrames;
    state.counters["quads"] = quads / kFrames;
    state.counters["vertices"] = verts / kFrames;
    state.counters["per_crossed_cell"] =
        benchmark::Counter(cells / kFrames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_TubePolygonizeSubdivide(benchmark::State &state)
{
    TubeFrames &fr = const_cast<TubeFrames &>(tube_frames(double(state.range(0))));
    int i = 0;
    for (auto _ : state) {
        GridSample *g = fr.grid[i++ & (kFrames - 1)].data();
        polygonize_indexed(g, kTubeN, 0.18f, kTubeOrigin, kTubeStep);
        catmull_clark_step();
        benchmark::DoNotOptimize(subdiv_mesh.face_count);
    }
    tube_counters(state, fr);
}
BENCHMARK(BM_TubePolygonizeSubdivide)->Arg(16)->Arg(12)->Arg(8)->Arg(4)->Unit(benchmark::kMillisecond);

void BM_TubePolygonizeOnly(benchmark::State &state)
{
    TubeFrames &fr = const_cast<TubeFrames &>(tube_frames(16));
    int i = 0;
    for (auto _ : state) {
        polygonize_indexed(fr.grid[i++ & (kFrames - 1)].data(), kTubeN, 0.18f, kTubeOrigin, kTubeStep);
        benchmark::DoNotOptimize(subdiv_mesh.face_count);
    }
    tube_counters(state, fr);
}
BENCHMARK(BM_TubePolygonizeOnly)->Unit(benchmark::kMillisecond);

void BM_TubeSubdivideOnly(benchmark::State &state)
{
    TubeFrames &fr = const_cast<TubeFrames &>(tube_frames(16));
    int i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        polygonize_indexed(fr.grid[i++ & (kFrames - 1)].data(), kTubeN, 0.18f, kTubeOrigin, kTubeStep);
        state.ResumeTiming();
        catmull_clark_step();
        benchmark::DoNotOptimize(subdiv_mesh.face_count);
    }
    tube_counters(state, fr);
}
BENCHMARK(BM_TubeSubdivideOnly)->Unit(benchmark::kMillisecond);

void BM_BallsDirect(benchmark::State &state)
{
    static std::vector<GridSampleD> frames[kFrames];
    if (frames[0].empty())
        for (int i = 0; i < kFrames; ++i) {
            frames[i].resize(kBallsN * kBallsN * kBallsN);
            fill_balls(frames[i].data(), 0.37 * i);
        }
    const Vec3 origin = {-11.0, -11.0, -11.0}, step = {1.1, 1.1, 1.1};
    int i = 0;
    for (auto _ : state) {
        polygonize_direct(frames[i++ & (kFrames - 1)].data(), kBallsN, 0.18, origin, step);
        benchmark::DoNotOptimize(mc_direct_triangles.count);
    }
    double tris = 0, cells = 0;
    for (auto &g : frames) {
        polygonize_direct(g.data(), kBallsN, 0.18, origin, step);
        tris += mc_direct_triangles.count;
        for (int a = 0; a + 2 < kBallsN; ++a)
            for (int b = 0; b + 2 < kBallsN; ++b)
                for (int c = 0; c + 2 < kBallsN; ++c) {
                    const int code = g[(a * kBallsN + b) * kBallsN + c].cube_code;
                    cells += code != 0 && code != 255;
                }
    }
    state.counters["triangles"] = tris / kFrames;
    state.counters["crossed_cells"] = cells / kFrames;
}
BENCHMARK(BM_BallsDirect)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
