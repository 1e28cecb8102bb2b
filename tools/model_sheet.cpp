// model_sheet: draws every embedded model, lit, from two angles (the tree also
// as the black silhouette the forest shows), the assembled projector room from
// the scene's own camera and from above, and the projector's parts in place,
// into one labelled PNG.
//
//   model_sheet <label-font> <out.png>
//
// A small software rasterizer does the drawing, so the sheet needs no X
// server or GL and comes out the same on every run: triangles clipped at the
// near plane, a depth buffer, perspective-correct normals and texture
// coordinates, per-pixel lighting, drawn at twice the size and filtered down.
// It reads the models exactly as the show does (static_model) and the
// projector's skin from the image store.
#include "gfx/image_store.h"
#include "gfx/models.h"
#include "tools/image_raster.h"
#include "tools/image_text.h"
#include "tools/png_write.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const double PI = std::acos(-1.0);

struct V3 {
    double x = 0, y = 0, z = 0;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, double k) { return {a.x * k, a.y * k, a.z * k}; }
double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V3 unit(V3 a) {
    double l = std::sqrt(dot(a, a));
    return l > 0 ? a * (1 / l) : a;
}

struct Camera {
    V3 eye, right, up, fwd;
    double focal = 1;  // 1 / tan(fov / 2)
    double aspect = 1;
};

Camera look_at(V3 eye, V3 target, V3 up, double fov_deg, double aspect) {
    Camera c;
    c.eye = eye;
    c.fwd = unit(target - eye);
    c.right = unit(cross(c.fwd, up));
    c.up = cross(c.right, c.fwd);
    c.focal = 1 / std::tan(fov_deg * PI / 360);
    c.aspect = aspect;
    return c;
}

// How a surface is lit: its colour, the skin (when textured), shininess, and
// whether it is drawn flat (no lighting).
struct Material {
    Rgb colour;
    bool textured = false;
    bool unlit = false;
    double specular = 0.3;
};

enum class Lighting { studio, eye_lamp };

struct Target {
    int w, h;
    std::vector<Rgb> px;
    std::vector<double> depth;
    Camera cam;
    Lighting lighting = Lighting::studio;
};

Target target_make(int w, int h, Rgb clear, const Camera &cam, Lighting l) {
    return {w, h, std::vector<Rgb>(static_cast<size_t>(w) * h, clear), std::vector<double>(static_cast<size_t>(w) * h, 1e30),
            cam, l};
}

const uint8_t *skin_pixels;
int32_t skin_w, skin_h;

Rgb sample_skin(double s, double t) {
    double x = std::clamp(s * skin_w - 0.5, 0.0, skin_w - 1.0), y = std::clamp(t * skin_h - 0.5, 0.0, skin_h - 1.0);
    int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    int x1 = std::min(x0 + 1, skin_w - 1), y1 = std::min(y0 + 1, skin_h - 1);
    double fx = x - x0, fy = y - y0;
    Rgb out;
    auto texel = [&](int xx, int yy, double wgt) {
        const uint8_t *p = skin_pixels + (static_cast<size_t>(yy) * skin_w + xx) * 3;
        out.r += p[0] / 255.0 * wgt;
        out.g += p[1] / 255.0 * wgt;
        out.b += p[2] / 255.0 * wgt;
    };
    texel(x0, y0, (1 - fx) * (1 - fy));
    texel(x1, y0, fx * (1 - fy));
    texel(x0, y1, (1 - fx) * fy);
    texel(x1, y1, fx * fy);
    return out;
}

Rgb shade(const Target &t, const Material &m, V3 p, V3 n, double s, double tt) {
    Rgb base = m.textured ? sample_skin(s, tt) : m.colour;
    if (m.unlit) return base;
    n = unit(n);
    V3 view = unit(t.cam.eye - p);
    if (dot(n, view) < 0) n = n * -1;  // open surfaces are seen from both sides
    double light = 0, shine = 0;
    if (t.lighting == Lighting::eye_lamp) {
        // The room's lamp sits at the eye, as in the scene.
        light = 0.2 + 0.55 * std::max(0.0, dot(n, view));
        shine = std::pow(std::max(0.0, dot(n, view)), 50) * 0.45;
    } else {
        const V3 key = unit({-0.5, 0.8, 0.6}), fill = unit({0.7, 0.2, -0.4});
        light = 0.22 + 0.75 * std::max(0.0, dot(n, key)) + 0.3 * std::max(0.0, dot(n, fill));
        V3 half = unit(key + view);
        shine = std::pow(std::max(0.0, dot(n, half)), 40) * m.specular;
    }
    return {base.r * light + shine, base.g * light + shine, base.b * light + shine};
}

