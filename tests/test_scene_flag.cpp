// What the README says of the f key: every frame that draws a scene reading
// the scene flag (projector room, meadow, dot screen, eyes) has the flag
// written by the schedule itself before the scene is drawn, so a value set
// by the key never reaches such a scene.
#include <gtest/gtest.h>

#include "audio/audio_device.h"
#include "timeline/timeline.h"

TEST(SceneFlag, TheScheduleWritesItInEveryFrameOfTheScenesThatReadIt)
{
    int reader_frames = 0, kept_frames = 0;
    for (int ch = -1; ch <= 120; ++ch)
        for (int a = 0; a < 32; ++a) {
            SongPosition pos = {};
            pos.order = ch + 1; // the published position of heard order ch, row a
            pos.row = (a + 1) % 32;
            pos.playing = 1;
            pos.elapsed = (32.0 * (ch + 1) + a) * 3105.0 / AUDIO_RATE_HZ;
            KnobBank bank = {};
            bank.scene_flag = 7; // neither 0 nor 1: only the key could have left it
            const SceneCall call = timeline_decide(pos, &bank);
            const bool reader = call.scene == SCENE_PROJECTOR || call.scene == SCENE_MEADOW_TITLE ||
                                call.scene == SCENE_DOTSCREEN || call.scene == SCENE_EYES;
            if (reader) {
                ++reader_frames;
                EXPECT_NE(bank.scene_flag, 7) << "order " << ch << " row " << a << " scene " << int(call.scene);
            } else if (bank.scene_flag == 7) {
                ++kept_frames;
            }
        }
    // Projector room, meadow, dot screen and eyes (26 + 8 + 16 + 12 orders),
    // and the forest's two cut-aways to the dot screen (8 and 16 rows).
    EXPECT_EQ(reader_frames, 62 * 32 + 8 + 16);
    EXPECT_GT(kept_frames, 0) << "sections that leave the flag to the key";
}
