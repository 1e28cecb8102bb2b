// The pictures that scenes read directly and the tunnel's fragment program:
// their embedded sizes and layout, the facts each scene relies on (the reel's
// see-through windows, the flower's alpha, the corner mask's taper, the
// relief's range and tiling, the signature's cells), the program text, and
// (BumpProgram.*, under an X server) that the GL accepts the program and
// lights a texel the way its comment says.
#include "gfx/image_store.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

extern "C" const unsigned char quill_reel_image_end[], quill_flower_image_end[], quill_corner_mask_image_end[],
    quill_subtitle_image_end[], quill_signature_image_end[], quill_height_image_end[];

namespace {

// A raw picture in store order: row 0 is the bottom row (texture t = 0).
struct Raw {
    const uint8_t *px;
    int w, h;
    const uint8_t *at(int x, int row) const { return px + (static_cast<size_t>(row) * w + x) * 3; }
    bool grey_at(int x, int row) const { return at(x, row)[0] == at(x, row)[1] && at(x, row)[1] == at(x, row)[2]; }
};

const Raw REEL{quill_reel_image, REEL_IMAGE_SIZE, REEL_IMAGE_SIZE};
const Raw FLOWER{quill_flower_image, FLOWER_IMAGE_SIZE, FLOWER_IMAGE_SIZE};
const Raw MASK{quill_corner_mask_image, CORNER_MASK_SIZE, CORNER_MASK_SIZE};
const Raw SIGNATURE{quill_signature_image, SIGNATURE_IMAGE_WIDTH, SIGNATURE_IMAGE_HEIGHT};
const Raw HEIGHT{quill_height_image, HEIGHT_IMAGE_SIZE, HEIGHT_IMAGE_SIZE};

// Runs of consecutive samples around a circle for which solid() holds (a
// circle that is solid all round is one run).
template <typename Solid>
int runs_around(double cx, double cy, double radius, Solid solid) {
    const int steps = 720;
    int runs = 0, count = 0;
    bool prev = solid(cx + radius, cy);
    for (int i = 1; i <= steps; i++) {
        double a = 2 * M_PI * i / steps;
        bool now = solid(cx + radius * std::cos(a), cy + radius * std::sin(a));
        runs += now && !prev;
        count += now;
        prev = now;
    }
    return count == steps ? 1 : runs;
}

// The flower's alpha as the meadow scenes compute it.
int flower_alpha(int c, int r) {
    const uint8_t *p = FLOWER.at(c, r);
    if (std::hypot(c - 32.0, r - 32.0) * 0.03125 <= 0.3) return 255;
    return std::min(p[0] + p[1] + p[2], 255);
}

// The instruction lines, in order, after the comment header.
const char *const PROGRAM_LINES[] = {
    "PARAM c[3] = { { 0.029999999, 0.5, 2, 0 },",
    "\t\t{ 0.99000001, 0.0099999998, 0.125, 0.050000001 },",
    "\t\t{ 1 } };",
    "TEMP R0;",
    "TEMP R1;",
    "DP3 R0.x, fragment.texcoord[1], fragment.texcoord[1];",
    "RSQ R0.w, R0.x;",
    "TEX R0.xyz, fragment.texcoord[0], texture[0], 2D;",
    "MUL R1.xyz, R0.w, fragment.texcoord[1];",
    "ADD R0.xyz, R0, -c[0].y;",
    "MUL R0.xyz, R0, R1;",
    "DP3 R0.x, R0, c[0].z;",
    "RCP R0.y, R0.w;",
    "MAD R0.x, -R0.y, c[0], R0;",
    "MAX R0.z, R0.x, c[0].w;",
    "MUL R0.w, R0.z, c[1].x;",
    "MUL R0.xy, fragment.texcoord[0], c[1].zwzw;",
    "TEX R0.xyz, R0, texture[1], 2D;",
    "ADD R0.w, R0, c[1].y;",
    "MUL result.color.xyz, R0.w, R0;",
    "MOV result.color.w, c[2].x;",
    "END",
};

}  // namespace

