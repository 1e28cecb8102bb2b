// The show's schedule: which scene plays when, and the knob values it sees.
//
// The schedule is one table of rules. A rule covers a range of heard orders
// (ch) and heard rows (a); every rule that matches the current frame is
// applied in table order, so a section can set defaults first and refine them
// below (as the projector and eyes sections do), and a later rule that names a
// scene replaces the call of an earlier one (the forest section's cut-aways).
// Knob values are written as small expressions over ramps:
//
//   lin(t0, t1)     linear 0 -> 1 over [t0, t1] seconds, clamped
//   ease(t0, t1)    raised cosine 0 -> 1 over [t0, t1], clamped
//   curve(o:r->o:r) song_curve / 127: a raised cosine between song positions
//   from(t0)        0 before t0 seconds, 1 from t0 on
//   bl              the beat level (0..0.9)
//   w               the projector's beat wobble, 0.5 sin(8 bl) bl curve(29:0->32:0)
//
// so `127 * (1 - lin(11, 12))` in the table is exactly the value written. The
// expressions are built at compile time; decide() only evaluates them.
//
// Cuts fall on pattern boundaries because sections are keyed on the order
// being heard; fades and camera moves are keyed on elapsed seconds so they run
// in real time. The song keeps speed 8, so one order is 99360 samples (about
// 2.253 s) and the hard-coded seconds below sit near order boundaries
// (108 s ~ order 48, 144 s ~ order 64, 180 s ~ order 80, 261 s ~ order 116).
// Seeking moves ch but not t, and nothing re-synchronizes the two.
#include "timeline/timeline.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "audio/audio_device.h"

KnobBank knobs = {};

// ---------------------------------------------------------------------------
// Ramps

double ramp_lin(double t, double t0, double t1)
{
    if (t < t0) return 0.0;
    if (t > t1) return 1.0;
    return (t - t0) / (t1 - t0);
}

double ramp_ease(double t, double t0, double t1)
{
    if (t < t0) return 0.0;
    if (t > t1) return 1.0;
    return 0.5 - 0.5 * std::cos(std::numbers::pi * (t - t0) / (t1 - t0));
}

// Whole seconds at which song position o:r is heard: 3105 samples per row
// (speed 8 = 9 ticks of 345 samples) plus 7 rows of lead, truncated.
static int64_t curve_second(int32_t o, int32_t r)
{
    return ((32 * int64_t(o) + r) * 3105 + 21735) / 44100;
}

double song_curve(int32_t o1, int32_t r1, int32_t o2, int32_t r2, double t)
{
    const double t1 = double(curve_second(o1, r1) - 1);
    const double t2 = double(curve_second(o2, r2) + 1);
    if (t < t1) return 0.0;
    if (t > t2) return 127.0;
    return 127.0 * (0.5 - 0.5 * std::cos(std::numbers::pi * (t - t1) / (t2 - t1)));
}

SongClock song_clock_from(const SongPosition &pos)
{
    SongClock c;
    c.ch = pos.order - 1;
    c.a = pos.row == 0 ? 31 : pos.row - 1;
    c.t = pos.elapsed;
    c.bl = pos.beat_level;
    c.row_count = 32 * (c.ch + 1) + c.a;
    return c;
}

// ---------------------------------------------------------------------------
// Expression records for the table

namespace {

enum RampKind : uint8_t { RAMP_ZERO, RAMP_LIN, RAMP_EASE, RAMP_CURVE, RAMP_FROM, RAMP_BEAT, RAMP_WOBBLE };

struct Ramp {
    RampKind kind;
    bool falling; // 1 - ramp
    double t0, t1;
    int16_t o1, r1, o2, r2;
};

struct Term {
    double scale;
    Ramp ramp;
};

inline constexpr int EXPR_MAX_TERMS = 2;
inline constexpr double NO_CAP = std::numeric_limits<double>::infinity();

// base + sum(scale * ramp), then at most cap.
struct Expr {
    double base = 0;
    int8_t terms = 0;
    Term term[EXPR_MAX_TERMS] = {};
    double cap = NO_CAP;

