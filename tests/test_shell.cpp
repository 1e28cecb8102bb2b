// Pieces of the shell and the helpers that need no window: the command line,
// complete writes to the capture descriptor, the shared random generator and
// the 2-D rotation.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <thread>
#include <vector>

#include "gfx/draw.h"
#include "gfx/vec.h"
#include "shell/shell.h"

namespace {

CommandLine parse(std::vector<const char *> args)
{
    args.insert(args.begin(), "quillmora");
    return parse_command_line(int(args.size()), const_cast<char **>(args.data()));
}

} // namespace

TEST(CommandLine, SwitchesAreComparedWholeAndTheLastCaptureWins)
{
    CommandLine cl = parse({});
    EXPECT_FALSE(cl.windowed);
    EXPECT_EQ(cl.capture_mode, CAPTURE_NONE);

    cl = parse({"-w", "-dg"});
    EXPECT_TRUE(cl.windowed);
    EXPECT_EQ(cl.capture_mode, CAPTURE_FRAMES);

    cl = parse({"-ds", "-dg"});
    EXPECT_EQ(cl.capture_mode, CAPTURE_FRAMES);
    cl = parse({"-dg", "-w", "-ds"});
    EXPECT_EQ(cl.capture_mode, CAPTURE_SOUND);
    EXPECT_TRUE(cl.windowed);

    cl = parse({"-wx", "-d", "-dsx", "w", "--w", "-DG", "", "--helpx", "-help", "--Version", "-version"});
    EXPECT_FALSE(cl.windowed);
    EXPECT_EQ(cl.capture_mode, CAPTURE_NONE);
    EXPECT_FALSE(cl.help);
    EXPECT_FALSE(cl.version);

    cl = parse({"-dg", "--version", "-w", "--help"});
    EXPECT_TRUE(cl.help);
    EXPECT_TRUE(cl.version);
    EXPECT_EQ(cl.capture_mode, CAPTURE_FRAMES);
}

TEST(Capture, WritesEveryByteThroughASlowPipe)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    // A small pipe forces many partial writes while the reader drains it slowly.
    fcntl(fds[1], F_SETPIPE_SZ, 4096);
    std::vector<uint8_t> data(3 * 1440000 + 7);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 131 + (i >> 11));
    std::vector<uint8_t> got;
    std::thread reader([&] {
        uint8_t chunk[1000];
        ssize_t n;
        while ((n = read(fds[0], chunk, sizeof chunk)) > 0) got.insert(got.end(), chunk, chunk + n);
    });
    EXPECT_EQ(write_fully(fds[1], data.data(), long(data.size())), 0);
    close(fds[1]);
    reader.join();
    close(fds[0]);
    EXPECT_EQ(got, data);
}

TEST(Capture, ReportsAReaderThatWentAway)
{
    signal(SIGPIPE, SIG_IGN);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    close(fds[0]);
    const uint8_t byte = 1;
    EXPECT_EQ(write_fully(fds[1], &byte, 1), -1);
    EXPECT_EQ(errno, EPIPE) << "the reader went away";
    close(fds[1]);
    EXPECT_EQ(write_fully(fds[1], &byte, 1), -1) << "a closed descriptor";
    // Any other failure keeps its own reason, which the capture reports.
    const int full = open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    EXPECT_EQ(write_fully(full, &byte, 1), -1);
    EXPECT_EQ(errno, ENOSPC);
    close(full);
}

TEST(Random, SharedGeneratorStartsTheSameEveryTime)
{
    rand_reset();
    EXPECT_EQ(rand_next(), 767);
    EXPECT_EQ(rand_seed, 1013908223u);
    EXPECT_EQ(rand_next(), 42242);
    EXPECT_EQ(rand_next(), 8327);
    EXPECT_EQ(rand_next(), 22929);
    EXPECT_EQ(rand_next(), 21744);

    // A long run stays in range and repeats after a reset.
    std::vector<int32_t> first;
    rand_reset();
    for (int i = 0; i < 10000; ++i) {
        const int32_t v = rand_next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 65535);
        first.push_back(v);
    }
    rand_reset();
    for (int i = 0; i < 10000; ++i) ASSERT_EQ(rand_next(), first[i]);
}

TEST(Vectors, RotationCrossAndNormalize)
{
    double a = 1.0, b = 0.0;
    rotate_pair(&a, &b, 0.0);
    EXPECT_EQ(a, 1.0);
    EXPECT_EQ(b, 0.0);
    rotate_pair(&a, &b, M_PI / 2);
    EXPECT_NEAR(a, 0.0, 1e-15);
    EXPECT_NEAR(b, 1.0, 1e-15);
    a = 3.0;
    b = -2.0;
    rotate_pair(&a, &b, 0.7);
    EXPECT_NEAR(std::hypot(a, b), std::hypot(3.0, -2.0), 1e-12) << "rotation keeps length";
    EXPECT_NEAR(a, 3.0 * std::cos(0.7) + 2.0 * std::sin(0.7), 1e-12) << "uses both old values";

    Vec3 x = {1, 0, 0}, y = {0, 1, 0}, z;
    vec_cross(&z, x, y);
    EXPECT_EQ(z.z, 1.0);
    vec_cross(&x, x, y); // aliasing the output with an input
    EXPECT_EQ(x.x, 0.0);
    EXPECT_EQ(x.z, 1.0);
    Vec3f p = {2, 0, 0}, q = {0, 0, 3}, r;
    vec_cross_f(&r, p, q);
    EXPECT_EQ(r.y, -6.0f);
    Vec3 v = {3, 4, 12};
    vec_normalize(&v);
    EXPECT_NEAR(v.x, 3.0 / 13, 1e-15);
    EXPECT_NEAR(vec_dot(v, v), 1.0, 1e-15);
}
