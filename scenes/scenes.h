// The ten scenes of the show. Each has a set-up routine, run once by the
// precalculation inside an attribute bracket, and a drawing routine, called by
// the timeline inside its per-frame attribute bracket. The drawing routines
// read the KnobBank (divided by 127) and draw the whole frame.
//
// Main thread only, with the GL context current. Set-ups may allocate
// textures and build tables; drawing routines never allocate.
#pragma once

#include <cstdint>

// Title: logo, gifts picture and caption on white, driven by knob0..knob3.
void title_setup();
void title_draw();

// Projector room; t in seconds.
void projector_setup();
void projector_draw(double t);

// Meadow with the title lettering; t in seconds.
void meadow_title_setup();
void meadow_title_draw(double t);

// Dot-screen ripple; t in seconds, n a view selector.
void dotscreen_setup();
void dotscreen_draw(double t, int32_t n);

// Bump-mapped tunnel and fur torus; t in seconds, n selects the view.
void bump_scene_setup();
void bump_scene_draw(double t, int32_t n);

// Subdivided blob tube with greetings; t in seconds.
void blob_scene_setup();
void blob_scene_draw(double t);

// Eyes and double helix; t in seconds.
void eyes_setup();
void eyes_draw(double t);

// Fur metaballs; t in seconds, n chooses the roll of the view.
void metaball_scene_setup();
void metaball_scene_draw(double t, int32_t n);

// Forest silhouettes; t in seconds.
void forest_setup();
void forest_draw(double t);

// Closing signature; t in seconds.
void signature_setup();
void signature_draw(double t);
