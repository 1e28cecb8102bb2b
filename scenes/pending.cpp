// Scenes that are not drawn yet: their set-ups build nothing and their
// drawing routines clear the frame to black. Each one moves out of this file
// into its own scenes/<name>.cpp when it is built.
#include <GL/gl.h>

#include "scenes/scenes.h"

static void clear_to_black()
{
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void projector_setup() {}
void projector_draw(double) { clear_to_black(); }

void meadow_title_setup() {}
void meadow_title_draw(double) { clear_to_black(); }

void dotscreen_setup() {}
void dotscreen_draw(double, int32_t) { clear_to_black(); }

void bump_scene_setup() {}
void bump_scene_draw(double, int32_t) { clear_to_black(); }

void blob_scene_setup() {}
void blob_scene_draw(double) { clear_to_black(); }
