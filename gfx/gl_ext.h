// The GL entry points the show fetches from the driver at run time: the
// multitexture and fragment-program calls of the bump tunnel and of vertex
// batches with a second texture unit. The GL library the program links need
// not export them, so they are looked up by name.
//
// Owns the global record `gl_ext`, filled once on the main thread by
// gl_ext_load (the tunnel's set-up calls it, with the GL context current) and
// only read afterwards. No allocation.
//
// A driver without one of the extensions is refused: gl_ext_load prints
// "OpenGL extension <name> is missing\n" to standard error and exits with
// status 1, naming the extension (GL_ARB_multitexture or
// GL_ARB_fragment_program) that the extension string lacks or whose entry
// point the lookup did not give.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

struct GlExtEntryPoints {
    PFNGLACTIVETEXTUREARBPROC active_texture;
    PFNGLCLIENTACTIVETEXTUREARBPROC client_active_texture;
    PFNGLMULTITEXCOORD3DVARBPROC multi_tex_coord_3dv;
    PFNGLBINDPROGRAMARBPROC bind_program;
    PFNGLPROGRAMSTRINGARBPROC program_string;
};

extern GlExtEntryPoints gl_ext;

// Looks an entry point up by name; null when the driver has none.
using GlLookup = void (*(*)(const char *name))();

// The driver's own lookup (glXGetProcAddressARB).
void (*gl_ext_driver_lookup(const char *name))();

// Fills gl_ext from `extensions` (the GL extension string, space separated)
// and `lookup`, or prints which extension is missing and exits with status 1.
void gl_ext_require(const char *extensions, GlLookup lookup);

// gl_ext_require with the current context's extension string and the
// driver's lookup.
void gl_ext_load();