TEST(RawPictures, EachArrayHoldsExactlyItsPixelsAndTheProgramFollowsTheRelief) {
    EXPECT_EQ(quill_reel_image_end - quill_reel_image, 128 * 128 * 3);
    EXPECT_EQ(quill_flower_image_end - quill_flower_image, 64 * 64 * 3);
    EXPECT_EQ(quill_corner_mask_image_end - quill_corner_mask_image, 64 * 64 * 3);
    EXPECT_EQ(quill_subtitle_image_end - quill_subtitle_image, 336 * 16 * 3);
    EXPECT_EQ(quill_signature_image_end - quill_signature_image, 256 * 28 * 3);
    EXPECT_EQ(quill_height_image_end - quill_height_image, 128 * 128 * 3 + BUMP_PROGRAM_LENGTH);
    EXPECT_EQ(bump_program_text(), reinterpret_cast<const char *>(quill_height_image) + 49152);
    // The embedding adds a NUL after the last byte, so the text is a C string.
    EXPECT_EQ(std::strlen(bump_program_text()), 1238u);
}

TEST(RawPictures, ReelIsSolidGreyMetalWithFourWindowsOnBlack) {
    // The flange keeps the texels whose red passes the alpha test (> 0.2).
    auto solid = [](double x, double y) { return REEL.at(int(x), int(y))[0] > 51; };
    const double c = 64.0;
    EXPECT_EQ(runs_around(c, c, 0.5 * c, [&](double x, double y) { return !solid(x, y); }), 4);  // windows
    EXPECT_EQ(runs_around(c, c, 0.9 * c, solid), 1);                                            // rim
    EXPECT_EQ(runs_around(c, c, 0.18 * c, solid), 1);                                           // hub ring
    EXPECT_EQ(runs_around(c, c, 0.995 * c, solid), 0);                                          // black around
    EXPECT_FALSE(solid(c, c));                                                                  // spindle hole
    for (int i = 0; i < REEL.w * REEL.h; i++) ASSERT_TRUE(REEL.grey_at(i % REEL.w, i / REEL.w)) << i;
}

TEST(RawPictures, FlowerAlphaKeepsTheHeartAndPetalsAndDropsTheBlack) {
    int opaque = 0;
    for (int r = 0; r < 64; r++)
        for (int c = 0; c < 64; c++) {
            int a = flower_alpha(c, r);
            double d = std::hypot(c - 32.0, r - 32.0);
            opaque += a == 255;
            if (d >= 32.0) {
                EXPECT_EQ(a, 0) << c << "," << r;  // black beyond the petal tips
            } else if (d > 10.0 && d < 14.0) {
                EXPECT_EQ(a, 255) << c << "," << r;  // the petals close around the heart
                const uint8_t *p = FLOWER.at(c, r);  // and are white or a pale grey
                EXPECT_GT(p[0], 150);
                EXPECT_LE(std::abs(p[0] - p[1]) + std::abs(p[1] - p[2]), 60);
            }
        }
    EXPECT_GT(opaque, 64 * 64 * 3 / 10);
    EXPECT_LT(opaque, 64 * 64 * 7 / 10);
    // Separate petals: nine opaque runs around the flower near the tips.
    EXPECT_EQ(runs_around(32, 32, 27, [](double x, double y) { return flower_alpha(int(x), int(y)) > 127; }), 9);
    const uint8_t *heart = FLOWER.at(33, 30);  // yellow
    EXPECT_TRUE(heart[0] > 180 && heart[1] > 120 && heart[2] < 90);
}

TEST(RawPictures, CornerMaskIsWhiteOnlyAtTheOuterCornerAndTapersIntoBothEdges) {
    EXPECT_EQ(MASK.at(0, 0)[0], 255);  // texture (0, 0): where the bar edge meets the screen edge
    int white = 0;
    for (int t = 0; t < 64; t++)
        for (int s = 0; s < 64; s++) {
            ASSERT_TRUE(MASK.grey_at(s, t));
            white += MASK.at(s, t)[0] > 127;
        }
    // The far edges are fully transparent, so the mask meets the rest of the
    // bar and the picture without a step.
    for (int i = 0; i < 64; i++) {
        EXPECT_EQ(MASK.at(63, i)[0], 0) << i;
        EXPECT_EQ(MASK.at(i, 63)[0], 0) << i;
    }
    // One soft edge: along the diagonal the mask only ever fades.
    for (int i = 1; i < 64; i++) EXPECT_LE(MASK.at(i, i)[0], MASK.at(i - 1, i - 1)[0]) << i;
    EXPECT_GT(white, 64 * 64 / 10);
    EXPECT_LT(white, 64 * 64 * 3 / 10);
}