struct Corner {
    V3 p, n;
    double s = 0, t = 0;
};

V3 to_camera(const Camera &c, V3 p) {
    V3 d = p - c.eye;
    return {dot(d, c.right), dot(d, c.up), dot(d, c.fwd)};
}

void raster_triangle(Target &t, const Material &m, const Corner *c, const V3 *cs) {
    double sx[3], sy[3], iw[3];
    for (int k = 0; k < 3; k++) {
        iw[k] = 1 / cs[k].z;
        sx[k] = (0.5 + 0.5 * cs[k].x * t.cam.focal / t.cam.aspect * iw[k]) * t.w;
        sy[k] = (0.5 - 0.5 * cs[k].y * t.cam.focal * iw[k]) * t.h;
    }
    double area = (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (sy[1] - sy[0]);
    if (std::fabs(area) < 1e-12) return;
    int x0 = std::max(0, static_cast<int>(std::floor(std::min({sx[0], sx[1], sx[2]}))));
    int x1 = std::min(t.w - 1, static_cast<int>(std::ceil(std::max({sx[0], sx[1], sx[2]}))));
    int y0 = std::max(0, static_cast<int>(std::floor(std::min({sy[0], sy[1], sy[2]}))));
    int y1 = std::min(t.h - 1, static_cast<int>(std::ceil(std::max({sy[0], sy[1], sy[2]}))));
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
            double px = x + 0.5, py = y + 0.5, b[3];
            for (int k = 0; k < 3; k++) {
                int i = (k + 1) % 3, j = (k + 2) % 3;
                b[k] = ((sx[j] - sx[i]) * (py - sy[i]) - (sy[j] - sy[i]) * (px - sx[i])) / area;
            }
            if (b[0] < 0 || b[1] < 0 || b[2] < 0) continue;
            double w = b[0] * iw[0] + b[1] * iw[1] + b[2] * iw[2];
            double z = 1 / w;
            size_t at = static_cast<size_t>(y) * t.w + x;
            if (z >= t.depth[at]) continue;
            t.depth[at] = z;
            double f[3] = {b[0] * iw[0] * z, b[1] * iw[1] * z, b[2] * iw[2] * z};
            V3 p = c[0].p * f[0] + c[1].p * f[1] + c[2].p * f[2];
            V3 n = c[0].n * f[0] + c[1].n * f[1] + c[2].n * f[2];
            t.px[at] = shade(t, m, p, n, c[0].s * f[0] + c[1].s * f[1] + c[2].s * f[2],
                             c[0].t * f[0] + c[1].t * f[1] + c[2].t * f[2]);
        }
}

// Clips a triangle against the near plane in camera space, then rasterizes.
void draw_triangle(Target &t, const Material &m, Corner a, Corner b, Corner c) {
    const double near = 0.05;
    Corner in[3] = {a, b, c};
    std::vector<Corner> poly;
    std::vector<V3> cam;
    for (int k = 0; k < 3; k++) {
        const Corner &p = in[k], &q = in[(k + 1) % 3];
        V3 cp = to_camera(t.cam, p.p), cq = to_camera(t.cam, q.p);
        if (cp.z >= near) {
            poly.push_back(p);
            cam.push_back(cp);
        }
        if ((cp.z >= near) != (cq.z >= near)) {
            double f = (near - cp.z) / (cq.z - cp.z);
            Corner r{p.p + (q.p - p.p) * f, p.n + (q.n - p.n) * f, p.s + (q.s - p.s) * f, p.t + (q.t - p.t) * f};
            poly.push_back(r);
            cam.push_back(to_camera(t.cam, r.p));
        }
    }
    for (size_t k = 1; k + 1 < poly.size(); k++) {
        Corner tri[3] = {poly[0], poly[k], poly[k + 1]};
        V3 tc[3] = {cam[0], cam[k], cam[k + 1]};
        raster_triangle(t, m, tri, tc);
    }
}

// Model coordinates to the picture's world: translation, then an optional
// quarter turn that stands the tree (modelled along +z) upright.
V3 place(const StaticModel &sm, const MeshVertex &v, bool z_up) {
    V3 p{v.px + sm.translation.x, v.py + sm.translation.y, v.pz + sm.translation.z};
    return z_up ? V3{p.x, p.z, -p.y} : p;
}

