// The image generator's toolkit: periodic noise, mask operations, text
// fitting, the recipe reader and the PNG writer. These run at build time, so
// a fault here shows up as a wrong picture rather than a crash.
#include "tools/png_write.h"
#include "tools/image_raster.h"
#include "tools/image_recipe.h"
#include "tools/image_text.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string scratch_path(const char *name) { return testing::TempDir() + name; }

void write_text(const std::string &path, const std::string &text) {
    std::ofstream(path) << text;
}

std::vector<uint8_t> read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t be32(const uint8_t *p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

}  // namespace

TEST(ImageNoise, PeriodicFieldsRepeatExactlyAndVary) {
    for (double x : {0.0, 0.37, 2.91, 5.5}) {
        for (double y : {0.0, 1.23, 4.76}) {
            double n = periodic_noise(x, y, 6, 4, 99);
            // Equal up to the rounding of x + 6 itself.
            EXPECT_NEAR(periodic_noise(x + 6, y, 6, 4, 99), n, 1e-12);
            EXPECT_NEAR(periodic_noise(x, y + 4, 6, 4, 99), n, 1e-12);
            EXPECT_NEAR(periodic_noise(x - 12, y - 8, 6, 4, 99), n, 1e-12);  // negative cells wrap too
            EXPECT_LE(std::fabs(n), 1.0001);
            double f = periodic_fbm(x / 7, y / 5, 3, 5, 0.5, 7);
            EXPECT_NEAR(periodic_fbm(x / 7 + 1, y / 5, 3, 5, 0.5, 7), f, 1e-12);
            EXPECT_NEAR(periodic_fbm(x / 7, y / 5 - 1, 3, 5, 0.5, 7), f, 1e-12);
        }
    }
    // Not a constant field, and the seed matters.
    double lo = 1, hi = -1;
    int same_as_other_seed = 0;
    for (int i = 0; i < 200; i++) {
        double n = periodic_noise(i * 0.173, i * 0.311, 8, 8, 1);
        lo = std::min(lo, n);
        hi = std::max(hi, n);
        same_as_other_seed += n == periodic_noise(i * 0.173, i * 0.311, 8, 8, 2);
    }
    EXPECT_GT(hi - lo, 0.8);
    EXPECT_LT(same_as_other_seed, 20);
}

TEST(ImageMasks, DilateErodeAndBlurKeepShapesWhereTheyBelong) {
    // One lit pixel off-centre in an odd-sized mask.
    Mask dot = mask_make(15, 11);
    dot.a[4 * 15 + 6] = 1.0;
    // Radius 2: full up to two pixels away, partial on the diagonal, none beyond.
    Mask grown = mask_dilate(dot, 2.0);
    EXPECT_DOUBLE_EQ(mask_get(grown, 6, 4), 1.0);
    EXPECT_DOUBLE_EQ(mask_get(grown, 8, 4), 1.0);
    EXPECT_DOUBLE_EQ(mask_get(grown, 6, 2), 1.0);
    EXPECT_DOUBLE_EQ(mask_get(grown, 9, 4), 0.0);
    EXPECT_GT(mask_get(grown, 8, 6), 0.0);  // 2.83 away: on the ramp
    EXPECT_LT(mask_get(grown, 8, 6), 1.0);
    int x0, y0, x1, y1;
    ASSERT_TRUE(mask_bounds(grown, 0.0, &x0, &y0, &x1, &y1));
    EXPECT_EQ(x0 + x1, 12);  // symmetric about column 6
    EXPECT_EQ(y0 + y1, 8);   // and row 4

    // Eroding shrinks from the rim inwards: the core stays full, the total drops.
    Mask back = mask_erode(grown, 1.0);
    EXPECT_DOUBLE_EQ(mask_get(back, 6, 4), 1.0);
    EXPECT_LT(mask_get(back, 7, 4), 1.0);
    EXPECT_DOUBLE_EQ(mask_get(back, 8, 4), 0.0);  // next to an empty pixel
    double before = 0, after = 0;
    for (size_t i = 0; i < grown.a.size(); i++) {
        before += grown.a[i];
        after += back.a[i];
    }
    EXPECT_LT(after, before * 0.5);

    // Blurring spreads but keeps the total (away from the edges) and the centre.
    Mask blurred = mask_blur(dot, 1);
    double total = 0;
    for (double a : blurred.a) total += a;
    EXPECT_NEAR(total, 1.0, 1e-9);
    ASSERT_TRUE(mask_bounds(blurred, 1e-9, &x0, &y0, &x1, &y1));
    EXPECT_EQ(x0 + x1, 12);
    EXPECT_EQ(y0 + y1, 8);

    Mask moved = mask_shift(dot, 3, -2);
    EXPECT_DOUBLE_EQ(mask_get(moved, 9, 2), 1.0);
    EXPECT_DOUBLE_EQ(mask_get(moved, 6, 4), 0.0);
}

