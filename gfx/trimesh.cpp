// Fixed triangle mesh: appends and the one-time finishing pass.
#include "gfx/trimesh.h"

#include <cstdio>
#include <cstdlib>

TriMesh tri_mesh = {};

namespace {

[[noreturn]] void die(const char *msg)
{
    std::fputs(msg, stderr);
    std::exit(1);
}

}  // namespace

void trimesh_reset()
{
    tri_mesh.vertex_count = 0;
    tri_mesh.face_count = 0;
    tri_mesh.line_count = 0;
}

int32_t trimesh_add_vertex(const Vec3 &position, double s, double t)
{
    const int32_t i = tri_mesh.vertex_count;
    if (i + 1 >= TRIMESH_MAX_VERTICES)
        die("maxvertex\n");
    TriMeshVertex &v = tri_mesh.vertices[i];
    v.position = position;
    v.normal = {0.0, 0.0, 0.0};
    v.face_count = 0;
    v.s = s;
    v.t = t;
    tri_mesh.vertex_count = i + 1;
    return i;
}

int32_t trimesh_add_face(int32_t a, int32_t b, int32_t c, int32_t flag)
{
    const int32_t i = tri_mesh.face_count;
    if (i + 1 >= TRIMESH_MAX_FACES)
        die("maxface\n");
    TriMeshFace &f = tri_mesh.faces[i];
    f.corners[0] = a;
    f.corners[1] = b;
    f.corners[2] = c;
    f.normal = {0.0, 0.0, 0.0};
    f.flag = flag;
    tri_mesh.face_count = i + 1;
    return i;
}

int32_t trimesh_add_line(int32_t a, int32_t b)
{
    const int32_t i = tri_mesh.line_count;
    if (i + 1 >= TRIMESH_MAX_LINES)
        die("maxedge\n");
    tri_mesh.lines[i].v[0] = a;
    tri_mesh.lines[i].v[1] = b;
    tri_mesh.line_count = i + 1;
    return i;
}

void trimesh_finish()
{
    TriMesh &m = tri_mesh;
    for (int32_t v = 0; v < m.vertex_count; ++v) {
        m.vertices[v].normal = {0.0, 0.0, 0.0};
        m.vertices[v].face_count = 0;
    }
    for (int32_t f = 0; f < m.face_count; ++f) {
        TriMeshFace &face = m.faces[f];
        const Vec3 &p0 = m.vertices[face.corners[0]].position;
        const Vec3 &p1 = m.vertices[face.corners[1]].position;
        const Vec3 &p2 = m.vertices[face.corners[2]].position;
        vec_cross(&face.normal, {p1.x - p0.x, p1.y - p0.y, p1.z - p0.z}, {p2.x - p0.x, p2.y - p0.y, p2.z - p0.z});
        for (int k = 0; k < 3; ++k) {
            TriMeshVertex &v = m.vertices[face.corners[k]];
            if (v.face_count >= TRIMESH_MAX_FACES_PER_VERTEX)
                die("maxfpv\n");
            v.faces[v.face_count++] = f;
        }
    }
    // A vertex with no faces (one that only carries lines), or whose faces have
    // no area, keeps a zero normal instead of a division by zero.
    for (int32_t i = 0; i < m.vertex_count; ++i) {
        TriMeshVertex &v = m.vertices[i];
        for (int k = 0; k < v.face_count; ++k) {
            const Vec3 &n = m.faces[v.faces[k]].normal;
            v.normal.x += n.x;
            v.normal.y += n.y;
            v.normal.z += n.z;
        }
        if (v.normal.x != 0.0 || v.normal.y != 0.0 || v.normal.z != 0.0)
            vec_normalize(&v.normal);
    }
}