void draw_model(Target &t, ModelId id, const Material &m, bool z_up = false) {
    const StaticModel &sm = static_model(id);
    auto corner = [&](int32_t i, double s, double tt) {
        const MeshVertex &v = sm.vertices[i];
        V3 n{v.nx, v.ny, v.nz};
        if (z_up) n = {n.x, n.z, -n.y};
        return Corner{place(sm, v, z_up), n, s, tt};
    };
    for (int32_t i = 0; i < sm.tri_count; i++) {
        const int32_t *q = sm.tris + 3 * i;
        draw_triangle(t, m, corner(q[0], 0, 0), corner(q[1], 0, 0), corner(q[2], 0, 0));
    }
    for (int32_t i = 0; i < sm.quad_count; i++) {
        const int32_t *q = sm.quads + 4 * i;
        const double *uv = sm.quad_texcoords ? sm.quad_texcoords + 8 * i : nullptr;
        Corner c[4];
        for (int k = 0; k < 4; k++) c[k] = corner(q[k], uv ? uv[2 * k] : 0, uv ? uv[2 * k + 1] : 0);
        draw_triangle(t, m, c[0], c[1], c[2]);
        draw_triangle(t, m, c[0], c[2], c[3]);
    }
}

// A flat ring of triangles in a plane z = const: the film rolls and flanges
// that the room scene draws itself, approximated for the picture.
void draw_disc(Target &t, const Material &m, V3 centre, double r_in, double r_out) {
    const int n = 64;
    for (int k = 0; k < n; k++) {
        double a0 = 2 * PI * k / n, a1 = 2 * PI * (k + 1) / n;
        auto at = [&](double a, double r) { return Corner{centre + V3{r * std::cos(a), r * std::sin(a), 0}, {0, 0, 1}}; };
        if (r_in <= 0) {
            draw_triangle(t, m, Corner{centre, {0, 0, 1}}, at(a0, r_out), at(a1, r_out));
        } else {
            draw_triangle(t, m, at(a0, r_in), at(a0, r_out), at(a1, r_out));
            draw_triangle(t, m, at(a0, r_in), at(a1, r_out), at(a1, r_in));
        }
    }
}

void draw_quad(Target &t, const Material &m, V3 a, V3 b, V3 c, V3 d) {
    V3 n = cross(b - a, c - b);
    draw_triangle(t, m, {a, n}, {b, n}, {c, n});
    draw_triangle(t, m, {a, n}, {c, n}, {d, n});
}

Rgb rgb(double r, double g, double b) { return {r, g, b}; }

Material material_of(ModelId id) {
    switch (id) {
    case MODEL_PROJECTOR_BODY: return {rgb(1, 1, 1), true};
    case MODEL_REEL_ARM_REAR:
    case MODEL_REEL_ARM_FRONT: return {rgb(0.327, 0.285, 0.285)};
    case MODEL_BRACKET: return {rgb(0.218, 0.121, 0.121)};
    case MODEL_FILM_STRIP_LOWER:
    case MODEL_FILM_STRIP_UPPER: return {rgb(0.02, 0.02, 0.02), false, true};
    case MODEL_TABLE: return {rgb(0.441, 0.439, 0.542)};
    case MODEL_CURTAIN_1:
    case MODEL_CURTAIN_2:
    case MODEL_CURTAIN_3:
    case MODEL_CURTAIN_4:
    case MODEL_CURTAIN_5:
    case MODEL_CURTAIN_6: return {rgb(0.3311, 0.0756, 0.0413), false, false, 0};
    case MODEL_SCREEN_BORDER: return {rgb(0.05, 0.05, 0.05), false, true};
    case MODEL_JACK: return {rgb(0.4, 0.4, 0.4)};
    case MODEL_TREE: return {rgb(0.16, 0.3, 0.18)};
    default: return {rgb(0.5, 0.5, 0.5)};
    }
}

// The reels the room scene draws itself round the hubs: black film rolls
// between grey spoked flanges (their picture approximated by a rim, a hub and
// four spokes).
void draw_reels(Target &t) {
    const Material black{rgb(0, 0, 0), false, true}, flange{rgb(0.5, 0.5, 0.5)};
    const struct {
        double x, y, roll, flange;
    } reels[2] = {{-3.574, 5.092, 0.8, 1.4}, {1.086, 5.408, 1.8, 1.9}};
    for (const auto &r : reels) {
        draw_disc(t, black, {r.x, r.y, 0.419}, 0, r.roll);
        draw_disc(t, black, {r.x, r.y, 0.259}, 0, r.roll);
        for (double z : {0.429, 0.249}) {
            draw_disc(t, flange, {r.x, r.y, z}, r.flange * 0.9, r.flange);
            draw_disc(t, flange, {r.x, r.y, z}, 0, r.flange * 0.16);
            for (int k = 0; k < 4; k++) {
                double a = PI / 4 + k * PI / 2, c = std::cos(a), s = std::sin(a), w = r.flange * 0.07;
                V3 o{r.x, r.y, z}, along{c, s, 0}, across{-s * w, c * w, 0};
                draw_quad(t, flange, o + along * (r.flange * 0.1) - across, o + along * (r.flange * 0.92) - across,
                          o + along * (r.flange * 0.92) + across, o + along * (r.flange * 0.1) + across);
            }
        }
    }
}

