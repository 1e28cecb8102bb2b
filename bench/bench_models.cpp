// Cost of drawing the static models as the scenes draw them, on an 800x600
// window under Xvfb (Mesa's llvmpipe here): the forest's ten firs per frame,
// black with back faces culled, and the projector room's lit models. Each
// iteration ends with glFinish, so the time includes the pixels.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "gfx/models.h"
#include "shell/shell.h"
#include "bench/bench_window.h"

static void camera(double eye_z, double target_y)
{
    glViewport(0, 0, 800, 600);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40, 4.0 / 3, 1, 200);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, 12, eye_z, 0, target_y, -80, 0, 1, 0);
}

// Ten trees along the forest's row, z from -40 to 14, scaled by 10.
static void BM_forest_ten_trees(benchmark::State &state)
{
    bench_open_window(false);
    for (auto _ : state) {
        glClearColor(1, 0.8f, 0.7f, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        camera(40, 14);
        glDisable(GL_LIGHTING);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glColor3f(0, 0, 0);
        for (int i = 0; i < 20; i += 2) {
            glPushMatrix();
            glTranslated(18 * std::sin(i * (i + 13) + 17.0), 0, 3 * i - 40);
            glRotated(-90, 1, 0, 0);
            glScaled(10, 10, 10);
            draw_static_model(MODEL_TREE);
            glPopMatrix();
        }
        glDisable(GL_CULL_FACE);
        glFinish();
    }
}
BENCHMARK(BM_forest_ten_trees)->Unit(benchmark::kMillisecond);

// Every model of the projector room, lit, from the scene's resting camera.
static void BM_projector_room_models(benchmark::State &state)
{
    bench_open_window(false);
    for (auto _ : state) {
        glClearColor(0.1f, 0.05f, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glViewport(0, 0, 800, 600);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(40, 4.0 / 3, 1, 200);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        gluLookAt(0, 0, 10, 0, 2, 0, 0, 1, 0);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glEnable(GL_NORMALIZE);
        for (int id = 0; id <= MODEL_SCREEN_BORDER; ++id) draw_static_model(static_cast<ModelId>(id));
        glDisable(GL_LIGHTING);
        glFinish();
    }
}
BENCHMARK(BM_projector_room_models)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
