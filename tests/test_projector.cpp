// The projector room's arithmetic without a window: the film meadow's noise,
// the hair walks, the soft disc, the film's dust and scratches, the flare
// strength, the room camera and the monochrome greys. Expected values are
// worked by hand from the rules of the generators and the frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "scenes/projector.h"

TEST(FilmMeadow, NoiseOverTheFilmGridHasPeriod50)
{
    meadow_fill_tables(&flower_tilt[0][0][0], &flower_offset[0][0][0], &meadow_grid[0][0], MEADOW_FILM_SIZE);
    EXPECT_EQ(meadow_noise(12.0, 49.0), meadow_grid[12][49]);
    EXPECT_DOUBLE_EQ(meadow_noise(49.5, 2.0), 0.5 * meadow_grid[49][2] + 0.5 * meadow_grid[0][2]);
    EXPECT_NEAR(meadow_noise(44.75 + 50.0, 0.9), meadow_noise(44.75, 0.9), 1e-9);
    EXPECT_NEAR(meadow_noise(0.3, 48.6 + 50.0), meadow_noise(0.3, 48.6), 1e-9);
}

TEST(HairTextures, FirstHairGreyAndClampedWalk)
{
    EXPECT_EQ(film_step(1324), 43045);
    HairPath hairs[FILM_HAIRS];
    make_hair_paths(hairs);
    EXPECT_DOUBLE_EQ(hairs[0].grey, 0.45);
    const double want[4][2] = {{0, 0}, {32, -31}, {100, -18}, {100, 7}};
    for (int n = 0; n < 4; ++n) {
        EXPECT_EQ(hairs[0].x[n], want[n][0]) << n;
        EXPECT_EQ(hairs[0].y[n], want[n][1]) << n;
    }
    // The state runs on from hair to hair: the second starts where the first left off.
    EXPECT_NE(hairs[1].x[1], hairs[0].x[1]);
}

TEST(DiscTexture, FullInsideRampToTheRim)
{
    EXPECT_EQ(disc_value(0.79), 255);
    EXPECT_EQ(disc_value(0.9), 127);  // 255 - 127.5, truncated
    EXPECT_EQ(disc_value(1.0), 0);
    EXPECT_EQ(disc_texel(0, 0), 255);
    EXPECT_EQ(disc_texel(-32, 0), 0);   // radius 1 exactly
    EXPECT_EQ(disc_texel(27, 9), 141);  // radius 0.8894: 255 - 113.97
}

TEST(FilmOverlay, DustAtTimeZeroAndItsRate)
{
    DustHair d[FILM_HAIRS];
    film_dust(0.0, false, d);
    EXPECT_EQ(d[0].tex, 3);
    EXPECT_NEAR(d[0].x, -0.41667, 1e-5);
    EXPECT_NEAR(d[0].y, -0.38125, 1e-12);
    EXPECT_NEAR(d[0].e, 0.1 + 0.05 * std::sin(39464.0), 1e-12);
    EXPECT_NEAR(d[0].e, 0.0683, 1e-4);
    EXPECT_EQ(d[1].tex, 4);
    EXPECT_NEAR(d[1].x, 1.0, 1e-12);
    EXPECT_NEAR(d[1].y, -0.13125, 1e-12);

    DustHair half[FILM_HAIRS], later[FILM_HAIRS], next[FILM_HAIRS];
    film_dust(0.0, true, half);
    film_dust(0.039, false, later);
    film_dust(0.04, false, next);
    for (int k = 0; k < FILM_HAIRS; ++k) {
        EXPECT_DOUBLE_EQ(half[k].e, 0.5 * d[k].e);
        EXPECT_DOUBLE_EQ(later[k].x, d[k].x);  // one pattern per 1/25 s
    }
    EXPECT_NE(next[0].x, d[0].x);
}

TEST(FilmOverlay, ScratchesWanderAroundTheirBases)
{
    // Scratch 0: f1 = (1 * 4) mod 5 + 1 = 5 and f2 = (3 * 7) mod 5 + 1 = 2
    // radians per second; at t = pi/10 it is 0.03 right of -0.6 and, with
    // sin(pi/5) = 0.5878, 0.005 * 0.7939 wide on each side.
    double p, w;
    film_scratch(0, M_PI / 10.0, false, &p, &w);
    EXPECT_NEAR(p, -0.57, 1e-12);
    EXPECT_NEAR(w, 0.005 * (0.5 + 0.5 * std::sin(M_PI / 5.0)), 1e-15);
    film_scratch(0, M_PI / 10.0, true, &p, &w);
    EXPECT_NEAR(w, 0.002 * (0.5 + 0.5 * std::sin(M_PI / 5.0)), 1e-15);
    // Scratch 4 sits at the left edge and moves at f1 = (5 * 8) mod 5 + 1 = 1.
    film_scratch(4, M_PI / 2.0, false, &p, &w);
    EXPECT_NEAR(p, -0.9, 1e-12);
}

