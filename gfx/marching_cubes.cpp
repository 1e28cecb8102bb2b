// Marching-cubes polygonizer, indexed (single precision, into the subdivision
// mesh) and direct (double precision, vertices kept in the edge cache).
//
// Technique. Every grid edge belongs to exactly one cell: the one at its lower
// end, which owns the +a, +b and +c edges leaving its corner 3. A first pass
// over all cells computes each cube code and makes the vertices of the cell's
// own three edges (only those whose ends differ); a second pass emits the
// triangles of each cell from the case table, finding the vertex of each of the
// twelve cube edges in the slot of its owner through a fixed offset. So each
// crossed edge yields one vertex, shared by the up to four cells around it,
// without hashing or merging duplicates. The first pass also writes all three
// slot flags of every cell, which doubles as the per-call clear of the cache.
//
// Interpolation. t = (iso - v0) / (v1 - v0) is the crossing along the edge from
// the owning sample. Callers may force below flags (outside a bounding shape),
// and a sample sitting on a pole of the field is infinite; so t is kept inside
// the edge; equal ends put the vertex at the midpoint, and infinity over
// infinity puts it at the finite end (or the midpoint if both are infinite).
#include "gfx/marching_cubes.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "gfx/subdiv_mesh.h"

EdgeCache mc_edge_cache = {};
EdgeCacheD mc_direct_cache = {};
DirectTriangles mc_direct_triangles = {};

namespace {

[[noreturn]] void die(const char *msg)
{
    std::fputs(msg, stderr);
    std::exit(1);
}

template <typename T> inline T edge_t(T v0, T v1, T iso)
{
    const T t = (iso - v0) / (v1 - v0);
    if (t >= T(0) && t <= T(1))
        return t;
    if (v1 == v0)
        return T(0.5);
    if (t != t)
        return std::isinf(v0) && !std::isinf(v1) ? T(1) : T(0.5);
    return t > T(1) ? T(1) : T(0);
}

// Owner of each cube edge relative to the cell: (da, db, dc, slot).
constexpr int8_t edge_owner[12][4] = {
    {0, 0, 1, 0}, {1, 0, 0, 2}, {0, 0, 0, 0}, {0, 0, 0, 2}, {0, 1, 1, 0}, {1, 1, 0, 2},
    {0, 1, 0, 0}, {0, 1, 0, 2}, {0, 0, 1, 1}, {1, 0, 1, 1}, {1, 0, 0, 1}, {0, 0, 0, 1},
};

// Flat slot offset of each cube edge from the cell's slot 0, for M cells per axis.
void edge_offsets(int32_t m, int32_t off[12])
{
    for (int e = 0; e < 12; ++e)
        off[e] = ((edge_owner[e][0] * m + edge_owner[e][1]) * m + edge_owner[e][2]) * 3 + edge_owner[e][3];
}

void check_grid(int32_t n, int32_t max_n)
{
    if (n > max_n)
        die("MAXGRID\n");
}

// Cube code of cell (a, b, c) from the four sample rows around it, c the index
// along the rows: r00 = (a, b), r10 = (a+1, b), r01 = (a, b+1), r11 = (a+1, b+1).
template <typename S>
inline unsigned cube_code(const S *r00, const S *r10, const S *r01, const S *r11, int32_t c)
{
    return unsigned(r00[c + 1].below != 0) | unsigned(r10[c + 1].below != 0) << 1 |
           unsigned(r10[c].below != 0) << 2 | unsigned(r00[c].below != 0) << 3 |
           unsigned(r01[c + 1].below != 0) << 4 | unsigned(r11[c + 1].below != 0) << 5 |
           unsigned(r11[c].below != 0) << 6 | unsigned(r01[c].below != 0) << 7;
}

}  // namespace

void polygonize_indexed(GridSample *grid, int32_t n, float iso, const Vec3f &origin, const Vec3f &step)
{
    check_grid(n, MC_MAX_GRID_N);
    SubdivMesh &mesh = subdiv_mesh;
    mesh.vertex_count = 0;
    mesh.face_count = 0;
    if (n < 2)
        return;
    const int32_t m = n - 1;
    EdgeVertexSlot *slots = mc_edge_cache.slots;

    // Vertex pass over every cell.
    for (int32_t a = 0; a < m; ++a) {
        const float xa = origin.x + float(a) * step.x;
        for (int32_t b = 0; b < m; ++b) {
            const float yb = origin.y + float(b) * step.y;
            GridSample *r00 = grid + (a * n + b) * n;
            const GridSample *r10 = grid + ((a + 1) * n + b) * n;
            const GridSample *r01 = grid + (a * n + b + 1) * n;
            const GridSample *r11 = grid + ((a + 1) * n + b + 1) * n;
            EdgeVertexSlot *cell = slots + ((a * m + b) * m) * 3;
            for (int32_t c = 0; c < m; ++c, cell += 3) {
                const unsigned code = cube_code(r00, r10, r01, r11, c);
                r00[c].cube_code = uint8_t(code);
                const unsigned x = (code & 8) ? ~code : code;
                const float zc = origin.z + float(c) * step.z;
                const float v = r00[c].value;
                cell[0].flag = uint8_t((x >> 2) & 1);
                cell[1].flag = uint8_t((x >> 7) & 1);
                cell[2].flag = uint8_t(x & 1);
                if (x & 4) {
                    const float t = edge_t(v, r10[c].value, iso);
                    cell[0].t = t;
                    cell[0].vertex = subdiv_add_vertex({xa + t * step.x, yb, zc});
                }
                if (x & 128) {
                    const float t = edge_t(v, r01[c].value, iso);
                    cell[1].t = t;
                    cell[1].vertex = subdiv_add_vertex({xa, yb + t * step.y, zc});
                }
                if (x & 1) {
                    const float t = edge_t(v, r00[c + 1].value, iso);
                    cell[2].t = t;
                    cell[2].vertex = subdiv_add_vertex({xa, yb, zc + t * step.z});
                }
            }
        }
    }

    // Triangle pass; the last layer of cells along each axis is skipped.
    int32_t off[12];
    edge_offsets(m, off);
    for (int32_t a = 0; a + 2 < n; ++a) {
        for (int32_t b = 0; b + 2 < n; ++b) {
            const GridSample *row = grid + (a * n + b) * n;
            const EdgeVertexSlot *cell = slots + ((a * m + b) * m) * 3;
            for (int32_t c = 0; c + 2 < n; ++c, cell += 3) {
                const unsigned code = row[c].cube_code;
                if (code == 0 || code == 255)
                    continue;
                const int8_t *tri = mc_triangle_table[code];
                for (int i = 0; tri[i] >= 0; i += 3)
                    subdiv_add_triangle(cell[off[tri[i]]].vertex, cell[off[tri[i + 1]]].vertex,
                                        cell[off[tri[i + 2]]].vertex);
            }
        }
    }
}

