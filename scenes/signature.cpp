// Closing signature: on black, a line of eight blocky white characters is
// typed out one by one with a block cursor behind it; once the line is
// complete the cursor blinks. The line can then be stretched and dimmed, and
// a white flash laid over it.
//
// Inputs: knob0 types the characters (each 127/9 adds one), knob6 stretches
// the line sideways from 1.5 to 2.5 times while dimming it to black, knob7
// flashes the frame white; t only paces the cursor's blink.
//
// Units: x in [-200, 200] and y in [-150, 150], two window pixels per unit,
// origin at the centre. The line is eight 8 x 8 cells from x = -36 to 28, the
// cursor a 7 x 8 block after the last character shown; at the rest scale of
// 1.5 the whole line is 192 x 24 pixels. The picture (gfx/image_store.h) holds
// the eight 32 x 28 character cells side by side, first stored row at the
// bottom; each cell is drawn from texel row 0 to 27, so its last row is left
// out and its first row, the bottom, is at y = -4. The glow gives the white
// letters a soft halo.
#include "scenes/signature.h"

#include <GL/gl.h>

#include <cmath>

#include "gfx/draw.h"
#include "gfx/image_store.h"
#include "scenes/scenes.h"
#include "timeline/timeline.h"

static uint32_t signature_tex;

void signature_setup()
{
    glGenTextures(1, &signature_tex);
    glBindTexture(GL_TEXTURE_RECTANGLE, signature_tex);
    glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGB, SIGNATURE_IMAGE_WIDTH, SIGNATURE_IMAGE_HEIGHT, 0, GL_RGB,
                 GL_UNSIGNED_BYTE, quill_signature_image);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
}

int32_t signature_chars(double knob0)
{
    const int32_t n = int32_t(knob0 * 9.0 / 127.0);
    return n > SIGNATURE_CHARS ? SIGNATURE_CHARS : n;
}

bool signature_cursor_shown(int32_t n, double t)
{
    if (n < SIGNATURE_CHARS) return true;
    return 1.4 * t - std::floor(1.4 * t) < 0.7;
}

double signature_stretch(double knob6) { return 1.5 + knob6 / 127.0; }

void signature_draw(double t)
{
    const int32_t n = signature_chars(knobs.knob[0]);
    const bool cursor = signature_cursor_shown(n, t);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-200.0, 200.0, -150.0, 150.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_BLEND);

    const double stretch = signature_stretch(knobs.knob[6]);
    glScaled(stretch, 1.5, stretch);
    const double grey = 1.0 - knobs.knob[6] / 127.0;
    glColor3d(grey, grey, grey);

    glEnable(GL_TEXTURE_RECTANGLE);
    glBindTexture(GL_TEXTURE_RECTANGLE, signature_tex);
    glBegin(GL_QUADS);
    for (int32_t i = 0; i < n; ++i) {
        const int32_t s0 = SIGNATURE_CELL_WIDTH * i, s1 = s0 + SIGNATURE_CELL_WIDTH;
        glTexCoord2i(s0, 0);
        glVertex3i(8 * i - 36, -4, 0);
        glTexCoord2i(s0, 27);
        glVertex3i(8 * i - 36, 4, 0);
        glTexCoord2i(s1, 27);
        glVertex3i(8 * i - 28, 4, 0);
        glTexCoord2i(s1, 0);
        glVertex3i(8 * i - 28, -4, 0);
    }
    glEnd();
    glDisable(GL_TEXTURE_RECTANGLE);

    if (cursor) {
        glBegin(GL_QUADS);
        glVertex3i(8 * n - 35, -4, 0);
        glVertex3i(8 * n - 35, 4, 0);
        glVertex3i(8 * n - 28, 4, 0);
        glVertex3i(8 * n - 28, -4, 0);
        glEnd();
    }

    apply_glow();
    add_white(knobs.knob[7] / 127.0);
}
