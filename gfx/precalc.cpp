// Start-up precalculation and the shared fur-shell textures.
//
// Fur shells. 1600 blades start at random cells of a 256 x 256 wrapping
// coverage map, each with its own constant acceleration. For each of the 16
// layers every live blade stamps a soft disc (value (radius - distance) * 500,
// saturating) into a cleared map, then moves one step and shrinks by 1 %;
// after each layer a blade dies with probability 1/6 (one draw per live blade).
// On layer L a blade has moved acceleration * (L-1)(L-2)/2 cells from its
// start, so the stacked layers show dots that thin out and drift apart along
// slightly curved paths: blades of grass or fur seen through shells. With
// radius 2 the disc saturates the 3 x 3 cells around the centre (1000, 500 and
// 292 before saturation) and is zero from distance 2 on.
//
// Each 256 x 256 map is reduced to a 64 x 64 layer by averaging 8 x 8 windows
// on a 4-cell stride, so neighbouring windows overlap by half and the result
// stays tileable. The fin strip (the side view used for silhouettes) takes one
// row per layer: the mean of the first four columns of every layer row.
//
// All draws come from the shared generator in one continuous stream starting
// at 0, so the textures are the same on every run.
#include "gfx/precalc.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstring>

#include "gfx/draw.h"
#include "gfx/image_store.h"
#include "gfx/models.h"
#include "scenes/scenes.h"
#include "shell/shell.h"
#include "timeline/timeline.h"

uint32_t fur_shell_tex[PRECALC_FUR_LAYERS + 1];

static_assert(sizeof(FurBlade) == 64);
static_assert(FUR_LAYER_SIZE * 4 == FUR_MAP_SIZE, "layer windows step 4 map cells");

static int wrap_map(int v)
{
    return ((v % FUR_MAP_SIZE) + FUR_MAP_SIZE) % FUR_MAP_SIZE;
}

void fur_init_blades(FurWork *w)
{
    rand_reset();
    for (FurBlade &b : w->blade) {
        const int32_t n1 = rand_next();
        const int32_t n2 = rand_next();
        const int32_t n3 = rand_next();
        const int32_t n4 = rand_next();
        b.x = n1 % 256;
        b.y = n2 % 256;
        b.vx = 0.0;
        b.vy = 0.0;
        b.ax = ((n3 % 1000) - 500) * 0.00112;
        b.ay = ((n4 % 1000) - 500) * 0.00112;
        b.radius = 2.0;
        b.alive = 1;
    }
}

static void splat(FurWork *w, const FurBlade &b)
{
    const int r = int(std::ceil(b.radius));
    const int cx = int(std::lround(b.x));
    const int cy = int(std::lround(b.y));
    for (int j = -r; j <= r; ++j) {
        for (int k = -r; k <= r; ++k) {
            int v = int((b.radius - std::sqrt(double(j * j + k * k))) * 500.0);
            if (v < 0) v = 0;
            uint8_t &cell = w->coverage[wrap_map(cx + j)][wrap_map(cy + k)];
            const int sum = cell + v;
            cell = uint8_t(sum > 255 ? 255 : sum);
        }
    }
}

void fur_step_layer(FurWork *w, int layer_index)
{
    std::memset(w->coverage, 0, sizeof w->coverage);
    w->splatted = 0;
    for (FurBlade &b : w->blade) {
        if (!b.alive) continue;
        splat(w, b);
        b.x += b.vx;
        b.y += b.vy;
        b.vx += b.ax;
        b.vy += b.ay;
        b.radius *= 0.99;
        ++w->splatted;
        if (rand_next() % 6 == 0) b.alive = 0;
    }

    for (int p = 0; p < FUR_LAYER_SIZE; ++p) {
        for (int q = 0; q < FUR_LAYER_SIZE; ++q) {
            int sum = 0;
            for (int i = 0; i < 8; ++i)
                for (int j = 0; j < 8; ++j) sum += w->coverage[wrap_map(4 * p + i)][wrap_map(4 * q + j)];
            w->layer[p][q] = uint8_t(sum / 64);
        }
    }

    uint8_t *fin_row = w->fin[layer_index - 1];
    for (int p = 0; p < FUR_FIN_WIDTH; ++p)
        fin_row[p] = uint8_t((w->layer[p][0] + w->layer[p][1] + w->layer[p][2] + w->layer[p][3]) / 4);
}

// Scratch for the simulation; only used during precalculation.
static FurWork fur_work;

static void build_fur_textures()
{
    glGenTextures(PRECALC_FUR_LAYERS + 1, fur_shell_tex);
    fur_init_blades(&fur_work);
    for (int layer = 1; layer <= PRECALC_FUR_LAYERS; ++layer) {
        fur_step_layer(&fur_work, layer);
        glBindTexture(GL_TEXTURE_2D, fur_shell_tex[layer]);
        gluBuild2DMipmaps(GL_TEXTURE_2D, GL_ALPHA, FUR_LAYER_SIZE, FUR_LAYER_SIZE, GL_ALPHA, GL_UNSIGNED_BYTE,
                          fur_work.layer);
    }
    glBindTexture(GL_TEXTURE_2D, fur_shell_tex[0]);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_ALPHA, FUR_FIN_WIDTH, PRECALC_FUR_LAYERS, GL_ALPHA, GL_UNSIGNED_BYTE,
                      fur_work.fin);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
}

// The set-ups in the order they run; several share the random stream, so the
// order is part of what they build.
static void (*const scene_setups[])() = {
    title_setup,          projector_setup,      meadow_title_setup, dotscreen_setup, bump_scene_setup,
    blob_scene_setup,     eyes_setup,           metaball_scene_setup, forest_setup,  signature_setup,
};
static_assert(sizeof scene_setups / sizeof scene_setups[0] == SCENE_COUNT);

void precalculate()
{
    ImageDecoder = builtin_image_lookup;
    build_fur_textures();
    glViewport(0, 0, screen_width, screen_height);
    static_models_compile();

    for (void (*setup)() : scene_setups) {
        glPushAttrib(TIMELINE_ATTRIB_MASK);
        setup();
        glPopAttrib();
    }

    // One title frame at rest into the back buffer; start-up clears it before
    // the first swap, so it is never seen. The knobs stay until the timeline
    // writes them.
    glPushAttrib(TIMELINE_ATTRIB_MASK);
    knobs.knob[0] = knobs.knob[1] = knobs.knob[2] = 127.0;
    title_draw();
    glPopAttrib();
}
