// Start-up precalculation (placeholder until the scenes arrive: nothing to build yet).
#include "gfx/precalc.h"

uint32_t fur_shell_tex[PRECALC_FUR_LAYERS + 1];

void precalculate() {}
