// The fir tree of the forest: a tapering trunk, tiers of four drooping limbs
// set with twigs, and a crown of shoots round the leader.
//
// Every part is a tube swept along a curve (mesh_tube): open where it grows
// out of its parent, closed by a fan at its tip, wound to face outwards, so
// the forest can cull back faces. The tree stands along +z from the ground.
// Small irregularities in lengths and angles come from a hash of the part's
// place in the tree and the recipe's seed, so the tree is the same every build.
#include "tools/model_build.h"

#include <cmath>
#include <cstdint>

const std::set<std::string> TREE_PARAM_FIELDS = {"trunk", "flare", "limbs", "twigs", "crown", "seed", "tier"};

namespace {

const double PI = std::acos(-1.0);

struct TreeRules {
    int trunk_sides = 6, trunk_segments = 1;
    double trunk_base = 0.1, trunk_top = 0.01, height = 1;
    double flare_height = 0, flare_scale = 1;
    int limb_sides = 8;
    double limb_width = 0.06, limb_flatness = 0.35;
    int twig_sides = 3;
    double twig_radius = 0.015;
    int crown_count = 0, crown_segments = 1;
    double crown_length = 0.2;
    uint64_t seed = 1;
};

struct Tier {
    const ModelLine *line;
    double height, length, rise, droop, turn;
    int limb_segments, pairs, twig_segments;
    double twig_length;
};

// A number in [-1, 1) from the seed and a part's place in the tree.
double jitter(uint64_t seed, uint64_t a, uint64_t b, uint64_t c) {
    uint64_t h = seed * 0x9E3779B97F4A7C15ull ^ (a + 1) * 0xBF58476D1CE4E5B9ull ^ (b + 7) * 0x94D049BB133111EBull ^
                 (c + 13) * 0xD6E8FEB86659FD93ull;
    h ^= h >> 30;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 27;
    h *= 0x94D049BB133111EBull;
    h ^= h >> 31;
    return static_cast<double>(h >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

// A tube along a polyline with ring frames that follow its tangent, e1 kept
// as level as the curve allows (so flat cross-sections lie flat), radii
// shrinking from r0 to r1, the tip a little beyond the last point. The open
// first ring is pinched to a third, so it hides inside the part it grows from.
void sweep(Mesh &m, const std::vector<P3> &path, double rx0, double rx1, double ry0, double ry1, int sides,
           double tip_extra) {
    std::vector<RingFrame> frames;
    std::vector<double> rx, ry;
    const size_t n = path.size();
    for (size_t i = 0; i < n; i++) {
        P3 t = unit(path[std::min(i + 1, n - 1)] - path[i > 0 ? i - 1 : 0]);
        P3 level = cross(P3{0, 0, 1}, t);
        if (length(level) < 1e-6) level = {1, 0, 0};
        RingFrame f;
        f.axis = t;
        f.e1 = unit(level);
        f.e2 = cross(f.axis, f.e1);
        frames.push_back(f);
        double u = static_cast<double>(i) / (n - 1), pinch = i == 0 ? 1.0 / 3 : 1.0;
        rx.push_back((rx0 + (rx1 - rx0) * u) * pinch);
        ry.push_back((ry0 + (ry1 - ry0) * u) * pinch);
    }
    P3 t_end = unit(path[n - 1] - path[n - 2]);
    mesh_tube(m, path, frames, rx, ry, sides, PI / sides, path[n - 1] + t_end * tip_extra);
}

void parse_rules(const std::vector<ModelLine> &params, TreeRules *r, std::vector<Tier> *tiers) {
    bool have_trunk = false;
    for (const ModelLine &l : params) {
        if (l.field == "trunk") {
            recipe_want(l, 5);
            r->trunk_sides = recipe_int(l, 0);
            r->trunk_segments = recipe_int(l, 1);
            r->trunk_base = recipe_number(l, 2);
            r->trunk_top = recipe_number(l, 3);
            r->height = recipe_number(l, 4);
            if (r->trunk_sides < 3 || r->trunk_segments < 1 || r->height <= 0)
                recipe_fail(l, "a trunk needs three sides, a segment and a height");
            have_trunk = true;
        } else if (l.field == "flare") {
            recipe_want(l, 2);
            r->flare_height = recipe_number(l, 0);
            r->flare_scale = recipe_number(l, 1);
        } else if (l.field == "limbs") {
            recipe_want(l, 3);
            r->limb_sides = recipe_int(l, 0);
            r->limb_width = recipe_number(l, 1);
            r->limb_flatness = recipe_number(l, 2);
            if (r->limb_sides < 3) recipe_fail(l, "limbs need three sides");
        } else if (l.field == "twigs") {
            recipe_want(l, 2);
            r->twig_sides = recipe_int(l, 0);
            r->twig_radius = recipe_number(l, 1);
            if (r->twig_sides < 3) recipe_fail(l, "twigs need three sides");
        } else if (l.field == "crown") {
            recipe_want(l, 3);
            r->crown_count = recipe_int(l, 0);
            r->crown_length = recipe_number(l, 1);
            r->crown_segments = recipe_int(l, 2);
            if (r->crown_count < 0 || r->crown_segments < 1) recipe_fail(l, "a crown needs a count and segments");
        } else if (l.field == "seed") {
            recipe_want(l, 1);
            r->seed = static_cast<uint64_t>(recipe_int(l, 0));
        } else if (l.field == "tier") {
            recipe_want(l, 9);
            Tier t{&l,
                   recipe_number(l, 0),
                   recipe_number(l, 1),
                   recipe_number(l, 2),
                   recipe_number(l, 3),
                   recipe_number(l, 4) * PI / 180,
                   recipe_int(l, 5),
                   recipe_int(l, 6),
                   recipe_int(l, 7),
                   recipe_number(l, 8)};
            if (t.limb_segments < 1 || t.pairs < 0 || t.twig_segments < 1 || t.length <= 0)
                recipe_fail(l, "a tier needs a length, limb segments, twig pairs and twig segments");
            tiers->push_back(t);
        }
    }
    (void)have_trunk;
}

}  // namespace

// tree ; trunk <sides> <segments> <base radius> <top radius> <height> ;
// flare <height> <scale> ; limbs <sides> <half-width> <flatness> ;
// twigs <sides> <radius> ; crown <count> <length> <segments> ; seed <n> ;
// tier <height> <length> <rise> <droop> <turn> <limb segments> <twig pairs>
//      <twig segments> <twig length>   (one line per tier)
void build_tree(Mesh &m, const ModelLine &head, const std::vector<ModelLine> &params) {
    recipe_want(head, 0);
    TreeRules r;
    std::vector<Tier> tiers;
    bool trunk = false;
    for (const ModelLine &l : params) trunk = trunk || l.field == "trunk";
    if (!trunk) recipe_fail(head, "a tree needs a trunk line");
    parse_rules(params, &r, &tiers);

    // The trunk: rings from the ground up, flaring at the root, to the tip.
    std::vector<P3> path;
    std::vector<RingFrame> frames;
    std::vector<double> rad;
    const double top_ring = r.height * 0.97;
    for (int i = 0; i <= r.trunk_segments; i++) {
        double u = static_cast<double>(i) / r.trunk_segments, z = top_ring * u;
        double radius = r.trunk_base + (r.trunk_top - r.trunk_base) * u;
        if (r.flare_height > 0 && z < r.flare_height) {
            double f = 1 - z / r.flare_height;
            radius *= 1 + (r.flare_scale - 1) * f * f;
        }
        path.push_back({0, 0, z});
        frames.push_back(ring_frame({0, 0, 1}, {1, 0, 0}));
        rad.push_back(radius);
    }
    mesh_tube(m, path, frames, rad, rad, r.trunk_sides, 0, {0, 0, r.height});

    // The tiers: four limbs each, turned by the tier's angle, each along a
    // curve that rises a little from the trunk and droops towards its tip.
    for (size_t k = 0; k < tiers.size(); k++) {
        const Tier &t = tiers[k];
        for (int j = 0; j < 4; j++) {
            const double ang = t.turn + j * PI / 2 + 0.12 * jitter(r.seed, k, j, 0);
            const double len = t.length * (1 + 0.03 * jitter(r.seed, k, j, 1));
            const P3 out{std::cos(ang), std::sin(ang), 0}, side{-out.y, out.x, 0};
            auto limb_at = [&](double s) {
                return P3{0, 0, t.height} + out * (0.02 + len * s) + P3{0, 0, len * (t.rise * s - t.droop * s * s)};
            };
            std::vector<P3> limb;
            for (int i = 0; i <= t.limb_segments; i++) limb.push_back(limb_at(static_cast<double>(i) / t.limb_segments));
            const double w = r.limb_width * std::sqrt(len / tiers[0].length);
            sweep(m, limb, w, w * 0.15, w * r.limb_flatness, w * 0.15 * r.limb_flatness, r.limb_sides, 0.04 * len);

            // Twigs in pairs along the limb, reaching forwards and out to
            // both sides and hanging down, shorter towards the tip.
            for (int p = 0; p < t.pairs; p++) {
                const double s = (p + 0.7) / (t.pairs + 0.3);
                const P3 root = limb_at(s);
                for (int sd = -1; sd <= 1; sd += 2) {
                    const double jl = jitter(r.seed, k * 4 + j, p, sd + 2), ja = jitter(r.seed, k * 4 + j, p, sd + 5);
                    const double tl = t.twig_length * (1 - 0.5 * s) * (1 + 0.15 * jl);
                    const double hang = 0.5 + 0.3 * (p % 2) + 0.1 * ja;
                    const P3 d0 = unit(out * 0.6 + side * (0.7 * sd) + P3{0, 0, -hang});
                    std::vector<P3> twig;
                    for (int i = 0; i <= t.twig_segments; i++) {
                        double u = static_cast<double>(i) / t.twig_segments;
                        twig.push_back(root + d0 * (tl * u) + P3{0, 0, -0.25 * tl * u * u});
                    }
                    const double tr = r.twig_radius * (0.6 + 0.4 * (1 - s));
                    sweep(m, twig, tr, tr * 0.35, tr, tr * 0.35, r.twig_sides, 0.06 * tl);
                }
            }
        }
    }

    // The crown: short shoots round the leader just below the tip, reaching up.
    for (int c = 0; c < r.crown_count; c++) {
        const double ang = 2 * PI * c / r.crown_count + 0.3 * jitter(r.seed, 99, c, 0);
        const P3 out{std::cos(ang), std::sin(ang), 0};
        const P3 root{0, 0, r.height - 1.6 * r.crown_length};
        std::vector<P3> shoot;
        for (int i = 0; i <= r.crown_segments; i++) {
            double u = static_cast<double>(i) / r.crown_segments;
            shoot.push_back(root + out * (0.45 * r.crown_length * u) + P3{0, 0, r.crown_length * (0.9 * u - 0.3 * u * u)});
        }
        sweep(m, shoot, r.twig_radius, r.twig_radius * 0.35, r.twig_radius, r.twig_radius * 0.35, r.twig_sides,
              0.08 * r.crown_length);
    }
}
