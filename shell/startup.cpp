// Start-up: command line, window and GL context, the screen-sized textures.
#include <SDL.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "shell/shell.h"

int32_t screen_width = 0, screen_height = 0;
uint8_t capture_mode = CAPTURE_NONE;
uint8_t scanline_row[SHELL_SCANLINE_BYTES];
uint32_t screen_copy_tex = 0, glow_tex = 0, glow_mask_tex = 0;

// Window and icon title: how to reach the authors.
static const char WINDOW_CAPTION[] = "Quillmora by Ottertide - write to the crew at ottertide@quillmora.invalid";

CommandLine parse_command_line(int argc, char **argv)
{
    CommandLine cl = {false, CAPTURE_NONE, false, false};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-w") == 0)
            cl.windowed = true;
        else if (std::strcmp(argv[i], "-ds") == 0)
            cl.capture_mode = CAPTURE_SOUND;
        else if (std::strcmp(argv[i], "-dg") == 0)
            cl.capture_mode = CAPTURE_FRAMES;
        else if (std::strcmp(argv[i], "--help") == 0)
            cl.help = true;
        else if (std::strcmp(argv[i], "--version") == 0)
            cl.version = true;
    }
    return cl;
}

int write_fully(int fd, const void *data, long n)
{
    const uint8_t *p = static_cast<const uint8_t *>(data);
    while (n > 0) {
        const ssize_t done = write(fd, p, size_t(n));
        if (done < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (done == 0) { // nothing written and no error: it would never finish
            errno = EIO;
            return -1;
        }
        p += done;
        n -= done;
    }
    return 0;
}

// Capture modes stream to descriptor 7, which whoever starts the program must
// open for writing. A missing or read-only descriptor would render four and a
// half minutes into nothing, so it is refused before the window opens. The
// modes never play sound, so they use SDL's silent driver unless one was
// chosen, and a reader that goes away must not kill the program with SIGPIPE
// mid-frame.
static void prepare_capture(uint8_t mode)
{
    if (mode == CAPTURE_NONE) return;
    const int flags = fcntl(SHELL_CAPTURE_FD, F_GETFL);
    if (flags == -1 || ((flags & O_ACCMODE) != O_WRONLY && (flags & O_ACCMODE) != O_RDWR)) {
        fprintf(stderr, "%s needs file descriptor 7 open for writing (for example: 7>capture.raw)\n",
                mode == CAPTURE_SOUND ? "-ds" : "-dg");
        exit(1);
    }
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    signal(SIGPIPE, SIG_IGN);
}

void startup_video(int argc, char **argv, int32_t width, int32_t height)
{
    screen_width = width;
    screen_height = height;
    setenv("__GL_SYNC_TO_VBLANK", "1", 0);
    // Only SDL's X11 driver gives an OpenGL context. Without this, a machine
    // with no display falls back to a text-mode driver that scribbles over the
    // terminal before the window fails anyway.
    setenv("SDL_VIDEODRIVER", "x11", 0);

    const CommandLine cl = parse_command_line(argc, argv);
    capture_mode = cl.capture_mode;
    prepare_capture(capture_mode);

    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO) < 0) {
        fprintf(stderr, "SDL_Init failed\n");
        exit(1);
    }
    atexit(SDL_Quit);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    const uint32_t flags = SDL_OPENGL | (cl.windowed ? 0 : SDL_FULLSCREEN);
    if (!SDL_SetVideoMode(width, height, 0, flags)) {
        fprintf(stderr, "SDL_SetVideoMode failed\n");
        exit(1);
    }
    SDL_ShowCursor(0);
    SDL_WM_SetCaption(WINDOW_CAPTION, WINDOW_CAPTION);
    std::memset(scanline_row, 200, sizeof scanline_row);

    GLuint names[3];
    glGenTextures(3, names);
    screen_copy_tex = names[0];
    glow_tex = names[1];
    glow_mask_tex = names[2];
    create_screen_textures();
}

static void define_rect_texture(uint32_t tex, GLint format, int32_t w, int32_t h)
{
    glBindTexture(GL_TEXTURE_RECTANGLE, tex);
    glTexImage2D(GL_TEXTURE_RECTANGLE, 0, format, w, h, 0, format, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_RECTANGLE, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
}

void create_screen_textures()
{
    define_rect_texture(screen_copy_tex, GL_RGB, screen_width, screen_height);
    define_rect_texture(glow_tex, GL_RGB, screen_width / 4, screen_height / 4);
    define_rect_texture(glow_mask_tex, GL_LUMINANCE, screen_width / 4, screen_height / 4);
}
