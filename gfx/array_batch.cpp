// Array batches: immediate-mode style recording into fixed arrays, drawn by
// glDrawElements the way a display list of the same calls is drawn.
#include "gfx/array_batch.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstdlib>

#include "gfx/gl_ext.h"

namespace {

struct ArrayDraw {
    uint32_t mode;
    int32_t first, count;
};

struct ArrayBatch {
    uint32_t attributes;
    float normal[3], color[4], texcoord[2], texcoord1[3];  // the values given last
    int32_t vertex_count, draw_count;
    float positions[ARRAY_BATCH_MAX_VERTICES][3];
    float normals[ARRAY_BATCH_MAX_VERTICES][3];
    float colors[ARRAY_BATCH_MAX_VERTICES][4];
    float texcoords[ARRAY_BATCH_MAX_VERTICES][2];
    float texcoords1[ARRAY_BATCH_MAX_VERTICES][3];
    ArrayDraw draws[ARRAY_BATCH_MAX_DRAWS];
};

ArrayBatch batch;

// 0, 1, 2, ...: every draw's indices are its own vertices in order.
struct Sequence {
    uint32_t index[ARRAY_BATCH_MAX_VERTICES];
};
constexpr Sequence make_sequence()
{
    Sequence s{};
    for (int32_t i = 0; i < ARRAY_BATCH_MAX_VERTICES; ++i) s.index[i] = uint32_t(i);
    return s;
}
constexpr Sequence sequence = make_sequence();

[[noreturn]] void full()
{
    std::fputs("MAXBATCH\n", stderr);
    std::exit(1);
}

// A display list merges consecutive primitives of these modes into one draw.
bool merges(uint32_t mode) { return mode == GL_TRIANGLES || mode == GL_QUADS; }

}  // namespace

void array_batch_begin(uint32_t attributes)
{
    batch.attributes = attributes;
    batch.vertex_count = 0;
    batch.draw_count = 0;
}

void array_begin(uint32_t mode)
{
    if (batch.draw_count > 0) {
        ArrayDraw &last = batch.draws[batch.draw_count - 1];
        if (last.mode == mode && merges(mode)) return;
    }
    if (batch.draw_count == ARRAY_BATCH_MAX_DRAWS) full();
    batch.draws[batch.draw_count++] = {mode, batch.vertex_count, 0};
}

void array_normal(double x, double y, double z)
{
    batch.normal[0] = float(x);
    batch.normal[1] = float(y);
    batch.normal[2] = float(z);
}

void array_color(double r, double g, double b, double a)
{
    batch.color[0] = float(r);
    batch.color[1] = float(g);
    batch.color[2] = float(b);
    batch.color[3] = float(a);
}

void array_texcoord(double s, double t)
{
    batch.texcoord[0] = float(s);
    batch.texcoord[1] = float(t);
}

void array_texcoord1(double s, double t, double r)
{
    batch.texcoord1[0] = float(s);
    batch.texcoord1[1] = float(t);
    batch.texcoord1[2] = float(r);
}

void array_vertex(double x, double y, double z)
{
    const int32_t v = batch.vertex_count;
    if (v == ARRAY_BATCH_MAX_VERTICES) full();
    batch.positions[v][0] = float(x);
    batch.positions[v][1] = float(y);
    batch.positions[v][2] = float(z);
    const uint32_t a = batch.attributes;
    if (a & ARRAY_NORMAL)
        for (int k = 0; k < 3; ++k) batch.normals[v][k] = batch.normal[k];
    if (a & ARRAY_COLOR)
        for (int k = 0; k < 4; ++k) batch.colors[v][k] = batch.color[k];
    if (a & ARRAY_TEXCOORD)
        for (int k = 0; k < 2; ++k) batch.texcoords[v][k] = batch.texcoord[k];
    if (a & ARRAY_TEXCOORD1)
        for (int k = 0; k < 3; ++k) batch.texcoords1[v][k] = batch.texcoord1[k];
    batch.vertex_count = v + 1;
    batch.draws[batch.draw_count - 1].count += 1;
}

void array_end() {}

void array_batch_end()
{
    const uint32_t a = batch.attributes;
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, batch.positions);
    if (a & ARRAY_NORMAL) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, batch.normals);
    }
    if (a & ARRAY_COLOR) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_FLOAT, 0, batch.colors);
    }
    if (a & ARRAY_TEXCOORD) {
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 0, batch.texcoords);
    }
    if (a & ARRAY_TEXCOORD1) {
        gl_ext.client_active_texture(GL_TEXTURE1_ARB);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(3, GL_FLOAT, 0, batch.texcoords1);
        gl_ext.client_active_texture(GL_TEXTURE0_ARB);
    }

    for (int32_t d = 0; d < batch.draw_count; ++d) {
        const ArrayDraw &draw = batch.draws[d];
        if (draw.count > 0)
            glDrawElements(draw.mode, draw.count, GL_UNSIGNED_INT, sequence.index + draw.first);
    }

    glDisableClientState(GL_VERTEX_ARRAY);
    if (a & ARRAY_NORMAL) glDisableClientState(GL_NORMAL_ARRAY);
    if (a & ARRAY_COLOR) glDisableClientState(GL_COLOR_ARRAY);
    if (a & ARRAY_TEXCOORD) glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    if (a & ARRAY_TEXCOORD1) {
        gl_ext.client_active_texture(GL_TEXTURE1_ARB);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        gl_ext.client_active_texture(GL_TEXTURE0_ARB);
    }

    // The current values a list leaves: those of its last vertex (a value
    // given after the last vertex does not count).
    const int32_t last = batch.vertex_count - 1;
    if (last < 0) return;
    if (a & ARRAY_NORMAL) glNormal3fv(batch.normals[last]);
    if (a & ARRAY_COLOR) glColor4fv(batch.colors[last]);
    if (a & ARRAY_TEXCOORD) glTexCoord2fv(batch.texcoords[last]);
    if (a & ARRAY_TEXCOORD1) {
        const double s1[3] = {batch.texcoords1[last][0], batch.texcoords1[last][1], batch.texcoords1[last][2]};
        gl_ext.multi_tex_coord_3dv(GL_TEXTURE1_ARB, s1);
    }
}