void polygonize_direct(GridSampleD *grid, int32_t n, double iso, const Vec3 &origin, const Vec3 &step)
{
    check_grid(n, MC_DIRECT_MAX_GRID_N);
    DirectTriangles &out = mc_direct_triangles;
    out.count = 0;
    if (n < 2)
        return;
    const int32_t m = n - 1;
    EdgeVertexSlotD *slots = mc_direct_cache.slots;

    for (int32_t a = 0; a < m; ++a) {
        const double xa = origin.x + a * step.x;
        for (int32_t b = 0; b < m; ++b) {
            const double yb = origin.y + b * step.y;
            GridSampleD *r00 = grid + (a * n + b) * n;
            const GridSampleD *r10 = grid + ((a + 1) * n + b) * n;
            const GridSampleD *r01 = grid + (a * n + b + 1) * n;
            const GridSampleD *r11 = grid + ((a + 1) * n + b + 1) * n;
            EdgeVertexSlotD *cell = slots + ((a * m + b) * m) * 3;
            for (int32_t c = 0; c < m; ++c, cell += 3) {
                const unsigned code = cube_code(r00, r10, r01, r11, c);
                r00[c].cube_code = uint8_t(code);
                const unsigned x = (code & 8) ? ~code : code;
                const double zc = origin.z + c * step.z;
                const double v = r00[c].value;
                cell[0].flag = uint8_t((x >> 2) & 1);
                cell[1].flag = uint8_t((x >> 7) & 1);
                cell[2].flag = uint8_t(x & 1);
                if (x & 4) {
                    const double t = edge_t(v, r10[c].value, iso);
                    cell[0].t = t;
                    cell[0].position = {xa + t * step.x, yb, zc};
                    cell[0].normal = {0.0, 0.0, 0.0};
                }
                if (x & 128) {
                    const double t = edge_t(v, r01[c].value, iso);
                    cell[1].t = t;
                    cell[1].position = {xa, yb + t * step.y, zc};
                    cell[1].normal = {0.0, 0.0, 0.0};
                }
                if (x & 1) {
                    const double t = edge_t(v, r00[c + 1].value, iso);
                    cell[2].t = t;
                    cell[2].position = {xa, yb, zc + t * step.z};
                    cell[2].normal = {0.0, 0.0, 0.0};
                }
            }
        }
    }

    int32_t off[12];
    edge_offsets(m, off);
    for (int32_t a = 0; a + 2 < n; ++a) {
        for (int32_t b = 0; b + 2 < n; ++b) {
            const GridSampleD *row = grid + (a * n + b) * n;
            const int32_t base = ((a * m + b) * m) * 3;
            for (int32_t c = 0; c + 2 < n; ++c) {
                const unsigned code = row[c].cube_code;
                if (code == 0 || code == 255)
                    continue;
                const int32_t cell = base + c * 3;
                const int8_t *tri = mc_triangle_table[code];
                for (int i = 0; tri[i] >= 0; i += 3) {
                    const int32_t s0 = cell + off[tri[i]], s1 = cell + off[tri[i + 1]], s2 = cell + off[tri[i + 2]];
                    const Vec3 &p0 = slots[s0].position, &p1 = slots[s1].position, &p2 = slots[s2].position;
                    Vec3 nrm;
                    vec_cross(&nrm, {p1.x - p0.x, p1.y - p0.y, p1.z - p0.z}, {p2.x - p0.x, p2.y - p0.y, p2.z - p0.z});
                    const int32_t ref[3] = {s0, s1, s2};
                    for (const int32_t s : ref) {
                        Vec3 &acc = slots[s].normal;
                        acc.x += nrm.x;
                        acc.y += nrm.y;
                        acc.z += nrm.z;
                    }
                    int32_t *t = out.tri[out.count];
                    t[0] = s0;
                    t[1] = s1;
                    t[2] = s2;
                    if (++out.count >= MC_DIRECT_MAX_TRIANGLES) {
                        std::fputs("MAXFACES\n", stderr);
                        --out.count;
                    }
                }
            }
        }
    }

    // Unit normals. A slot that only degenerate triangles (or none) touch keeps
    // its zero normal rather than dividing by zero.
    const int32_t slot_count = m * m * m * 3;
    for (int32_t s = 0; s < slot_count; ++s) {
        EdgeVertexSlotD &slot = slots[s];
        if (slot.flag && (slot.normal.x != 0.0 || slot.normal.y != 0.0 || slot.normal.z != 0.0))
            vec_normalize(&slot.normal);
    }
}
