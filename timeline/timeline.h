// The timeline: once per frame it maps the song position to one scene call
// and to the values of the shared knobs.
//
// Main thread only; no state of its own beyond the KnobBank.
#pragma once

#include <cstdint>

struct SongPosition;

// Eight scene parameters on a nominal 0..127 scale and a per-section switch.
// All zero at program start. Written by the timeline every frame, by the
// precalculation once and by the f key; read by the scenes (divided by 127).
struct KnobBank {
    double knob[8];
    uint8_t scene_flag;
};

extern KnobBank knobs;

// Pushes the GL attribute groups (mask 0x69C9), writes the knobs of the
// current section, calls exactly one scene routine, pops the attributes.
void timeline_frame(const SongPosition &pos);
