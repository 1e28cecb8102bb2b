// Title scene: on white, the logo slides in from the left, the gifts picture
// slides in from the right and the caption fades in below them; a white flash
// can cover the whole.
//
// The scene has no clock: every motion is a function of one knob.
//   knob0  logo opacity and slide        knob2  caption opacity (no slide)
//   knob1  gifts opacity and slide       knob3  white flash over the frame
// With b = knob / 127 a picture sits off(b) = 400 (1 - b)(1 - 2b) units from
// rest: 400 (one half-window away) when b = 0, at rest when half opaque
// (b = 0.5), overshooting to -50 at b = 0.75 and settling at b = 1. One unit is
// one window pixel with the origin at the centre, so at rest every picture is
// drawn texel for pixel.
//
// The logo array is stored top row first, so its quad maps texture row 0 to
// the top edge; the gifts and caption come from the image store, bottom row
// first, and map texture row 0 to the bottom edge. All three have white
// backgrounds, so only their content shows over the white clear colour.
#include <GL/gl.h>

#include "gfx/draw.h"
#include "gfx/image_store.h"
#include "scenes/scenes.h"
#include "timeline/timeline.h"

static uint32_t title_tex[3];
static int32_t gifts_w, gifts_h, caption_w, caption_h;

void title_setup()
{
    glGenTextures(3, title_tex);
    upload_rect_image(title_tex[1], "ozklogo_presents", &gifts_w, &gifts_h);
    upload_rect_image(title_tex[2], "ozklogo_subtitle", &caption_w, &caption_h);
    glBindTexture(GL_TEXTURE_RECTANGLE, title_tex[0]);
    glTexImage2D(GL_TEXTURE_RECTANGLE, 0, GL_RGB, TITLE_LOGO_WIDTH, TITLE_LOGO_HEIGHT, 0, GL_RGB,
                 GL_UNSIGNED_BYTE, quill_title_logo);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
}

// Distance from rest of a picture whose knob is k (0..127).
static double slide_offset(double k)
{
    const double b = 1.0 - (127.0 - k) / 127.0;
    return 400.0 * (1.0 - 3.0 * b + 2.0 * b * b);
}

// One textured quad: texel (0, 0) at (x0, y0), texel (w, h) at (x1, y1).
static void picture_quad(int32_t w, int32_t h, double x0, double y0, double x1, double y1)
{
    glBegin(GL_QUADS);
    glTexCoord2i(0, 0);
    glVertex3d(x0, y0, 0.0);
    glTexCoord2i(w, 0);
    glVertex3d(x1, y0, 0.0);
    glTexCoord2i(w, h);
    glVertex3d(x1, y1, 0.0);
    glTexCoord2i(0, h);
    glVertex3d(x0, y1, 0.0);
    glEnd();
}

void title_draw()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-400.0, 400.0, -300.0, 300.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    glEnable(GL_TEXTURE_RECTANGLE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    // Logo: rests centred at (0, 85), texture row 0 at the top.
    const double logo_o = slide_offset(knobs.knob[0]);
    const int32_t lw = TITLE_LOGO_WIDTH, lh = TITLE_LOGO_HEIGHT;
    glBindTexture(GL_TEXTURE_RECTANGLE, title_tex[0]);
    glColor4d(1.0, 1.0, 1.0, knobs.knob[0] / 127.0);
    picture_quad(lw, lh, -lw / 2 - logo_o, 182.0, lw / 2 - logo_o, 182.0 - lh);

    // Gifts: rest centred at (0, -85), slide in from the right.
    const double gifts_o = slide_offset(knobs.knob[1]);
    glBindTexture(GL_TEXTURE_RECTANGLE, title_tex[1]);
    glColor4d(1.0, 1.0, 1.0, knobs.knob[1] / 127.0);
    picture_quad(gifts_w, gifts_h, gifts_o - gifts_w / 2, -85 - gifts_h / 2, gifts_o + gifts_w / 2,
                 gifts_h / 2 - 85);

    // Caption: centred at (0, -190), fades only.
    glBindTexture(GL_TEXTURE_RECTANGLE, title_tex[2]);
    glColor4d(1.0, 1.0, 1.0, knobs.knob[2] / 127.0);
    picture_quad(caption_w, caption_h, -caption_w / 2, -190 - caption_h / 2, caption_w / 2, caption_h / 2 - 190);

    add_white(knobs.knob[3] / 127.0);
}
