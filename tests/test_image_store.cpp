// Image store: key lookup, the embedded pictures' defining properties
// (sizes, orientation, backgrounds, seamless tiling, colour kinds), and the
// texture uploads (ImageUpload.*, which need an X server and GL).
#include "gfx/image_store.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

extern "C" const unsigned char quill_image_blob[];
extern "C" const unsigned char quill_image_blob_end[];

namespace {

struct Expected {
    const char *key;
    int32_t width, height;
};

// The keyed images, in lookup order, with their fixed sizes.
constexpr Expected EXPECTED[] = {
    {"ozklogo_presents", 200, 140}, {"ozklogo_subtitle", 132, 24}, {"proj_texture", 512, 512},
    {"plasmaflower", 128, 128},     {"bump_pattern", 128, 128},    {"eyes_haze", 512, 512},
    {"quillmora", 704, 144},        {"greet01", 176, 39},          {"greet02", 88, 44},
    {"greet03", 252, 49},           {"greet04", 264, 49},          {"greet05", 60, 39},
    {"greet06", 100, 49},           {"greet07", 176, 44},          {"greet08", 292, 44},
    {"greet09", 180, 54},           {"greet10", 52, 44},           {"greet11", 264, 49},
    {"greet12", 264, 44},           {"greet13", 176, 39},          {"greet14", 348, 54},
    {"greet15", 76, 44},            {"greet16", 252, 44},
};

// A looked-up picture with pixel access in the store's order (row 0 = bottom).
struct Picture {
    const uint8_t *px = nullptr;
    int32_t w = 0, h = 0, stride = 0;
    const uint8_t *at(int x, int row) const { return px + static_cast<size_t>(row) * stride + 3 * x; }
};

Picture lookup(const char *key) {
    Picture p;
    EXPECT_EQ(builtin_image_lookup(&p.px, &p.w, &p.h, &p.stride, key), 0) << key;
    return p;
}

bool is_white(const uint8_t *p) { return p[0] == 255 && p[1] == 255 && p[2] == 255; }

// Calls f(pixel) for every pixel of the outermost one-pixel ring.
template <typename F>
void for_each_border_pixel(const Picture &p, F f) {
    for (int x = 0; x < p.w; x++) {
        f(p.at(x, 0));
        f(p.at(x, p.h - 1));
    }
    for (int y = 0; y < p.h; y++) {
        f(p.at(0, y));
        f(p.at(p.w - 1, y));
    }
}

// Mean absolute channel difference between column a and column b (or rows).
double column_difference(const Picture &p, int a, int b) {
    double sum = 0;
    for (int y = 0; y < p.h; y++)
        for (int c = 0; c < 3; c++) sum += std::abs(int(p.at(a, y)[c]) - int(p.at(b, y)[c]));
    return sum / (3.0 * p.h);
}

double row_difference(const Picture &p, int a, int b) {
    double sum = 0;
    for (int x = 0; x < p.w; x++)
        for (int c = 0; c < 3; c++) sum += std::abs(int(p.at(x, a)[c]) - int(p.at(x, b)[c]));
    return sum / (3.0 * p.w);
}

// Number of non-white pixels in a stored row.
int inked_in_row(const uint8_t *row, int w) {
    int n = 0;
    for (int x = 0; x < w; x++)
        if (!is_white(row + 3 * x)) n++;
    return n;
}

}  // namespace

// --- lookup ------------------------------------------------------------------

TEST(ImageStore, EveryKeyResolvesToItsOwnAlignedArrayInsideTheBlob) {
    std::set<const uint8_t *> seen;
    const uint8_t *prev_end = nullptr;
    for (const Expected &e : EXPECTED) {
        Picture p = lookup(e.key);
        EXPECT_EQ(p.w, e.width) << e.key;
        EXPECT_EQ(p.h, e.height) << e.key;
        EXPECT_EQ(p.stride, 3 * e.width) << e.key;
        EXPECT_EQ(p.w % 4, 0) << e.key;
        ASSERT_NE(p.px, nullptr) << e.key;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p.px) % 4, 0u) << e.key;  // rows start 4-byte aligned
        EXPECT_GE(p.px, quill_image_blob) << e.key;
        EXPECT_LE(p.px + static_cast<size_t>(p.stride) * p.h, quill_image_blob_end) << e.key;
        // Stored in table order, so each array starts after the previous one ends.
        if (prev_end) {
            EXPECT_GE(p.px, prev_end) << e.key;
        }
        prev_end = p.px + static_cast<size_t>(p.stride) * p.h;
        EXPECT_TRUE(seen.insert(p.px).second) << e.key;
    }
    EXPECT_EQ(seen.size(), std::size(EXPECTED));
}

