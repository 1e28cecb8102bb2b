// Subdivision mesh tables, edge linking, one Catmull-Clark step and normals.
//
// Technique. Every frame the blob-tube scene hands over a closed triangle mesh
// of a few ten thousand faces, and all of it has to be refined in a few
// milliseconds, so nothing here searches beyond the short per-vertex edge
// lists:
//  - An edge is found from its larger endpoint: each vertex lists the edges it
//    is the high end of (and, for the vertex-point rule, the ones it is the low
//    end of). A linear scan of at most 32 entries replaces any hashing.
//  - The vertex-point rule needs, per old vertex, the mean midpoint R of its
//    edges. Instead of walking each vertex's edge lists a second time, the
//    edge-point loop scatters every edge's far endpoint into a per-vertex sum,
//    so R = (m P + sum) / 2m with the positions from before the step.
//  - New vertices (face points, edge points) and new faces are appended in
//    index order, so the tables are written front to back.
//
// Memory layout notes live in the header.
#include "gfx/subdiv_mesh.h"

#include <cstdio>
#include <cstdlib>

SubdivMesh subdiv_mesh = {};

namespace {

// Sum of the far endpoints of each old vertex's edges, filled during the edge
// points of catmull_clark_step.
Vec3f neighbour_sum[SUBDIV_MAX_VERTICES];

[[noreturn]] void die(const char *msg)
{
    std::fputs(msg, stderr);
    std::exit(1);
}

inline int32_t push_vertex(float x, float y, float z)
{
    SubdivMesh &m = subdiv_mesh;
    const int32_t i = m.vertex_count;
    if (i + 1 >= SUBDIV_MAX_VERTICES)
        die("MAXVERTICES\n");
    SubdivVertex &v = m.vertices[i];
    v.position = {x, y, z};
    v.normal = {0.0f, 0.0f, 0.0f};
    v.edge_hi_count = 0;
    v.edge_lo_count = 0;
    v.face_count = 0;
    m.vertex_count = i + 1;
    return i;
}

inline void push_face_ref(SubdivVertex &v, int32_t f)
{
    if (v.face_count >= SUBDIV_MAX_FACES_PER_VERTEX)
        die("MAXFPV\n");
    v.faces[v.face_count++] = f;
}

// Links every live face, assuming the edge counts of their corners are zero.
void link_faces()
{
    SubdivMesh &m = subdiv_mesh;
    int32_t edge_count = 0;
    const int32_t face_count = m.face_count;
    for (int32_t f = 0; f < face_count; ++f) {
        SubdivFace &face = m.faces[f];
        const int n = face.corner_count;
        for (int k = 0; k < n; ++k) {
            const int32_t u = face.corners[k];
            const int32_t w = face.corners[k + 1 == n ? 0 : k + 1];
            const int32_t hi = u > w ? u : w;
            const int32_t lo = u > w ? w : u;
            SubdivVertex &vh = m.vertices[hi];
            int32_t e = -1;
            for (int i = 0; i < vh.edge_hi_count; ++i) {
                if (m.edges[vh.edges_hi[i]].lo == lo) {
                    e = vh.edges_hi[i];
                    break;
                }
            }
            if (e < 0) {
                SubdivVertex &vl = m.vertices[lo];
                if (edge_count >= SUBDIV_MAX_EDGES)
                    die("MAXEDGES\n");
                if (vh.edge_hi_count >= SUBDIV_MAX_EDGES_PER_END)
                    die("MAXEPV(1)\n");
                if (vl.edge_lo_count >= SUBDIV_MAX_EDGES_PER_END)
                    die("MAXEPV(2)\n");
                e = edge_count++;
                SubdivEdge &edge = m.edges[e];
                edge.face_count = 0;
                edge.hi = hi;
                edge.lo = lo;
                vh.edges_hi[vh.edge_hi_count++] = e;
                vl.edges_lo[vl.edge_lo_count++] = e;
            }
            face.edges[k] = e;
            SubdivEdge &edge = m.edges[e];
            if (edge.face_count >= 2)
                die("More than two faces to an edge!\n");
            edge.faces[edge.face_count++] = f;
        }
    }
    m.edge_count = edge_count;
}

inline Vec3f sub(const Vec3f &a, const Vec3f &b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

}  // namespace

void subdiv_reset()
{
    subdiv_mesh.vertex_count = 0;
    subdiv_mesh.face_count = 0;
    subdiv_mesh.edge_count = 0;
}

int32_t subdiv_add_vertex(const Vec3f &p) { return push_vertex(p.x, p.y, p.z); }

void subdiv_add_face_to_vertex(int32_t v, int32_t f) { push_face_ref(subdiv_mesh.vertices[v], f); }

int32_t subdiv_add_triangle(int32_t a, int32_t b, int32_t c)
{
    SubdivMesh &m = subdiv_mesh;
    const int32_t f = m.face_count;
    SubdivFace &face = m.faces[f];
    face.corner_count = 3;
    face.corners[0] = a;
    face.corners[1] = b;
    face.corners[2] = c;
    push_face_ref(m.vertices[a], f);
    push_face_ref(m.vertices[b], f);
    push_face_ref(m.vertices[c], f);
    if (++m.face_count >= SUBDIV_MAX_FACES) {
        std::fputs("MAXFACES\n", stderr);
        m.face_count = f;
        // The triangle now lives past the count: no face list may name it.
        m.vertices[a].face_count--;
        m.vertices[b].face_count--;
        m.vertices[c].face_count--;
    }
    return f;
}

void link_edges()
{
    SubdivMesh &m = subdiv_mesh;
    for (int32_t f = 0; f < m.face_count; ++f) {
        const SubdivFace &face = m.faces[f];
        for (int k = 0; k < face.corner_count; ++k) {
            SubdivVertex &v = m.vertices[face.corners[k]];
            v.edge_hi_count = 0;
            v.edge_lo_count = 0;
        }
    }
    link_faces();
}

void accumulate_normals()
{
    SubdivMesh &m = subdiv_mesh;
    for (int32_t f = 0; f < m.face_count; ++f) {
        const SubdivFace &face = m.faces[f];
        const int n = face.corner_count;
        if (n == 0)
            continue;
        const Vec3f &p0 = m.vertices[face.corners[0]].position;
        const Vec3f d1 = sub(m.vertices[face.corners[1]].position, p0);
        const Vec3f d2 = sub(m.vertices[face.corners[2]].position, p0);
        Vec3f nrm;
        vec_cross_f(&nrm, d1, d2);
        for (int k = 0; k < n; ++k) {
            Vec3f &acc = m.vertices[face.corners[k]].normal;
            acc.x += nrm.x;
            acc.y += nrm.y;
            acc.z += nrm.z;
        }
    }
}

void catmull_clark_step()
{
    SubdivMesh &m = subdiv_mesh;
    const int32_t v0 = m.vertex_count;
    const int32_t f0 = m.face_count;

    // Old vertices lose their edges (rebuilt below) and their normals (the
    // faces they summed are about to die); their face lists stay.
    for (int32_t v = 0; v < v0; ++v) {
        SubdivVertex &vx = m.vertices[v];
        vx.edge_hi_count = 0;
        vx.edge_lo_count = 0;
        vx.normal = {0.0f, 0.0f, 0.0f};
        neighbour_sum[v] = {0.0f, 0.0f, 0.0f};
    }

    // Face points.
    static constexpr float inv_n[5] = {0.0f, 1.0f, 1.0f / 2.0f, 1.0f / 3.0f, 1.0f / 4.0f};
    for (int32_t f = 0; f < f0; ++f) {
        SubdivFace &face = m.faces[f];
        const int n = face.corner_count;
        if (n == 0)
            continue;
        Vec3f s = {0.0f, 0.0f, 0.0f};
        for (int k = 0; k < n; ++k) {
            const Vec3f &p = m.vertices[face.corners[k]].position;
            s.x += p.x;
            s.y += p.y;
            s.z += p.z;
        }
        face.face_point = push_vertex(s.x * inv_n[n], s.y * inv_n[n], s.z * inv_n[n]);
    }

    link_faces();

    // Edge points; also gather each endpoint's neighbour sum.
    static constexpr float inv_edge[3] = {1.0f / 2.0f, 1.0f / 3.0f, 1.0f / 4.0f};
    const int32_t edge_count = m.edge_count;
    for (int32_t e = 0; e < edge_count; ++e) {
        SubdivEdge &edge = m.edges[e];
        const Vec3f ph = m.vertices[edge.hi].position;
        const Vec3f pl = m.vertices[edge.lo].position;
        Vec3f s = {ph.x + pl.x, ph.y + pl.y, ph.z + pl.z};
        for (int i = 0; i < edge.face_count; ++i) {
            const Vec3f &fp = m.vertices[m.faces[edge.faces[i]].face_point].position;
            s.x += fp.x;
            s.y += fp.y;
            s.z += fp.z;
        }
        const float w = inv_edge[edge.face_count];
        edge.edge_point = push_vertex(s.x * w, s.y * w, s.z * w);
        Vec3f &nh = neighbour_sum[edge.hi];
        nh.x += pl.x;
        nh.y += pl.y;
        nh.z += pl.z;
        Vec3f &nl = neighbour_sum[edge.lo];
        nl.x += ph.x;
        nl.y += ph.y;
        nl.z += ph.z;
    }

    // Vertex points. Face points and neighbour sums were taken before any old
    // position moves, so updating in place is safe.
    for (int32_t v = 0; v < v0; ++v) {
        SubdivVertex &vx = m.vertices[v];
        const int m_edges = vx.edge_hi_count + vx.edge_lo_count;
        Vec3f fs = {0.0f, 0.0f, 0.0f};
        int live = 0;
        for (int i = 0; i < vx.face_count; ++i) {
            const SubdivFace &face = m.faces[vx.faces[i]];
            if (face.corner_count == 0)
                continue;
            const Vec3f &fp = m.vertices[face.face_point].position;
            fs.x += fp.x;
            fs.y += fp.y;
            fs.z += fp.z;
            ++live;
        }
        if (m_edges == 0 || live == 0)
            continue;
        const float inv_live = 1.0f / static_cast<float>(live);
        const float mf = static_cast<float>(m_edges);
        const float inv_m = 1.0f / mf;
        const Vec3f p = vx.position;
        const Vec3f &ns = neighbour_sum[v];
        // 2R = (m P + sum) / m
        const Vec3f r2 = {(mf * p.x + ns.x) * inv_m, (mf * p.y + ns.y) * inv_m, (mf * p.z + ns.z) * inv_m};
        const float wp = mf - 3.0f;
        vx.position = {(fs.x * inv_live + r2.x + wp * p.x) * inv_m, (fs.y * inv_live + r2.y + wp * p.y) * inv_m,
                       (fs.z * inv_live + r2.z + wp * p.z) * inv_m};
    }

    // Quads: corner k, edge point of side k, face point, edge point of side k - 1.
    for (int32_t f = 0; f < f0; ++f) {
        SubdivFace &face = m.faces[f];
        const int n = face.corner_count;
        if (n == 0)
            continue;
        const int32_t fp = face.face_point;
        for (int k = 0; k < n; ++k) {
            const int32_t corner = face.corners[k];
            const int32_t ep_next = m.edges[face.edges[k]].edge_point;
            const int32_t ep_prev = m.edges[face.edges[k == 0 ? n - 1 : k - 1]].edge_point;
            const int32_t q = m.face_count;
            SubdivFace &quad = m.faces[q];
            quad.corner_count = 4;
            quad.corners[0] = corner;
            quad.corners[1] = ep_next;
            quad.corners[2] = fp;
            quad.corners[3] = ep_prev;
            push_face_ref(m.vertices[corner], q);
            push_face_ref(m.vertices[ep_next], q);
            push_face_ref(m.vertices[fp], q);
            if (++m.face_count >= SUBDIV_MAX_FACES)
                die("MAXFACES\n");
        }
        face.corner_count = 0;
    }

    accumulate_normals();
}
