// The timeline's drawing half: brackets one frame's scene call in the
// attribute push and pop and dispatches the decision to the scene routine.
#include <GL/gl.h>

#include "audio/audio_device.h"
#include "scenes/scenes.h"
#include "timeline/timeline.h"

void scene_dispatch(const SceneCall &call)
{
    switch (call.scene) {
    case SCENE_TITLE: title_draw(); break;
    case SCENE_PROJECTOR: projector_draw(call.t); break;
    case SCENE_MEADOW_TITLE: meadow_title_draw(call.t); break;
    case SCENE_DOTSCREEN: dotscreen_draw(call.t, call.n); break;
    case SCENE_BUMP: bump_scene_draw(call.t, call.n); break;
    case SCENE_BLOB: blob_scene_draw(call.t); break;
    case SCENE_EYES: eyes_draw(call.t); break;
    case SCENE_METABALL: metaball_scene_draw(call.t, call.n); break;
    case SCENE_FOREST: forest_draw(call.t); break;
    case SCENE_SIGNATURE: signature_draw(call.t); break;
    case SCENE_COUNT: break;
    }
}

SceneId timeline_frame(const SongPosition &pos)
{
    glPushAttrib(TIMELINE_ATTRIB_MASK);
    const SceneCall call = timeline_decide(pos, &knobs);
    scene_dispatch(call);
    glPopAttrib();
    return call.scene;
}