TEST(ImageStore, OnlyExactKeysMatchAndMissesWriteNothing) {
    const char *misses[] = {"eyes_haz", "eyes_hazee", "EYES_HAZE", "", "Eyes_haze", "greet1", "greet161",
                            "greet00", "greet17", "eyes_haze ", " eyes_haze", "ozklogo", nullptr};
    for (const char *key : misses) {
        const uint8_t sentinel_byte = 0;
        const uint8_t *px = &sentinel_byte;
        int32_t w = -7, h = -8, s = -9;
        EXPECT_EQ(builtin_image_lookup(&px, &w, &h, &s, key), 1) << (key ? key : "(null)");
        EXPECT_EQ(px, &sentinel_byte);
        EXPECT_EQ(w, -7);
        EXPECT_EQ(h, -8);
        EXPECT_EQ(s, -9);
    }
    // A key read from a buffer rather than a literal still matches by content.
    char copy[16];
    std::strcpy(copy, "greet16");
    Picture p;
    ASSERT_EQ(builtin_image_lookup(&p.px, &p.w, &p.h, &p.stride, copy), 0);
    EXPECT_EQ(p.w, 252);
    EXPECT_EQ(p.h, 44);
    EXPECT_EQ(p.stride, 756);
}

TEST(ImageStoreDeathTest, UploadsExitWithStatusTwoAndNoMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ImageDecoder = nullptr;
    int32_t w, h;
    EXPECT_EXIT(upload_rect_image(1, "greet01", &w, &h), testing::ExitedWithCode(2), "^$");
    EXPECT_EXIT(upload_mipmapped_image(1, "plasmaflower"), testing::ExitedWithCode(2), "^$");
    ImageDecoder = builtin_image_lookup;
    EXPECT_EXIT(upload_rect_image(1, "greet17", &w, &h), testing::ExitedWithCode(2), "^$");
    EXPECT_EXIT(upload_mipmapped_image(1, "Quillmora"), testing::ExitedWithCode(2), "^$");
    ImageDecoder = nullptr;
}

// --- the pictures ------------------------------------------------------------

TEST(ImagePictures, TitlePicturesSitOnPureWhite) {
    for (const char *key : {"ozklogo_presents", "ozklogo_subtitle"}) {
        Picture p = lookup(key);
        int non_white_border = 0;
        for_each_border_pixel(p, [&](const uint8_t *px) { non_white_border += !is_white(px); });
        EXPECT_EQ(non_white_border, 0) << key;
        int inked = 0;
        for (int y = 0; y < p.h; y++) inked += inked_in_row(p.at(0, y), p.w);
        EXPECT_GT(inked, p.w * p.h / 10) << key;
    }
    Picture logo{quill_title_logo, TITLE_LOGO_WIDTH, TITLE_LOGO_HEIGHT, 3 * TITLE_LOGO_WIDTH};
    int non_white_border = 0;
    for_each_border_pixel(logo, [&](const uint8_t *px) { non_white_border += !is_white(px); });
    EXPECT_EQ(non_white_border, 0);

    // The caption is dark writing: its darkest pixels are near black.
    Picture caption = lookup("ozklogo_subtitle");
    int darkest = 255 * 3;
    for (int y = 0; y < caption.h; y++)
        for (int x = 0; x < caption.w; x++) {
            const uint8_t *px = caption.at(x, y);
            darkest = std::min(darkest, px[0] + px[1] + px[2]);
        }
    EXPECT_LT(darkest, 3 * 70);
}

TEST(ImagePictures, OrientationPutsTheHeavyPartWhereItBelongs) {
    // The gifts stand on the floor: their widest row (the box bodies and the
    // floor shadow) is in the lower half, which the store keeps first.
    Picture gifts = lookup("ozklogo_presents");
    int widest_row = 0, widest = -1;
    for (int y = 0; y < gifts.h; y++) {
        int n = inked_in_row(gifts.at(0, y), gifts.w);
        if (n > widest) {
            widest = n;
            widest_row = y;
        }
    }
    EXPECT_LT(widest_row, gifts.h / 2);

    // The title logo is stored top first: the big lettering comes before the
    // small line beneath it.
    int top_ink = 0, bottom_ink = 0;
    for (int y = 0; y < TITLE_LOGO_HEIGHT; y++) {
        int n = inked_in_row(quill_title_logo + static_cast<size_t>(y) * 3 * TITLE_LOGO_WIDTH, TITLE_LOGO_WIDTH);
        (y < TITLE_LOGO_HEIGHT / 2 ? top_ink : bottom_ink) += n;
    }
    EXPECT_GT(top_ink, 2 * bottom_ink);
}

