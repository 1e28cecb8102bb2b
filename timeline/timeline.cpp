// The timeline (placeholder until the schedule arrives): every frame is black.
#include "timeline/timeline.h"

#include <GL/gl.h>

#include "audio/audio_device.h"

KnobBank knobs = {};

void timeline_frame(const SongPosition &)
{
    glPushAttrib(0x69C9);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPopAttrib();
}