TEST(ImageText, FittedLinesFillTheirBoxWithoutSpilling) {
    void *font = text_open_font("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf");
    struct Box {
        int w, h;
    } boxes[] = {{176, 39}, {52, 44}, {348, 54}, {128, 20}};
    for (const Box &b : boxes) {
        for (double shear : {0.0, 0.25}) {
            TextStyle style;
            style.shear = shear;
            Mask m = text_fit(font, "Wavy Jig", b.w, b.h, style);
            EXPECT_LE(m.w, b.w) << b.w << "x" << b.h;
            EXPECT_LE(m.h, b.h) << b.w << "x" << b.h;
            // Fills one dimension closely: the fit is not needlessly small.
            EXPECT_TRUE(m.w >= b.w * 0.9 || m.h >= b.h * 0.9) << b.w << "x" << b.h << " got " << m.w << "x" << m.h;
            // Cropped to ink: every edge row and column holds some coverage.
            double top = 0, bottom = 0, left = 0, right = 0;
            for (int x = 0; x < m.w; x++) {
                top += mask_get(m, x, 0);
                bottom += mask_get(m, x, m.h - 1);
            }
            for (int y = 0; y < m.h; y++) {
                left += mask_get(m, 0, y);
                right += mask_get(m, m.w - 1, y);
            }
            EXPECT_GT(top * bottom * left * right, 0.0);
        }
    }
    // A larger size gives a larger line.
    Mask small = text_render(font, "Abc", 12, TextStyle{});
    Mask large = text_render(font, "Abc", 36, TextStyle{});
    EXPECT_GT(large.w, 2 * small.w);
    EXPECT_GT(large.h, 2 * small.h);
}

TEST(ImageRecipes, ReadsBlocksQuotesColoursAndComments) {
    std::string path = scratch_path("recipes_ok.txt");
    write_text(path,
               "# a comment line\n"
               "typeface sans /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf fonts-dejavu-core\n"
               "image first_key 12 6\n"
               "  kind  lettering   # trailing comment\n"
               "  text  \"two words\"\n"
               "  ink   #1a2B3c\n"
               "  box   1 2.5 -3\n"
               "  box   4 5 6\n"
               "end\n"
               "picture loose 8 3\n"
               "end\n");
    RecipeBook book = recipe_read(path.c_str());
    ASSERT_EQ(book.fonts.size(), 1u);
    EXPECT_EQ(book.fonts[0].package, "fonts-dejavu-core");
    ASSERT_EQ(book.pictures.size(), 2u);
    const Recipe &r = book.pictures[0];
    EXPECT_TRUE(r.keyed);
    EXPECT_FALSE(book.pictures[1].keyed);
    EXPECT_EQ(r.width, 12);
    EXPECT_EQ(r.height, 6);
    EXPECT_EQ(recipe_text(r, "kind"), "lettering");
    EXPECT_EQ(recipe_text(r, "text"), "two words");
    Rgb ink = recipe_colour(r, "ink");
    EXPECT_NEAR(ink.r, 0x1a / 255.0, 1e-12);
    EXPECT_NEAR(ink.g, 0x2b / 255.0, 1e-12);
    EXPECT_NEAR(ink.b, 0x3c / 255.0, 1e-12);
    auto boxes = recipe_all(r, "box");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_DOUBLE_EQ(recipe_arg_number(r, *boxes[0], 1), 2.5);
    EXPECT_DOUBLE_EQ(recipe_arg_number(r, *boxes[0], 2), -3.0);
    EXPECT_DOUBLE_EQ(recipe_number(r, "missing", 7.5), 7.5);
    EXPECT_EQ(recipe_text(r, "missing", "fallback"), "fallback");
}