TEST(ImagePictures, SurfacesTileWithoutSeams) {
    for (const char *key : {"plasmaflower", "bump_pattern", "eyes_haze"}) {
        Picture p = lookup(key);
        // The wrap-around step (last column to first) must look like an
        // ordinary step between neighbours, not like a jump between unrelated
        // pixels.
        double inner_cols = 0, inner_rows = 0;
        for (int i = 0; i + 1 < p.w; i++) inner_cols += column_difference(p, i, i + 1);
        for (int i = 0; i + 1 < p.h; i++) inner_rows += row_difference(p, i, i + 1);
        inner_cols /= p.w - 1;
        inner_rows /= p.h - 1;
        EXPECT_LT(column_difference(p, p.w - 1, 0), 2.0 * inner_cols + 1.0) << key;
        EXPECT_LT(row_difference(p, p.h - 1, 0), 2.0 * inner_rows + 1.0) << key;
        // Guard against a flat picture, which would pass the seam test trivially.
        EXPECT_GT(column_difference(p, 0, p.w / 2), 4.0 * inner_cols) << key;
    }
}

TEST(ImagePictures, GreetingsAreGreyLetteringOnBlackWithRoomAround) {
    for (int i = 1; i <= 16; i++) {
        char key[24];
        std::snprintf(key, sizeof key, "greet%02d", i);
        Picture p = lookup(key);
        int coloured = 0, lit = 0, bright = 0;
        for (int y = 0; y < p.h; y++)
            for (int x = 0; x < p.w; x++) {
                const uint8_t *px = p.at(x, y);
                coloured += px[0] != px[1] || px[1] != px[2];
                lit += px[0] > 64;
                bright += px[0] >= 240;
            }
        EXPECT_EQ(coloured, 0) << key;
        int border = 0;
        for_each_border_pixel(p, [&](const uint8_t *px) { border += px[0] + px[1] + px[2]; });
        EXPECT_EQ(border, 0) << key << ": lettering touches the edge";
        EXPECT_GT(lit, p.w * p.h / 20) << key;
        EXPECT_LT(lit, p.w * p.h * 3 / 4) << key;
        EXPECT_GT(bright, 0) << key;
    }
}

TEST(ImagePictures, EachPictureHasItsKindOfColour) {
    // Haze: grey wisps on a mostly dark ground.
    Picture haze = lookup("eyes_haze");
    long long sum = 0;
    int coloured = 0, wisps = 0;
    for (int y = 0; y < haze.h; y++)
        for (int x = 0; x < haze.w; x++) {
            const uint8_t *px = haze.at(x, y);
            coloured += px[0] != px[1] || px[1] != px[2];
            sum += px[0];
            wisps += px[0] > 160;
        }
    EXPECT_EQ(coloured, 0);
    EXPECT_LT(sum / (haze.w * haze.h), 90);
    EXPECT_GT(wisps, haze.w * haze.h / 100);

    // Plasma: many colours, each primary dominating a fair share of pixels.
    Picture plasma = lookup("plasmaflower");
    int dominant[3] = {0, 0, 0};
    for (int y = 0; y < plasma.h; y++)
        for (int x = 0; x < plasma.w; x++) {
            const uint8_t *px = plasma.at(x, y);
            int c = px[0] >= px[1] && px[0] >= px[2] ? 0 : (px[1] >= px[2] ? 1 : 2);
            dominant[c]++;
        }
    for (int c = 0; c < 3; c++) EXPECT_GT(dominant[c], plasma.w * plasma.h / 20) << "channel " << c;

    // Projector skin: flat colours; grey ground plus several distinct colours
    // that each cover a real area.
    Picture skin = lookup("proj_texture");
    std::vector<std::pair<uint32_t, int>> counts;
    {
        std::vector<int> hist(1 << 15, 0);  // 5 bits per channel
        for (int y = 0; y < skin.h; y++)
            for (int x = 0; x < skin.w; x++) {
                const uint8_t *px = skin.at(x, y);
                hist[(px[0] >> 3) << 10 | (px[1] >> 3) << 5 | (px[2] >> 3)]++;
            }
        for (uint32_t i = 0; i < hist.size(); i++)
            if (hist[i] > skin.w * skin.h / 200) counts.push_back({i, hist[i]});
    }
    EXPECT_GE(counts.size(), 6u);
    const uint8_t *corner = skin.at(0, 0);
    EXPECT_EQ(corner[0], corner[1]);
    EXPECT_EQ(corner[1], corner[2]);

    // Wood lettering: black around, warm brown inside (red over green over blue).
    Picture wood = lookup("quillmora");
    int border = 0, inked = 0, warm = 0;
    for_each_border_pixel(wood, [&](const uint8_t *px) { border += px[0] + px[1] + px[2]; });
    for (int y = 0; y < wood.h; y++)
        for (int x = 0; x < wood.w; x++) {
            const uint8_t *px = wood.at(x, y);
            if (px[0] < 40) continue;
            inked++;
            warm += px[0] > px[1] && px[1] > px[2];
        }
    EXPECT_EQ(border, 0);
    EXPECT_GT(inked, wood.w * wood.h / 6);
    EXPECT_GT(warm, inked * 95 / 100);
}

