// Quillmora: the entry point and the start-up order.
//
// Window first, then everything the scenes need (precalculation), then the
// sound device. The two cleared swaps hide whatever the precalculation left in
// the buffers; the wait loop spins until the first real audio buffer has been
// published, so the frame loop starts with the song (or, when the device never
// takes any sound, until the main thread has rendered it in its place).
#include <SDL.h>
#include <GL/gl.h>

#include <cerrno>

#include "audio/audio_device.h"
#include "gfx/precalc.h"
#include "shell/shell.h"

int main(int argc, char **argv)
{
    // Asking how to use it must work anywhere, without a display or a sound
    // device, so these come before anything is opened.
    const CommandLine cl = parse_command_line(argc, argv);
    if (cl.help) return print_usage();
    if (cl.version) return print_version();

    startup_video(argc, argv, 800, 600);
    precalculate();
    audio_init();
    for (int i = 0; i < 2; ++i) {
        glClear(GL_COLOR_BUFFER_BIT);
        SDL_GL_SwapBuffers();
    }
    audio_start(0);

    SongPosition pos = {};
    do {
        if (capture_mode != CAPTURE_NONE && capture_audio_buffer() != 0) capture_write_failed(errno);
        audio_keep_time();
        read_position(&pos);
    } while (pos.start_ticks == 0);

    frame_loop();
    audio_shutdown();
    return 0;
}