TEST(RawPictures, ReliefIsGreyInItsRangeAndRepeatsWithoutASeam) {
    int lo = 255, hi = 0;
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) {
            ASSERT_TRUE(HEIGHT.grey_at(x, y));
            lo = std::min<int>(lo, HEIGHT.at(x, y)[0]);
            hi = std::max<int>(hi, HEIGHT.at(x, y)[0]);
        }
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 173);
    // The step across the wrap (last column to first, last row to first) is
    // like any other step between neighbours.
    double inner = 0, wrap_x = 0, wrap_y = 0;
    for (int i = 0; i < 128; i++) {
        for (int j = 0; j + 1 < 128; j++)
            inner += std::abs(HEIGHT.at(j + 1, i)[0] - HEIGHT.at(j, i)[0]) + std::abs(HEIGHT.at(i, j + 1)[0] - HEIGHT.at(i, j)[0]);
        wrap_x += std::abs(HEIGHT.at(0, i)[0] - HEIGHT.at(127, i)[0]);
        wrap_y += std::abs(HEIGHT.at(i, 0)[0] - HEIGHT.at(i, 127)[0]);
    }
    inner /= 2 * 127;
    EXPECT_LT(wrap_x, 2 * inner);
    EXPECT_LT(wrap_y, 2 * inner);
    EXPECT_GT(inner, 128 * 2.0);  // a relief, not a flat field
}

TEST(RawPictures, SignatureIsEightBlockyCharactersUpright) {
    for (int cell = 0; cell < 8; cell++) {
        int ink = 0;
        for (int y = 0; y < 28; y++)
            for (int x = 0; x < 32; x++) {
                const uint8_t *p = SIGNATURE.at(32 * cell + x, y);
                ASSERT_TRUE(SIGNATURE.grey_at(32 * cell + x, y));
                ASSERT_TRUE(p[0] == 0 || p[0] == 255) << "cell " << cell;  // pure white blocks on black
                bool margin = x < 2 || x >= 30 || y < 2 || y >= 26;
                if (p[0]) {
                    EXPECT_FALSE(margin) << "cell " << cell << " ink at " << x << "," << y;
                    ink++;
                }
            }
        EXPECT_GT(ink, 28 * 24 / 4) << "cell " << cell;
    }
    // The second character is a T: its bar is at the top (the last stored
    // rows), its stem alone below, so the line is not stored upside down.
    auto row_ink = [](int row) {
        int n = 0;
        for (int x = 0; x < 32; x++) n += SIGNATURE.at(32 + x, row)[0] != 0;
        return n;
    };
    EXPECT_EQ(row_ink(24), 28);
    EXPECT_EQ(row_ink(3), 12);
}

