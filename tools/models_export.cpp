// quillmora-models: writes every static model of the show as a Wavefront OBJ
// file, so the models open in any 3D viewer.
//
//   quillmora-models -o DIR
//
// DIR/<name>.obj for each model: a first comment line with the model's
// translation, then its vertices in stored order (v lines, then vn lines, then
// for the projector body vt lines, four per quad in quad order), then its
// triangles and then its quads in stored order, 1-based. Every number is
// written in the shortest form that reads back as the same double, so the
// files hold exactly the embedded data (local coordinates).
#include "gfx/models.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

void put_number(std::string &out, double v)
{
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.push_back(' ');
    out.append(buf, r.ptr);
}

std::string obj_text(const StaticModel &m)
{
    std::string s = "# translation";
    for (double v : {m.translation.x, m.translation.y, m.translation.z}) put_number(s, v);
    s += "\n";
    for (int32_t i = 0; i < m.vertex_count; ++i) {
        s += "v";
        for (double v : {m.vertices[i].px, m.vertices[i].py, m.vertices[i].pz}) put_number(s, v);
        s += "\n";
    }
    for (int32_t i = 0; i < m.vertex_count; ++i) {
        s += "vn";
        for (double v : {m.vertices[i].nx, m.vertices[i].ny, m.vertices[i].nz}) put_number(s, v);
        s += "\n";
    }
    if (m.quad_texcoords)
        for (int32_t i = 0; i < 4 * m.quad_count; ++i) {
            s += "vt";
            put_number(s, m.quad_texcoords[2 * i]);
            put_number(s, m.quad_texcoords[2 * i + 1]);
            s += "\n";
        }
    for (int32_t i = 0; i < m.tri_count; ++i) {
        s += "f";
        for (int k = 0; k < 3; ++k) {
            const std::string v = std::to_string(m.tris[3 * i + k] + 1);
            s += ' ';
            s += v;
            s += "//";
            s += v;
        }
        s += "\n";
    }
    for (int32_t i = 0; i < m.quad_count; ++i) {
        s += "f";
        for (int k = 0; k < 4; ++k) {
            // Appended piece by piece: GCC's -O3 sees a false overlap
            // (-Wrestrict) inside libstdc++ in a chain of temporaries.
            const std::string v = std::to_string(m.quads[4 * i + k] + 1);
            s += ' ';
            s += v;
            if (m.quad_texcoords) {
                s += '/';
                s += std::to_string(4 * i + k + 1);
                s += '/';
            } else {
                s += "//";
            }
            s += v;
        }
        s += "\n";
    }
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3 || std::strcmp(argv[1], "-o") != 0) {
        std::fprintf(stderr, "usage: quillmora-models -o DIR\n");
        return 1;
    }
    const std::filesystem::path dir = argv[2];
    std::error_code err;
    std::filesystem::create_directories(dir, err);
    for (int i = 0; i < MODEL_COUNT; ++i) {
        const StaticModel &m = static_model(static_cast<ModelId>(i));
        const std::string path = (dir / (std::string(m.name) + ".obj")).string();
        const std::string text = obj_text(m);
        std::FILE *f = std::fopen(path.c_str(), "wb");
        bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
        if (f) ok = std::fclose(f) == 0 && ok;
        if (!ok) {
            std::fprintf(stderr, "quillmora-models: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
