// Opens the show's 800x600 window once per benchmark program, as `-w` does;
// with_precalc also builds the show's tables and textures, as start-up does.
#pragma once

#include "gfx/precalc.h"
#include "shell/shell.h"

inline void bench_open_window(bool with_precalc)
{
    static bool opened = false;
    if (opened) return;
    static char arg0[] = "bench", arg1[] = "-w";
    static char *argv[] = {arg0, arg1, nullptr};
    startup_video(2, argv, 800, 600);
    if (with_precalc) precalculate();
    opened = true;
}