TEST(ImageRecipesDeathTest, BadInputStopsWithItsLine) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        const char *text, *message;
    } cases[] = {
        {"image odd 10 4\nend\n", "recipes_bad.txt:1: picture width must be a multiple of 4"},
        {"image a 8 4\nkind x\n", "recipes_bad.txt:2: last block has no end"},
        {"image a 8 4\nend\nimage a 8 4\nend\n", "recipes_bad.txt:3: picture name used twice"},
        {"\ntext \"open\n", "recipes_bad.txt:2: unterminated quoted text"},
        {"pixel 1 2\n", "recipes_bad.txt:1: expected typeface, image or picture"},
    };
    std::string path = scratch_path("recipes_bad.txt");
    for (const Case &c : cases) {
        write_text(path, c.text);
        EXPECT_EXIT(recipe_read(path.c_str()), testing::ExitedWithCode(1), c.message) << c.text;
    }
    write_text(path, "image a 8 4\nink #12345\nend\n");
    RecipeBook book = recipe_read(path.c_str());
    EXPECT_EXIT(recipe_colour(book.pictures[0], "ink"), testing::ExitedWithCode(1), "expected a #rrggbb colour");
}

TEST(ImagePng, WritesAValidFileWhosePixelsDecodeBack) {
    // 5 x 3, every byte different, so a swapped channel, row or filter shows.
    const int w = 5, h = 3;
    std::vector<uint8_t> rgb(w * h * 3);
    for (size_t i = 0; i < rgb.size(); i++) rgb[i] = static_cast<uint8_t>(i * 37 + 11);
    std::string path = scratch_path("tiny.png");
    ASSERT_EQ(png_write_rgb(path.c_str(), rgb.data(), w, h, "made by a test"), 0);
    std::vector<uint8_t> f = read_file(path);
    ASSERT_GT(f.size(), 8u + 25u + 12u + 12u);
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(std::memcmp(f.data(), signature, 8), 0);

    // Walk the chunks, checking every CRC and collecting the image data.
    std::vector<uint8_t> idat;
    size_t pos = 8;
    bool saw_end = false;
    std::string comment;
    while (pos + 12 <= f.size()) {
        uint32_t len = be32(&f[pos]);
        ASSERT_LE(pos + 12 + len, f.size());
        std::string type(reinterpret_cast<const char *>(&f[pos + 4]), 4);
        uint32_t crc = static_cast<uint32_t>(crc32(0, &f[pos + 4], len + 4));
        EXPECT_EQ(crc, be32(&f[pos + 8 + len])) << type;
        if (type == "IHDR") {
            EXPECT_EQ(be32(&f[pos + 8]), uint32_t(w));
            EXPECT_EQ(be32(&f[pos + 12]), uint32_t(h));
            EXPECT_EQ(f[pos + 16], 8);  // bit depth
            EXPECT_EQ(f[pos + 17], 2);  // truecolour
        }
        if (type == "IDAT") idat.insert(idat.end(), &f[pos + 8], &f[pos + 8 + len]);
        if (type == "IEND") saw_end = true;
        if (type == "tEXt") comment.assign(reinterpret_cast<const char *>(&f[pos + 8]), len);
        pos += 12 + len;
    }
    EXPECT_TRUE(saw_end);
    EXPECT_EQ(comment, std::string("Comment\0made by a test", 22));
    EXPECT_EQ(pos, f.size());

    std::vector<uint8_t> raw(h * (1 + w * 3));
    uLongf raw_len = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &raw_len, idat.data(), idat.size()), Z_OK);
    ASSERT_EQ(raw_len, raw.size());
    // Undo the per-row filters (0 none, 2 up) and compare with the source.
    std::vector<uint8_t> decoded(rgb.size());
    for (int y = 0; y < h; y++) {
        uint8_t filter = raw[y * (1 + w * 3)];
        ASSERT_TRUE(filter == 0 || filter == 2);
        for (int i = 0; i < w * 3; i++) {
            uint8_t v = raw[y * (1 + w * 3) + 1 + i];
            if (filter == 2 && y > 0) v = static_cast<uint8_t>(v + decoded[(y - 1) * w * 3 + i]);
            decoded[y * w * 3 + i] = v;
        }
    }
    EXPECT_EQ(decoded, rgb);
}