// The whole room as the projector scene assembles it, lit by the lamp at the eye.
void draw_room(Target &t) {
    const ModelId lit[] = {MODEL_PROJECTOR_BODY, MODEL_REEL_ARM_REAR, MODEL_REEL_ARM_FRONT, MODEL_ROLLER_SMALL,
                           MODEL_ROLLER_LARGE,   MODEL_LENS_BARREL,   MODEL_BRACKET,        MODEL_FILM_STRIP_LOWER,
                           MODEL_FILM_STRIP_UPPER, MODEL_TABLE,        MODEL_CURTAIN_1,      MODEL_CURTAIN_2,
                           MODEL_CURTAIN_3,      MODEL_CURTAIN_4,     MODEL_CURTAIN_5,      MODEL_CURTAIN_6,
                           MODEL_SCREEN_BORDER};
    for (ModelId id : lit) draw_model(t, id, material_of(id));
    draw_reels(t);
    // The lens glow, facing the screen.
    const int n = 32;
    for (int k = 0; k < n; k++) {
        double a0 = 2 * PI * k / n, a1 = 2 * PI * (k + 1) / n;
        V3 c{1.56, 1.58, 0.339};
        draw_triangle(t, {rgb(0.85, 0.85, 0.8), false, true}, {c, {1, 0, 0}},
                      {c + V3{0, 0.25 * std::cos(a0), 0.25 * std::sin(a0)}, {1, 0, 0}},
                      {c + V3{0, 0.25 * std::cos(a1), 0.25 * std::sin(a1)}, {1, 0, 0}});
    }
    // The screen, lit by the film.
    draw_quad(t, {rgb(0.78, 0.8, 0.74), false, true}, {30, -2.65748031496063, -6.413385826771654},
              {30, 7.2637795275590555, -6.413385826771654}, {30, 7.2637795275590555, 6.814960629921259},
              {30, -2.65748031496063, 6.814960629921259});
}

struct Tile {
    Canvas picture;
    std::string label;
};

const int SS = 2;  // supersampling factor

Canvas finish(const Target &t) {
    Canvas c{t.w, t.h, t.px};
    return canvas_downsample(c, SS);
}