TEST(BumpProgramText, HeaderThenTheInstructionLinesAndTheCount) {
    const std::string text(bump_program_text(), BUMP_PROGRAM_LENGTH);
    ASSERT_EQ(text.rfind("!!ARBfp1.0\n", 0), 0u);
    std::vector<std::string> comments, code;
    for (size_t at = 11; at < text.size();) {
        size_t end = text.find('\n', at);
        (text[at] == '#' ? comments : code).push_back(text.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_EQ(code.size(), std::size(PROGRAM_LINES));
    for (size_t i = 0; i < code.size(); i++) EXPECT_EQ(code[i], PROGRAM_LINES[i]) << "line " << i + 1;
    // The count closes the text, on a line of its own with its newline.
    EXPECT_EQ(text.find("END\n# 16 instructions, 2 R-regs\n"), text.size() - 32);
    std::string header;
    for (const std::string &c : comments) header += c + "\n";
    for (const char *role : {"-profile arbfp1", "bump_shader", "main", "normals", "pattern", "texc", "light"})
        EXPECT_NE(header.find(role), std::string::npos) << role;
}

// --- the program on the GL -----------------------------------------------------

// Extension entry points come from the driver, as the show must fetch them:
// the GL library it links need not export them.
template <typename F>
F entry(const char *name) {
    return reinterpret_cast<F>(SDL_GL_GetProcAddress(name));
}

TEST(BumpProgram, MesaAcceptsItAndItLightsAsItsCommentSays) {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    ASSERT_NE(SDL_SetVideoMode(64, 64, 0, SDL_OPENGL), nullptr) << SDL_GetError();
    auto bind_program = entry<PFNGLBINDPROGRAMARBPROC>("glBindProgramARB");
    auto program_string = entry<PFNGLPROGRAMSTRINGARBPROC>("glProgramStringARB");
    auto get_program = entry<PFNGLGETPROGRAMIVARBPROC>("glGetProgramivARB");
    auto active_texture = entry<PFNGLACTIVETEXTUREARBPROC>("glActiveTextureARB");
    auto tex_coord_3d = entry<PFNGLMULTITEXCOORD3DARBPROC>("glMultiTexCoord3dARB");
    ASSERT_TRUE(bind_program && program_string && get_program && active_texture && tex_coord_3d);

    bind_program(GL_FRAGMENT_PROGRAM_ARB, 0);
    program_string(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_FORMAT_ASCII_ARB, BUMP_PROGRAM_LENGTH, bump_program_text());
    GLint error_at = 0, temporaries = 0;
    glGetIntegerv(GL_PROGRAM_ERROR_POSITION_ARB, &error_at);
    ASSERT_EQ(error_at, -1) << glGetString(GL_PROGRAM_ERROR_STRING_ARB);
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    get_program(GL_FRAGMENT_PROGRAM_ARB, GL_PROGRAM_TEMPORARIES_ARB, &temporaries);
    EXPECT_EQ(temporaries, 2);  // the two R registers its closing comment counts

    // One-texel textures: a normal straight up (128, 128, 255) on unit 0, a
    // pattern colour on unit 1; then three strips, each with its own light
    // vector L in texture set 1.
    const uint8_t normal[3] = {128, 128, 255}, pattern[3] = {200, 100, 50};
    GLuint tex[2];
    glGenTextures(2, tex);
    for (int unit = 0; unit < 2; unit++) {
        active_texture(GL_TEXTURE0_ARB + unit);
        glBindTexture(GL_TEXTURE_2D, tex[unit]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, unit ? pattern : normal);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    }
    active_texture(GL_TEXTURE0_ARB);
    glEnable(GL_FRAGMENT_PROGRAM_ARB);
    const double lights[3][3] = {{0, 0, 2}, {3, 0, 4}, {-4, 0, 0.2}};
    for (int i = 0; i < 3; i++) {
        glBegin(GL_QUADS);
        for (auto [x, y] : {std::pair{-1, i}, {1, i}, {1, i + 1}, {-1, i + 1}}) {
            tex_coord_3d(GL_TEXTURE1_ARB, lights[i][0], lights[i][1], lights[i][2]);
            glVertex2d(x, -1 + 2 * y / 3.0);
        }
        glEnd();
    }
    glDisable(GL_FRAGMENT_PROGRAM_ARB);

    // I = max(N.L/|L| - 0.03 |L|, 0) * 0.99 + 0.01 with N = 2 texel - 1; the
    // third light, low on the far side, leaves only the floor of 0.01.
    const double n[3] = {128 / 127.5 - 1, 128 / 127.5 - 1, 1};
    for (int i = 0; i < 3; i++) {
        const double *l = lights[i];
        double len = std::sqrt(l[0] * l[0] + l[1] * l[1] + l[2] * l[2]);
        double lit = std::max((n[0] * l[0] + n[1] * l[1] + n[2] * l[2]) / len - 0.03 * len, 0.0) * 0.99 + 0.01;
        uint8_t px[3];
        glReadPixels(32, 64 * (2 * i + 1) / 6, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, px);
        for (int ch = 0; ch < 3; ch++) EXPECT_NEAR(px[ch], lit * pattern[ch], 2.0) << "strip " << i << " channel " << ch;
    }
    SDL_Quit();
}
