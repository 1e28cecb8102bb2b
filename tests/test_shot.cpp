// The frame-shot tool end to end (needs an X server: run under Xvfb): file
// names, the printed position and knobs, the title at rest against a picture
// composed from the image arrays, the first and last frames, and one shot
// against the frame that the show's own frame capture writes for it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "audio/audio_device.h"
#include "tests/test_shot_title_picture.h"
#include "tools/png_write.h"

namespace {

std::string temp_dir()
{
    char tmpl[] = "/tmp/quill-shot-XXXXXX";
    const char *d = mkdtemp(tmpl);
    return d ? d : "";
}

int run(const std::string &cmd)
{
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A PNG as window pixels, bottom row first.
bool load_bottom_first(const std::string &path, std::vector<uint8_t> *out)
{
    std::vector<uint8_t> top;
    int32_t w = 0, h = 0;
    if (png_read_rgb(path.c_str(), &top, &w, &h) != 0 || w != PIC_W || h != PIC_H) return false;
    out->resize(top.size());
    const size_t row = size_t(PIC_W) * 3;
    for (int y = 0; y < PIC_H; ++y) std::copy_n(&top[size_t(PIC_H - 1 - y) * row], row, &(*out)[size_t(y) * row]);
    return true;
}

struct ShotLine {
    std::string name;
    int order = -1, row = -1;
    double elapsed = -1;
    double knob[8] = {};
};

std::vector<ShotLine> parse_knob_output(const std::string &path)
{
    std::vector<ShotLine> shots;
    std::ifstream in(path);
    std::string line1, line2;
    while (std::getline(in, line1) && std::getline(in, line2)) {
        ShotLine s;
        std::istringstream a(line1), b(line2);
        std::string w_order, w_row, w_elapsed, w_knobs;
        a >> s.name >> w_order >> s.order >> w_row >> s.row >> w_elapsed >> s.elapsed;
        b >> w_knobs;
        for (double &k : s.knob) b >> k;
        if (w_order != "order" || w_row != "row" || w_elapsed != "elapsed" || w_knobs != "Knobs:" || b.fail()) break;
        shots.push_back(s);
    }
    return shots;
}

class ShotTool : public ::testing::Test {
protected:
    static std::string dir;
    static int status;
    static void SetUpTestSuite()
    {
        dir = temp_dir();
        status = run(std::string(QUILL_SHOT_TOOL) + " -k -o " + dir + " 7.5 0 2.5 300 > " + dir + "/knobs.txt");
    }
};
std::string ShotTool::dir;
int ShotTool::status = -1;

} // namespace

TEST_F(ShotTool, WritesOneNamedFileAndOneKnobRecordPerShot)
{
    ASSERT_FALSE(dir.empty());
    ASSERT_EQ(status, 0);
    const std::vector<ShotLine> shots = parse_knob_output(dir + "/knobs.txt");
    ASSERT_EQ(shots.size(), 4u);
    // Taken in song order; each named after its requested time.
    EXPECT_EQ(shots[0].name, "0.000");
    EXPECT_EQ(shots[1].name, "2.500");
    EXPECT_EQ(shots[2].name, "7.500");
    EXPECT_EQ(shots[3].name, "300.000");
    for (const char *name : {"0.000", "2.500", "7.500", "300.000"}) {
        std::vector<uint8_t> px;
        EXPECT_TRUE(load_bottom_first(dir + "/" + name + ".png", &px)) << name;
    }

    // The first frame of the show comes after one published buffer.
    EXPECT_NEAR(shots[0].elapsed, 2 * AUDIO_BUFFER_SEC, 1e-5);
    EXPECT_NEAR(shots[1].elapsed, 2.5, AUDIO_BUFFER_SEC / 2);
    EXPECT_NEAR(shots[2].elapsed, 7.5, AUDIO_BUFFER_SEC / 2);
    // 7.5 s is in order 3 (6.76 s to 9.01 s): published order 4.
    EXPECT_EQ(shots[2].order, 4);
    EXPECT_EQ(shots[2].knob[0], 127.0);
    EXPECT_EQ(shots[2].knob[1], 127.0);
    EXPECT_EQ(shots[2].knob[2], 127.0);
    EXPECT_NEAR(shots[1].knob[0], 127.0 * (shots[1].elapsed - 2.0), 1e-4);

    // Past the end: the show's last frame, in the closing section.
    EXPECT_GT(shots[3].elapsed, 250.0);
    EXPECT_LT(shots[3].elapsed, 300.0);
    EXPECT_GE(shots[3].order, 117);
    EXPECT_EQ(shots[3].knob[0], 127.0);
    EXPECT_EQ(shots[3].knob[7], 0.0);
}

TEST_F(ShotTool, TitleAtRestAndTheBlankFirstFrame)
{
    ASSERT_EQ(status, 0);
    std::vector<uint8_t> px;
    ASSERT_TRUE(load_bottom_first(dir + "/7.500.png", &px));
    Picture want = expected_title(127, 127, 127);
    ASSERT_GT(non_white_pixels(want), 5000);
    const PictureDiff d = compare_picture(px.data(), want, 4);
    EXPECT_LE(d.pixels_off, 200) << "max diff " << d.max_diff;

    ASSERT_TRUE(load_bottom_first(dir + "/0.000.png", &px));
    Picture white;
    EXPECT_EQ(compare_picture(px.data(), white, 0).pixels_off, 0);
}

TEST_F(ShotTool, MatchesTheFrameThatFrameCaptureWrites)
{
    ASSERT_EQ(status, 0);
    // Frame capture's frame k (from 0) has buffer count k + 2; 2.5 s is buffer 108.
    const long buffer = std::lround(2.5 / AUDIO_BUFFER_SEC);
    const long index = buffer - 2;
    const long frame_bytes = long(PIC_W) * PIC_H * 3;
    const std::string raw = dir + "/capture.raw";
    run(std::string(QUILL_PROGRAM) + " -w -dg 7>&1 >/dev/null 2>/dev/null | head -c " +
        std::to_string(frame_bytes * (index + 1)) + " > " + raw);
    std::ifstream in(raw, std::ios::binary);
    in.seekg(frame_bytes * index);
    std::vector<uint8_t> captured(size_t(frame_bytes), 0);
    in.read(reinterpret_cast<char *>(captured.data()), frame_bytes);
    ASSERT_EQ(in.gcount(), frame_bytes) << "frame capture wrote too little";

    std::vector<uint8_t> shot;
    ASSERT_TRUE(load_bottom_first(dir + "/2.500.png", &shot));
    int64_t differing = 0;
    for (size_t i = 0; i < shot.size(); ++i) differing += shot[i] != captured[i];
    EXPECT_EQ(differing, 0);
    // The moment is mid-slide: not a blank frame that would match anything.
    int64_t dark = 0;
    for (uint8_t v : shot) dark += v < 200;
    EXPECT_GT(dark, 1000);
}

TEST(ShotToolCommandLine, RejectsBadTimesAndMissingTimes)
{
    const std::string dir = temp_dir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(run(std::string(QUILL_SHOT_TOOL) + " -o " + dir + " 2.5x 2>/dev/null"), 2);
    EXPECT_EQ(run(std::string(QUILL_SHOT_TOOL) + " -o " + dir + " -- 2>/dev/null"), 2);
    EXPECT_EQ(run(std::string(QUILL_SHOT_TOOL) + " -o " + dir + " 2>/dev/null"), 2);
    EXPECT_EQ(run(std::string(QUILL_SHOT_TOOL) + " -o 2>/dev/null"), 2);
}
