// The --help and --version texts. The manual page (data/package/quillmora.6.in)
// says the same at more length; a change here belongs there too.
#include <cstdio>

#include "shell/shell.h"

#ifndef QUILL_VERSION
#error "QUILL_VERSION is set by the build from the project's version"
#endif

static const char USAGE[] =
    "Usage: quillmora [-w] [-ds | -dg]\n"
    "       quillmora --help | --version\n"
    "\n"
    "Plays Quillmora, a real-time audiovisual demo: ten scenes in step with a\n"
    "synthesized soundtrack, about 273 seconds, in an 800x600 OpenGL window.\n"
    "\n"
    "Switches (compared whole; any other argument is ignored):\n"
    "  -w          play in a window instead of full screen\n"
    "  -ds         sound capture: stream the sound to file descriptor 7\n"
    "  -dg         frame capture: stream every frame to file descriptor 7\n"
    "              (of -ds and -dg, the last one given wins)\n"
    "  --help      print this and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "Keys:\n"
    "  Escape, q      quit\n"
    "  Space          print the eight scene knobs to standard error\n"
    "  f / Shift+f    set / clear the scene flag\n"
    "  Right / Left   skip forward / back through the song's orders\n"
    "\n"
    "Capture: descriptor 7 must be open for writing (e.g. 7>capture.raw). The\n"
    "show then advances by exactly one audio buffer (1024/44100 s) per frame,\n"
    "however long a frame takes, and plays no sound. Both streams are headerless:\n"
    "  -ds   signed 16-bit little-endian stereo at 44100 Hz; the song proper\n"
    "        follows 60 buffers of 1024 frames of the constant 1000 (pre-roll)\n"
    "  -dg   800x600 RGB, 3 bytes a pixel, bottom row first, 44100/1024 frames\n"
    "        a second\n"
    "\n"
    "Sound: if the sound device stops taking sound mid-show (its server died,\n"
    "say), the show says so once and goes on to its end without sound.\n"
    "\n"
    "Environment:\n"
    "  DISPLAY               the X display to open the window on\n"
    "  SDL_VIDEODRIVER       SDL's video driver; set to x11 unless set\n"
    "  SDL_AUDIODRIVER       SDL's sound driver; the capture switches set it to\n"
    "                        dummy unless set\n"
    "  __GL_SYNC_TO_VBLANK   asks the GL driver to wait for the display refresh;\n"
    "                        set to 1 unless set\n"
    "  QUILL_SILENT_FALLBACK=1\n"
    "                        when no sound device can be opened, say so and play\n"
    "                        without sound (on SDL's dummy driver) instead of\n"
    "                        stopping with status 1\n"
    "  QUILL_FRAME_LOG=FILE  write one line to FILE per presented frame: seconds\n"
    "                        since the song started, order, row, scene\n"
    "\n"
    "Exit status:\n"
    "  0   the song ended, or the viewer quit\n"
    "  1   a start-up, sound-device or capture failure, or a full mesh table\n"
    "      (with a message)\n"
    "  2   an unknown embedded image key (no message)\n";

// Standard output may be a closed pipe or a full disk: say so rather than
// report success for text nobody got.
static int finish_stdout()
{
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "quillmora: cannot write to standard output\n");
        return 1;
    }
    return 0;
}

int print_usage()
{
    fwrite(USAGE, 1, sizeof USAGE - 1, stdout);
    return finish_stdout();
}

int print_version()
{
    printf("quillmora %s\n", QUILL_VERSION);
    return finish_stdout();
}
