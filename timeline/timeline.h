// The timeline: once per frame it maps the song position to one scene call
// and to the values of the shared knobs.
//
// The schedule itself (timeline.cpp) is plain data and arithmetic with no GL
// and no SDL, so tests and the frame-shot tool can replay it without a
// window: timeline_decide writes the knobs and names the scene call, and
// timeline_frame (timeline_frame.cpp) wraps that decision in the GL attribute
// bracket and calls the scene.
//
// Main thread only; no state of its own beyond the KnobBank. Never allocates.
#pragma once

#include <cstdint>

struct SongPosition;

// Eight scene parameters on a nominal 0..127 scale and a per-section switch.
// All zero at program start. Written by the timeline every frame, by the
// precalculation once and by the f key; read by the scenes (divided by 127).
// A knob that the current section does not write keeps its value, so the bank
// carries state from section to section.
struct KnobBank {
    double knob[8];
    uint8_t scene_flag;
};

extern KnobBank knobs;

// Attribute groups saved around every set-up call and every frame's scene
// call: current, polygon, lighting, fog, depth buffer, viewport, enable and
// colour buffer. Matrices and texture bindings are not saved.
inline constexpr uint32_t TIMELINE_ATTRIB_MASK = 0x69C9;

// The ten scenes, in the order their set-ups run.
enum SceneId : uint8_t {
    SCENE_TITLE,
    SCENE_PROJECTOR,
    SCENE_MEADOW_TITLE,
    SCENE_DOTSCREEN,
    SCENE_BUMP,
    SCENE_BLOB,
    SCENE_EYES,
    SCENE_METABALL,
    SCENE_FOREST,
    SCENE_SIGNATURE,
    SCENE_COUNT
};

// One frame's decision: which scene routine to call and with what. The title
// takes no arguments (t and n are 0); scenes taking only a time ignore n.
struct SceneCall {
    SceneId scene;
    double t;  // scene time in seconds
    int32_t n; // view selector for the scenes that take one
};

// The song clock as the schedule sees it, derived from a published position.
struct SongClock {
    int32_t ch;        // order being heard: published order - 1 (-1 before the first order)
    int32_t a;         // row being heard: published row - 1, or 31 when the row is 0
    double t;          // elapsed seconds
    double bl;         // beat level, 0..0.9
    int32_t row_count; // 32 (ch + 1) + a: rows heard since the start of order 0
};

SongClock song_clock_from(const SongPosition &pos);

// Ramps used by the schedule; all clamp to 0 before t0 and 1 after t1.
double ramp_lin(double t, double t0, double t1);
double ramp_ease(double t, double t0, double t1); // raised cosine

// A raised-cosine ramp from 0 to 127 between two song positions. The ends are
// whole seconds: T(o, r) = ((32 o + r) * 3105 + 21735) / 44100 in integer
// division (3105 samples per row, 7 rows of lead), widened by one second on
// each side: 0 before T(o1, r1) - 1, 127 after T(o2, r2) + 1.
double song_curve(int32_t o1, int32_t r1, int32_t o2, int32_t r2, double t);

// Writes the knobs of the section that pos falls in into *bank and returns
// the scene call. Pure: no GL, no globals besides *bank.
SceneCall timeline_decide(const SongPosition &pos, KnobBank *bank);

// Pushes TIMELINE_ATTRIB_MASK, decides into `knobs`, calls exactly one scene
// routine, pops the attributes and returns the scene it drew. Needs the GL
// context.
SceneId timeline_frame(const SongPosition &pos);

// A short lower-case name of the scene ("title", "projector", ...), for logs.
const char *scene_name(SceneId scene);

// Calls the drawing routine named by call (GL context current; no bracket).
void scene_dispatch(const SceneCall &call);
