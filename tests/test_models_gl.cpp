// The tree on a real window (Xvfb + Mesa), drawn as the forest draws it: a
// black shape on white, its back faces culled. Culling must neither eat into
// the silhouette nor let the far side of a twig or limb show through its
// near side, which holds only when every face winds outwards.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdlib>
#include <vector>

#include "gfx/models.h"
#include "shell/shell.h"

namespace {

constexpr int W = 800, H = 600;

class ModelsGl : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static char arg0[] = "test", arg1[] = "-w";
        static char *argv[] = {arg0, arg1, nullptr};
        startup_video(2, argv, W, H);
    }
    void SetUp() override { glPushAttrib(0x69C9); }
    void TearDown() override { glPopAttrib(); }
};

// Black pixels of the tree seen from `yaw` degrees round its trunk and
// `pitch` degrees above, standing as in the forest (rotated upright, scaled
// by 10), with or without back-face culling; and the depth of every pixel.
int tree_pixels(double yaw, double pitch, bool cull, std::vector<uint8_t> *out, std::vector<float> *depth)
{
    glViewport(0, 0, W, H);
    glClearColor(1, 1, 1, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(40, 4.0 / 3, 1, 200);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, 16, 70, 0, 16, 0, 0, 1, 0);
    glRotated(pitch, 1, 0, 0);
    glRotated(yaw, 0, 1, 0);
    glRotated(-90, 1, 0, 0);
    glScaled(10, 10, 10);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    if (cull) {
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
    } else {
        glDisable(GL_CULL_FACE);
    }
    glColor3f(0, 0, 0);
    draw_static_model(MODEL_TREE);
    out->resize(W * H);
    glReadPixels(0, 0, W, H, GL_LUMINANCE, GL_UNSIGNED_BYTE, out->data());
    depth->resize(W * H);
    glReadPixels(0, 0, W, H, GL_DEPTH_COMPONENT, GL_FLOAT, depth->data());
    int black = 0;
    for (uint8_t v : *out) black += v < 128;
    return black;
}

} // namespace

TEST_F(ModelsGl, TreeKeepsItsSilhouetteWithBackFacesCulled)
{
    for (double yaw : {0.0, 30.0, 90.0, 200.0})
        for (double pitch : {0.0, 25.0}) {
            std::vector<uint8_t> all, culled;
            std::vector<float> all_depth, culled_depth;
            const int full = tree_pixels(yaw, pitch, false, &all, &all_depth);
            const int kept = tree_pixels(yaw, pitch, true, &culled, &culled_depth);
            // The tree fills a good part of the view: 31 units tall at 70.
            EXPECT_GT(full, W * H / 20) << yaw << " " << pitch;
            // Culling only hides faces that other faces cover; the few pixels
            // it opens are where a twig's open root shows through its limb.
            int lost = 0;
            for (size_t i = 0; i < all.size(); ++i) lost += all[i] < 128 && culled[i] >= 128;
            EXPECT_LT(lost, full / 200) << yaw << " " << pitch << ": " << lost << " of " << full;
            EXPECT_LE(kept, full);
            // Where both show the tree, culling leaves the nearest surface:
            // faces wound inwards would leave their far sides instead.
            int deeper = 0;
            for (size_t i = 0; i < all.size(); ++i) deeper += culled[i] < 128 && culled_depth[i] > all_depth[i] + 1e-5f;
            EXPECT_LT(deeper, full / 200) << yaw << " " << pitch << ": " << deeper << " of " << full;
        }
}
