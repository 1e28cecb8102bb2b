// The program shell: command line, window and GL context, the screen-sized
// textures used by the glow, the frame loop with its keyboard controls, and
// the two capture streams on file descriptor 7.
//
// Main thread only. The globals below are written during start-up and read by
// the drawing helpers, the audio layer (capture_mode) and the frame loop.
#pragma once

#include <cstdint>

inline constexpr int SHELL_CAPTURE_FD = 7;
inline constexpr int SHELL_FRAME_BYTES = 800 * 600 * 3;
inline constexpr int SHELL_SCANLINE_BYTES = 1024;

enum CaptureMode : uint8_t { CAPTURE_NONE = 0, CAPTURE_SOUND = 1, CAPTURE_FRAMES = 2 };

extern int32_t screen_width, screen_height;
extern uint8_t capture_mode;
extern uint8_t scanline_row[SHELL_SCANLINE_BYTES];
extern uint32_t screen_copy_tex, glow_tex, glow_mask_tex;

struct CommandLine {
    bool windowed;
    uint8_t capture_mode;
    bool help;    // "--help": print the usage and exit, before any window
    bool version; // "--version": print the version and exit
};
// "-w" selects a window, "-ds" sound capture, "-dg" frame capture; arguments
// are compared whole, others ignored, the last capture switch wins.
CommandLine parse_command_line(int argc, char **argv);

// Writes the usage (switches, keys, capture formats, environment, exit
// statuses) or the version line to standard output. Returns the exit status:
// 0, or 1 with a message on standard error when standard output fails.
// Needs no display; called before anything else is set up.
int print_usage();
int print_version();

// Opens the window (exits with status 1 and a message on failure), fills
// scanline_row and creates the screen textures.
void startup_video(int argc, char **argv, int32_t width, int32_t height);
void create_screen_textures();
// Runs until Escape, q, a window-close event or the end of the song.
void frame_loop();

// A write to descriptor 7 failed with errno value err: prints one line (that
// the reader went away for EPIPE, else that writing failed and why) and exits
// with status 1.
[[noreturn]] void capture_write_failed(int err);

// Writes all n bytes to fd, retrying partial writes and EINTR.
// Returns 0, or -1 with errno set when the descriptor fails for good (EPIPE:
// the reader of a pipe went away).
int write_fully(int fd, const void *data, long n);
