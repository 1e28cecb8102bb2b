// Run-time GL entry points, checked before use.
//
// The extension string is the authority: with a dispatching GL library the
// lookup hands out a function for almost any name, present in the driver or
// not, so a null entry point alone would not reveal a missing extension. A
// null one is refused all the same.
#include "gfx/gl_ext.h"

#include <GL/glx.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

GlExtEntryPoints gl_ext = {};

void (*gl_ext_driver_lookup(const char *name))()
{
    return glXGetProcAddressARB(reinterpret_cast<const GLubyte *>(name));
}

// Whether the space-separated list holds `name` as a whole word.
static bool has_extension(const char *extensions, const char *name)
{
    if (extensions == nullptr) return false;
    const size_t n = std::strlen(name);
    for (const char *p = extensions; (p = std::strstr(p, name)) != nullptr; p += n)
        if ((p == extensions || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    return false;
}

[[noreturn]] static void missing(const char *extension)
{
    std::fprintf(stderr, "OpenGL extension %s is missing\n", extension);
    std::exit(1);
}

// The entry point `name` of `extension`, or the end of the program.
template <typename F> static F require(GlLookup lookup, const char *extension, const char *name)
{
    void (*f)() = lookup(name);
    if (f == nullptr) missing(extension);
    return reinterpret_cast<F>(f);
}

void gl_ext_require(const char *extensions, GlLookup lookup)
{
    static const char MULTITEXTURE[] = "GL_ARB_multitexture", FRAGMENT_PROGRAM[] = "GL_ARB_fragment_program";
    for (const char *extension : {MULTITEXTURE, FRAGMENT_PROGRAM})
        if (!has_extension(extensions, extension)) missing(extension);
    GlExtEntryPoints e;
    e.active_texture = require<PFNGLACTIVETEXTUREARBPROC>(lookup, MULTITEXTURE, "glActiveTextureARB");
    e.client_active_texture =
        require<PFNGLCLIENTACTIVETEXTUREARBPROC>(lookup, MULTITEXTURE, "glClientActiveTextureARB");
    e.multi_tex_coord_3dv = require<PFNGLMULTITEXCOORD3DVARBPROC>(lookup, MULTITEXTURE, "glMultiTexCoord3dvARB");
    e.bind_program = require<PFNGLBINDPROGRAMARBPROC>(lookup, FRAGMENT_PROGRAM, "glBindProgramARB");
    e.program_string = require<PFNGLPROGRAMSTRINGARBPROC>(lookup, FRAGMENT_PROGRAM, "glProgramStringARB");
    gl_ext = e;
}

void gl_ext_load()
{
    gl_ext_require(reinterpret_cast<const char *>(glGetString(GL_EXTENSIONS)), gl_ext_driver_lookup);
}