    constexpr Expr() = default;
    constexpr Expr(double constant) : base(constant) {}
};

constexpr Ramp lin(double t0, double t1) { return {RAMP_LIN, false, t0, t1, 0, 0, 0, 0}; }
constexpr Ramp ease(double t0, double t1) { return {RAMP_EASE, false, t0, t1, 0, 0, 0, 0}; }
constexpr Ramp curve(int16_t o1, int16_t r1, int16_t o2, int16_t r2)
{
    return {RAMP_CURVE, false, 0, 0, o1, r1, o2, r2};
}
constexpr Ramp from(double t0) { return {RAMP_FROM, false, t0, t0, 0, 0, 0, 0}; }
constexpr Ramp bl = {RAMP_BEAT, false, 0, 0, 0, 0, 0, 0};
constexpr Ramp w = {RAMP_WOBBLE, false, 0, 0, 0, 0, 0, 0};

// `1 - ramp`; any other left operand fails to compile (write `c - 1 * ramp`).
constexpr Ramp operator-(double one, Ramp r)
{
    if (one != 1.0) throw "only 1 - ramp is supported";
    r.falling = !r.falling;
    return r;
}

constexpr Expr operator*(double scale, Ramp r)
{
    Expr e;
    e.terms = 1;
    e.term[0] = {scale, r};
    return e;
}

constexpr Expr operator+(Expr a, Expr b)
{
    if (a.terms + b.terms > EXPR_MAX_TERMS) throw "too many terms";
    for (int i = 0; i < b.terms; ++i) a.term[a.terms++] = b.term[i];
    a.base += b.base;
    return a;
}
constexpr Expr operator+(double a, Expr b) { return Expr(a) + b; }
constexpr Expr operator+(double a, Ramp b) { return Expr(a) + 1.0 * b; }
constexpr Expr operator+(Expr a, Ramp b) { return a + 1.0 * b; }
constexpr Expr operator-(double a, Expr b)
{
    b.base = -b.base;
    for (int i = 0; i < b.terms; ++i) b.term[i].scale = -b.term[i].scale;
    return Expr(a) + b;
}

constexpr Expr at_most(Expr e, double cap)
{
    e.cap = cap;
    return e;
}

// What a write changes: one of the eight knobs or the scene flag.
enum Target : uint8_t { NONE, K0, K1, K2, K3, K4, K5, K6, K7, FLAG };

struct Write {
    Target target;
    Expr value;
};

// The integer argument of the scenes that take one.
enum NArg : uint8_t { N_NONE, N_PHASE48, N_PHASE64, N_PHASE64_PLUS3_SQUARED };

// Scene call of a rule: scene time = t_scale * t + t_offset.
struct CallForm {
    SceneId scene;
    double t_scale, t_offset;
    NArg n;
};

inline constexpr SceneId SCENE_KEEP = SCENE_COUNT;
constexpr CallForm KEEP = {SCENE_KEEP, 0, 0, N_NONE};
constexpr CallForm title() { return {SCENE_TITLE, 0, 0, N_NONE}; }
constexpr CallForm scene(SceneId s, double t_scale = 1, double t_offset = 0, NArg n = N_NONE)
{
    return {s, t_scale, t_offset, n};
}
constexpr CallForm scene(SceneId s, NArg n) { return {s, 1, 0, n}; }

struct Rows {
    int8_t lo, hi;
};
constexpr Rows ALL = {0, 31};

inline constexpr int RULE_MAX_WRITES = 4;
inline constexpr int16_t CH_MIN = -32768, CH_MAX = 32767;

struct Rule {
    int16_t ch_lo, ch_hi;
    Rows rows;
    CallForm call;
    Write write[RULE_MAX_WRITES];
};

// ---------------------------------------------------------------------------
// The schedule

constexpr Rule schedule[] = {
    // Title: logo, gifts and caption fade and slide in, then out.
    {CH_MIN, 2, ALL, title(), {{K0, 127 * lin(2, 3)}, {K1, 127 * lin(3, 4)}, {K2, 127 * lin(6, 7)}}},
    {3, 5, ALL, title(), {{K0, 127 * (1 - lin(11, 12))}, {K1, 127 * (1 - lin(12, 13))}, {K2, 127 * (1 - lin(8, 9))}}},

    // Projector room, ch 6..31: common settings first, then one row per part.
    {6, 31, ALL, scene(SCENE_PROJECTOR), {{K0, 0}, {K1, 0}, {K3, 0}}},
    {6, 15, ALL, KEEP, {{K4, 127}}},
    {16, 31, ALL, KEEP, {{K4, 127 - 32 * bl}}},
    {6, 23, ALL, KEEP, {{FLAG, 0}}},
    {24, 31, ALL, KEEP, {{FLAG, 1}}},
    {6, 7, ALL, KEEP, {{K0, 49}, {K1, 81}}},
    {8, 8, ALL, KEEP, {{K0, 92}, {K1, 80}, {K3, 4}}},
    {9, 9, ALL, KEEP, {{K0, 21 - 12 * curve(9, 0, 10, 0)}, {K1, 123}, {K3, 20 * curve(9, 0, 10, 0)}}},
    {10, 11, ALL, KEEP, {{K0, 50 + 22 * curve(10, 0, 12, 0)}, {K1, 69}}},
    {12, 12, ALL, KEEP, {{K0, 104}, {K1, 64}}},
    {13, 14, ALL, KEEP, {{K0, 81 - 4 * curve(14, 0, 15, 0)}, {K1, 16 * (1 - ease(28, 35))}}},
    {15, 15, ALL, KEEP, {{K0, 127 - 40 * curve(15, 0, 16, 0)}, {K1, 67}, {K3, 18 * (1 - ease(33, 37))}}},
    {16, 17, ALL, KEEP,
     {{K0, 33 - 3 * curve(16, 0, 18, 0)}, {K1, 124 - 1 * curve(16, 0, 18, 0)}, {K3, 91 - 40 * curve(16, 0, 18, 0)}}},
    {18, 19, ALL, KEEP, {{K0, 50 + 22 * curve(18, 0, 20, 0)}, {K1, 69}}},
    {20, 20, ALL, KEEP, {{K0, 107 - 22 * curve(20, 0, 21, 0)}, {K1, 69}}},
    {21, 22, ALL, KEEP, {{K0, 64 - 14 * curve(21, 0, 23, 0)}, {K1, 77 - 17 * curve(21, 0, 23, 0)}}},
    {23, 24, ALL, KEEP, {{K0, 127 * curve(23, 0, 24, 8)}, {K1, 0}}},
    {25, 26, ALL, KEEP, {{K0, 107 - 22 * curve(25, 0, 27, 0)}, {K1, 69}}},
    {27, 27, ALL, KEEP, {{K0, 87 + 40 * ease(60, 64)}, {K1, 67}, {K3, 18 * curve(27, 0, 28, 0)}}},
    {28, 28, ALL, KEEP, {{K0, 35 * (1 - ease(62, 66))}, {K1, 110}}},
    {29, 29, ALL, KEEP, {{K0, 28}, {K1, at_most(119 + w, 127)}, {K3, 14 * curve(29, 0, 30, 0)}}},
    {30, 31, ALL, KEEP,
     {{K0, 28 + 5 * ease(67, 73)}, {K1, at_most(118 + 6 * ease(67, 73) + w, 127)}, {K3, 51 + 76 * curve(30, 0, 32, 0)}}},

    // Meadow title, ch 32..39.
    {32, 39, ALL, scene(SCENE_MEADOW_TITLE), {{K0, 74 * curve(32, 30, 33, 1)}, {K1, 127 * curve(33, 30, 34, 16)}}},
    {36, 39, ALL, KEEP, {{K0, 74 * (1 - ease(88, 91))}, {K1, 127 * (1 - ease(80, 83))}}},
    {32, 39, ALL, KEEP, {{K6, 127 * lin(89, 90)}, {K4, 127 - 32 * bl}, {K7, 27 * (1 - lin(89, 90))}, {FLAG, 0}}},

    // Dot-screen ripple, ch 40..55.
    {40, 47, ALL, scene(SCENE_DOTSCREEN, N_PHASE48),
     {{K0, 0}, {K3, 127 * (1 - lin(99, 100))}, {K6, 127 * lin(107, 108)}, {FLAG, 0}}},
    {48, 55, ALL, scene(SCENE_DOTSCREEN, N_PHASE48), {{K0, 127 * lin(108, 126)}, {K3, 0}, {FLAG, 1}}},
    {48, 48, ALL, KEEP, {{K6, 127 * (1 - lin(108, 109))}}},
    {49, 55, ALL, KEEP, {{K6, 127 * lin(124, 126)}}},

    // Bump-mapped tunnel and fur torus, ch 56..63.
    {56, 63, ALL, scene(SCENE_BUMP, N_PHASE64_PLUS3_SQUARED), {{K6, 127 * (1 - lin(126, 127))}}},

    // Blob tube with greetings, ch 64..79.
    {64, 79, ALL, scene(SCENE_BLOB, 1, -158.3),
     {{K3, 127 * from(144)}, {K4, 127 * (1 - ease(143, 147))}, {K5, 127 * lin(179, 180)}, {K7, 127 * (1 - ease(159, 162))}}},

    // Fur metaballs, ch 80..87.
    {80, 87, ALL, scene(SCENE_METABALL, N_PHASE64), {{K6, 0}, {K7, 127 * (1 - lin(180, 181))}}},

    // Eyes and double helix, ch 88..99: knob0, knob6 and knob1 by range, then
    // knob2..knob4 and the flag by case.
    {88, 99, ALL, scene(SCENE_EYES), {}},
    {88, 91, ALL, KEEP, {{K0, 96 * lin(203, 207) + 30 * bl}}},
    {92, 98, ALL, KEEP, {{K0, 96 * (1 - lin(207, 210)) + 30 * bl}}},
    {99, 99, ALL, KEEP, {{K0, 96 * lin(223, 225) + 30 * bl}}},
    {88, 98, ALL, KEEP, {{K6, 100 * lin(216, 223)}}},
    {99, 99, ALL, KEEP, {{K6, 100 * (1 - lin(223, 225))}}},
    {88, 97, ALL, KEEP, {{K1, 0}}},
    {98, 99, ALL, KEEP, {{K1, 127 * lin(221, 225)}}},
    {88, 89, ALL, KEEP, {{K2, 127 * curve(88, 0, 91, 24)}, {K3, 0}, {K4, 127}, {FLAG, 0}}},
    {91, 91, {0, 23}, KEEP, {{K2, 127 * curve(88, 0, 91, 24)}, {K3, 0}, {K4, 127}, {FLAG, 0}}},
    {91, 91, {24, 31}, KEEP, {{K2, 127 * (1 - ease(206, 208))}, {K3, 81 * curve(91, 24, 92, 0)}, {K4, 127}, {FLAG, 0}}},
    {90, 90, ALL, KEEP, {{K2, 0}, {K3, 34}, {K4, 127}, {FLAG, 0}}},
    {92, 98, ALL, KEEP, {{K2, 0}, {K3, 0}, {K4, 127 * (1 - ease(206, 211))}, {FLAG, 1}}},
    {99, 99, {0, 15}, KEEP, {{K2, 0}, {K3, 0}, {K4, 127 * (1 - ease(206, 211))}, {FLAG, 1}}},
    // knob3 throws the camera far away at the very end of the section.
    {99, 99, {16, 31}, KEEP, {{K2, 76 * (1 - ease(222, 226))}, {K3, 41 - 5207 * lin(224, 225)}, {K4, 127}, {FLAG, 1}}},

    // Forest silhouettes, ch 100..115, speeding up at the end, with short
    // cut-aways to earlier scenes.
    {100, 113, ALL, scene(SCENE_FOREST, 1, -225.2), {}},
    {114, 114, ALL, scene(SCENE_FOREST, 2, -234.2), {}},
    {115, 115, ALL, scene(SCENE_FOREST, 8, -2072.2), {}},
    {107, 107, {24, 31}, scene(SCENE_DOTSCREEN, 1, -180, N_PHASE48), {{K0, 64}, {K3, 0}, {K6, 0}, {FLAG, 0}}},
    {108, 108, {0, 7}, scene(SCENE_METABALL, N_PHASE48), {{K6, 0}, {K7, 0}}},
    {109, 109, {16, 31}, scene(SCENE_DOTSCREEN, 1, -180, N_PHASE48), {{K0, 64}, {K3, 0}, {K6, 0}, {FLAG, 1}}},
    {111, 111, {16, 31}, scene(SCENE_BLOB), {{K3, 127}, {K4, 0}, {K5, 0}, {K7, 0}}},
    {112, 112, {16, 31}, scene(SCENE_BUMP, N_PHASE64), {{K6, 0}}},
    {113, 113, {24, 31}, scene(SCENE_METABALL, N_PHASE48), {{K6, 0}, {K7, 0}}},
    {114, 114, {8, 15}, scene(SCENE_BLOB), {{K3, 127}, {K4, 0}, {K5, 0}, {K7, 0}}},
    {114, 114, {16, 31}, scene(SCENE_BUMP, N_PHASE64), {{K6, 0}}},
    {115, 115, {4, 7}, scene(SCENE_METABALL, N_PHASE64), {{K6, 0}, {K7, 0}}},
    {115, 115, {16, 23}, scene(SCENE_METABALL, N_PHASE48), {{K6, 0}, {K7, 0}}},

    // Closing signature, ch 116 to the end.
    {116, CH_MAX, ALL, scene(SCENE_SIGNATURE), {{K0, 127 * lin(261, 262)}, {K6, 127 * lin(261, 270)}, {K7, 127 * (1 - lin(261, 262))}}},
};

// ---------------------------------------------------------------------------
// Evaluation

double ramp_value(const Ramp &r, const SongClock &c)
{
    double v = 0.0;
    switch (r.kind) {
    case RAMP_ZERO: v = 0.0; break;
    case RAMP_LIN: v = ramp_lin(c.t, r.t0, r.t1); break;
    case RAMP_EASE: v = ramp_ease(c.t, r.t0, r.t1); break;
    case RAMP_CURVE: v = song_curve(r.o1, r.r1, r.o2, r.r2, c.t) / 127.0; break;
    case RAMP_FROM: v = c.t < r.t0 ? 0.0 : 1.0; break;
    case RAMP_BEAT: v = c.bl; break;
    case RAMP_WOBBLE: v = 0.5 * std::sin(8.0 * c.bl) * c.bl * (song_curve(29, 0, 32, 0, c.t) / 127.0); break;
    }
    return r.falling ? 1.0 - v : v;
}

double expr_value(const Expr &e, const SongClock &c)
{
    double v = e.base;
    for (int i = 0; i < e.terms; ++i) v += e.term[i].scale * ramp_value(e.term[i].ramp, c);
    return v > e.cap ? e.cap : v;
}

int32_t n_value(NArg n, const SongClock &c)
{
    switch (n) {
    case N_NONE: return 0;
    case N_PHASE48: return c.row_count / 48;
    case N_PHASE64: return c.row_count / 64;
    case N_PHASE64_PLUS3_SQUARED: {
        const int32_t k = c.row_count / 64 + 3;
        return k * k;
    }
    }
    return 0;
}

} // namespace

SceneCall timeline_decide(const SongPosition &pos, KnobBank *bank)
{
    const SongClock c = song_clock_from(pos);
    CallForm form = title();
    for (const Rule &rule : schedule) {
        if (c.ch < rule.ch_lo || c.ch > rule.ch_hi || c.a < rule.rows.lo || c.a > rule.rows.hi) continue;
        for (const Write &wr : rule.write) {
            if (wr.target == NONE) break;
            const double v = expr_value(wr.value, c);
            if (wr.target == FLAG)
                bank->scene_flag = v != 0.0 ? 1 : 0;
            else
                bank->knob[wr.target - K0] = v;
        }
        if (rule.call.scene != SCENE_KEEP) form = rule.call;
    }
    SceneCall call;
    call.scene = form.scene;
    call.t = form.scene == SCENE_TITLE ? 0.0 : form.t_scale * c.t + form.t_offset;
    call.n = n_value(form.n, c);
    return call;
}

const char *scene_name(SceneId scene)
{
    static const char *const names[SCENE_COUNT] = {"title", "projector", "meadow_title", "dotscreen", "bump",
                                                   "blob",  "eyes",      "metaballs",    "forest",    "signature"};
    return scene < SCENE_COUNT ? names[scene] : "none";
}