TEST(Flare, StrengthFromTheLensAxis)
{
    EXPECT_EQ(flare_strength_from(1.0), 1.0);
    EXPECT_EQ(flare_strength_from(0.75), 0.5);
    EXPECT_EQ(flare_strength_from(std::cos(M_PI / 3.0) - 1e-9), 0.0);  // past 60 degrees
    EXPECT_EQ(flare_strength_from(-1.0), 0.0);
}

TEST(Flare, LensPlacedInTheWindowOrNoFlareWhenItCannotBe)
{
    // The projector's axis turned straight at the viewer (model x to eye z),
    // the lens 10 units ahead, 1 right and 2 up; a 90-degree view, near 1,
    // far 200 (column-major, as GL stores them).
    double modelview[16] = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 1, 2, -10, 1};
    const double projection[16] = {0.75, 0, 0, 0, 0, 1, 0, 0, 0, 0, -201.0 / 199.0, -1, 0, 0, -400.0 / 199.0, 0};
    LensFlare f = lens_flare(modelview, projection);
    EXPECT_EQ(f.strength, 1.0);
    EXPECT_NEAR(f.x, 0.75 * 1.0 / 10.0 * 400.0, 1e-9);  // 30 pixels right of the centre
    EXPECT_NEAR(f.y, 1.0 * 2.0 / 10.0 * 300.0, 1e-9);   // 60 up
    // The lens in the plane of the eye: the projection fails, and the flare
    // must not take a position from it.
    modelview[14] = 0.0;
    f = lens_flare(modelview, projection);
    EXPECT_EQ(f.strength, 0.0);
    EXPECT_EQ(f.x, 0.0);
    EXPECT_EQ(f.y, 0.0);
}

TEST(RoomCamera, OrbitThenDolly)
{
    const auto dist = [](const Vec3 &a, const Vec3 &b) {
        return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z);
    };
    const Vec3 origin = {0, 0, 0}, look = {0, 2, 0};
    // Without dolly the eye stays 10 from the origin and looks at (0, 2, 0).
    RoomCamera c = room_camera(50.0, 120.0, 0);
    EXPECT_NEAR(dist(c.eye, origin), 10.0, 1e-12);
    EXPECT_NEAR(dist(c.target, look), 0.0, 1e-12);
    // A quarter turn of yaw puts the eye behind the projector, facing the screen.
    c = room_camera(127.0 / 4.0, 0, 0);
    EXPECT_NEAR(c.eye.x, -10.0, 1e-12);
    EXPECT_NEAR(c.eye.z, 0.0, 1e-12);
    // Pitch first (in y-z), then yaw: a quarter pitch puts the eye on the y
    // axis, where the yaw no longer moves it.
    c = room_camera(40.0, 127.0 / 4.0, 0);
    EXPECT_NEAR(c.eye.y, -10.0, 1e-12);

    // The dolly moves eye and target together, 30 units over the knob's range.
    const RoomCamera still = room_camera(20.0, 100.0, 0);
    const RoomCamera moved = room_camera(20.0, 100.0, 127.0);
    EXPECT_NEAR(dist(moved.target, look), 30.0, 1e-12);
    EXPECT_NEAR(dist(moved.eye, still.eye), 30.0, 1e-12);
    EXPECT_NEAR(moved.eye.y - moved.target.y, still.eye.y - still.target.y, 1e-12);
    // Towards the target: 5 units of dolly bring the eye 5 units closer.
    const RoomCamera near = room_camera(20.0, 100.0, 127.0 / 6.0);
    EXPECT_NEAR(dist(near.eye, look), dist(still.eye, look) - 5.0, 1e-12);
}

TEST(RoomColours, MonochromeGreysAreTheLuminances)
{
    EXPECT_NEAR(room_colour_grey(ROOM_ARM), 0.2976, 1e-12);
    EXPECT_NEAR(room_colour_grey(ROOM_BRACKET), 0.1501, 1e-12);
    EXPECT_NEAR(room_colour_grey(ROOM_TABLE), 0.45093, 1e-12);
    EXPECT_NEAR(room_colour_grey(ROOM_CURTAIN), 0.148477, 1e-12);
    EXPECT_NEAR(room_colour_grey(ROOM_CLEAR), 0.0595, 1e-12);
    float c[4];
    room_colour_rgba(ROOM_TABLE, true, c);  // grey, alpha kept
    EXPECT_FLOAT_EQ(c[2], 0.45093f);
    EXPECT_EQ(c[3], 1.0f);
    room_colour_rgba(ROOM_CURTAIN, false, c);
    EXPECT_FLOAT_EQ(c[1], 0.0756f);
}