// --- texture uploads (need GL) -----------------------------------------------

class ImageUpload : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        ASSERT_NE(SDL_SetVideoMode(64, 64, 0, SDL_OPENGL), nullptr) << SDL_GetError();
    }
    static void TearDownTestSuite() { SDL_Quit(); }
    void SetUp() override {
        ASSERT_NE(SDL_GetVideoSurface(), nullptr) << "no GL window";
        ImageDecoder = builtin_image_lookup;
    }
    void TearDown() override { ImageDecoder = nullptr; }
};

TEST_F(ImageUpload, RectangleTextureHoldsThePixelsAtTheirSize) {
    GLuint tex;
    glGenTextures(1, &tex);
    int32_t w = 0, h = 0;
    upload_rect_image(tex, "ozklogo_subtitle", &w, &h);
    EXPECT_EQ(w, 132);
    EXPECT_EQ(h, 24);
    GLint bound = 0, min_filter = 0, tw = 0, th = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_RECTANGLE, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), tex);
    glGetTexParameteriv(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, &min_filter);
    EXPECT_EQ(min_filter, GL_LINEAR);
    glGetTexLevelParameteriv(GL_TEXTURE_RECTANGLE, 0, GL_TEXTURE_WIDTH, &tw);
    glGetTexLevelParameteriv(GL_TEXTURE_RECTANGLE, 0, GL_TEXTURE_HEIGHT, &th);
    EXPECT_EQ(tw, 132);
    EXPECT_EQ(th, 24);

    Picture p = lookup("ozklogo_subtitle");
    std::vector<uint8_t> back(static_cast<size_t>(p.stride) * p.h, 0);
    glGetTexImage(GL_TEXTURE_RECTANGLE, 0, GL_RGB, GL_UNSIGNED_BYTE, back.data());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(std::memcmp(back.data(), p.px, back.size()), 0);
    glDeleteTextures(1, &tex);
}

TEST_F(ImageUpload, MipmappedTextureGetsAFullChain) {
    GLuint tex[2];
    glGenTextures(2, tex);
    // A power-of-two picture keeps its pixels at level 0.
    upload_mipmapped_image(tex[0], "plasmaflower");
    GLint bound = 0, w0 = 0, w7 = 0, h7 = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), tex[0]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w0);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 7, GL_TEXTURE_WIDTH, &w7);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 7, GL_TEXTURE_HEIGHT, &h7);
    EXPECT_EQ(w0, 128);
    EXPECT_EQ(w7, 1);
    EXPECT_EQ(h7, 1);
    Picture p = lookup("plasmaflower");
    std::vector<uint8_t> back(static_cast<size_t>(p.stride) * p.h, 0);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, back.data());
    EXPECT_EQ(std::memcmp(back.data(), p.px, back.size()), 0);

    // 704 x 144 is rescaled to powers of two by the mipmap builder.
    upload_mipmapped_image(tex[1], "quillmora");
    GLint qw = 0, qh = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &qw);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &qh);
    EXPECT_GT(qw, 0);
    EXPECT_GT(qh, 0);
    EXPECT_EQ(qw & (qw - 1), 0);
    EXPECT_EQ(qh & (qh - 1), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    glDeleteTextures(2, tex);
}