// Two studio views of one model, framed on its bounding sphere.
Canvas model_view(ModelId id, V3 from, int size, bool silhouette = false) {
    const StaticModel &sm = static_model(id);
    const bool z_up = id == MODEL_TREE;
    V3 lo{1e30, 1e30, 1e30}, hi{-1e30, -1e30, -1e30};
    for (int32_t i = 0; i < sm.vertex_count; i++) {
        V3 p = place(sm, sm.vertices[i], z_up);
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    V3 centre = (lo + hi) * 0.5;
    double radius = 0;
    for (int32_t i = 0; i < sm.vertex_count; i++) {
        V3 d = place(sm, sm.vertices[i], z_up) - centre;
        radius = std::max(radius, std::sqrt(dot(d, d)));
    }
    const double fov = 30;
    V3 eye = centre + unit(from) * (radius / std::sin(fov * PI / 360) * 1.05);
    Camera cam = look_at(eye, centre, {0, 1, 0}, fov, 1);
    Target t = target_make(size * SS, size * SS, silhouette ? rgb(1, 1, 1) : rgb(0.86, 0.86, 0.88), cam, Lighting::studio);
    Material m = material_of(id);
    if (silhouette) m = {rgb(0, 0, 0), false, true};
    draw_model(t, id, m, z_up);
    return finish(t);
}

void paste(Canvas &sheet, const Canvas &c, int x, int y) {
    for (int j = 0; j < c.h; j++)
        for (int i = 0; i < c.w; i++) canvas_at(sheet, x + i, y + j) = c.px[static_cast<size_t>(j) * c.w + i];
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: model_sheet <label-font> <out.png>\n");
        return 1;
    }
    int32_t stride;
    if (builtin_image_lookup(&skin_pixels, &skin_w, &skin_h, &stride, "proj_texture") != 0) {
        std::fprintf(stderr, "model_sheet: the image store has no proj_texture\n");
        return 1;
    }
    void *font = text_open_font(argv[1]);

    const int tile = 200, gap = 8, label_h = 18, cols = 6;
    std::vector<Tile> tiles;
    const V3 front{0.55, 0.35, 1}, back{-0.9, 0.55, -0.7};
    for (int i = 0; i < MODEL_COUNT; i++) {
        const ModelId id = static_cast<ModelId>(i);
        const StaticModel &sm = static_model(id);
        char counts[64];
        std::snprintf(counts, sizeof counts, "  %d/%d/%d", sm.tri_count, sm.quad_count, sm.vertex_count);
        tiles.push_back({model_view(id, front, tile), std::string(sm.name) + counts});
        tiles.push_back({model_view(id, back, tile), std::string(sm.name) + ", behind"});
        if (id == MODEL_TREE) tiles.push_back({model_view(id, {1, 0.05, 0}, tile, true), "tree, as the forest shows it"});
    }
    const int rows = (static_cast<int>(tiles.size()) + cols - 1) / cols;
    const int room_w = 800, room_h = 600;
    const int sheet_w = cols * (tile + gap) + gap;
    const int sheet_h = rows * (tile + label_h + gap) + gap + room_h + label_h + gap;
    Canvas sheet = canvas_make(sheet_w, sheet_h, rgb(0.16, 0.17, 0.19));
    const Rgb ink = rgb(0.92, 0.92, 0.92);
    for (size_t k = 0; k < tiles.size(); k++) {
        int x = gap + static_cast<int>(k % cols) * (tile + gap), y = gap + static_cast<int>(k / cols) * (tile + label_h + gap);
        canvas_blend(sheet, text_render(font, tiles[k].label.c_str(), 11.0, TextStyle{}), x, y + 2, ink);
        paste(sheet, tiles[k].picture, x, y + label_h);
    }
    int y = gap + rows * (tile + label_h + gap);
    // The room from the scene's camera with every knob at 0, and from above the table.
    const struct {
        V3 eye, target;
        double fov;
        const char *label;
    } rooms[2] = {{{0, 0, 10}, {0, 2, 0}, 40, "the room from the scene's camera"},
                  {{-9, 9, 9}, {8, 1, -2}, 62, "the room from above, towards the screen"}};
    for (int k = 0; k < 2; k++) {
        // The scene's view at its own size, the other at half size beside it.
        const int shrink = k == 0 ? 1 : 2;
        Camera cam = look_at(rooms[k].eye, rooms[k].target, {0, 1, 0}, rooms[k].fov, 4.0 / 3);
        Target t = target_make(room_w / shrink * SS, room_h / shrink * SS, rgb(0.1, 0.05, 0), cam, Lighting::eye_lamp);
        draw_room(t);
        int x = gap + k * (room_w + gap);
        canvas_blend(sheet, text_render(font, rooms[k].label, 11.0, TextStyle{}), x, y + 2, ink);
        paste(sheet, finish(t), x, y + label_h);
    }
    // The projector close up, beside the room: every part of it in place.
    {
        Camera cam = look_at({-4.2, 7.0, 12.5}, {-0.9, 3.5, 0}, {0, 1, 0}, 42, 4.0 / 3);
        Target t = target_make(room_w / 2 * SS, room_h / 2 * SS, rgb(0.86, 0.86, 0.88), cam, Lighting::studio);
        for (ModelId id : {MODEL_PROJECTOR_BODY, MODEL_REEL_ARM_REAR, MODEL_REEL_ARM_FRONT, MODEL_ROLLER_SMALL,
                           MODEL_ROLLER_LARGE, MODEL_LENS_BARREL, MODEL_BRACKET, MODEL_FILM_STRIP_LOWER,
                           MODEL_FILM_STRIP_UPPER})
            draw_model(t, id, material_of(id));
        draw_reels(t);
        const int x = gap + room_w + gap, yy = y + label_h + room_h / 2 + gap;
        canvas_blend(sheet, text_render(font, "the projector's parts in place", 11.0, TextStyle{}), x, yy + 2, ink);
        paste(sheet, finish(t), x, yy + label_h);
    }
    std::vector<uint8_t> rgb_bytes;
    canvas_append_rgb(rgb_bytes, sheet, false);
    if (png_write_rgb(argv[2], rgb_bytes.data(), sheet.w, sheet.h, "Quillmora model sheet") != 0) {
        std::fprintf(stderr, "model_sheet: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
