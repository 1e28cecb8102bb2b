// quillmora-models: every model written as an OBJ file that reads back to
// exactly the embedded data, in stored order; and its refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gfx/models.h"

namespace {

std::filesystem::path scratch(const char *name)
{
    auto dir = std::filesystem::temp_directory_path() / (std::string("quill_models_") + name + "_" +
                                                         std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::remove_all(dir);
    return dir;
}

int run_tool(const std::string &args)
{
    const std::string cmd = std::string(QUILL_MODELS_TOOL) + " " + args + " 2>/dev/null";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Checks one OBJ file against the model, line by line.
void expect_obj_matches(const std::filesystem::path &file, const StaticModel &m)
{
    SCOPED_TRACE(m.name);
    std::ifstream in(file);
    ASSERT_TRUE(in) << file;
    std::string line, word;
    std::getline(in, line);
    {
        std::istringstream ls(line);
        double x, y, z;
        ls >> word;
        ls >> word;
        ASSERT_EQ(word, "translation");
        ls >> x >> y >> z;
        EXPECT_EQ(x, m.translation.x);
        EXPECT_EQ(y, m.translation.y);
        EXPECT_EQ(z, m.translation.z);
    }
    int v = 0, vn = 0, vt = 0, tri = 0, quad = 0;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        ls >> word;
        if (word == "v" || word == "vn") {
            // Read as text and converted with strtod: the value must come back exactly.
            std::string a, b, c;
            ls >> a >> b >> c;
            ASSERT_LT(word == "v" ? v : vn, m.vertex_count) << "too many " << word << " lines";
            const MeshVertex &mv = m.vertices[word == "v" ? v : vn];
            const double want[3] = {word == "v" ? mv.px : mv.nx, word == "v" ? mv.py : mv.ny, word == "v" ? mv.pz : mv.nz};
            ASSERT_EQ(std::strtod(a.c_str(), nullptr), want[0]) << line;
            ASSERT_EQ(std::strtod(b.c_str(), nullptr), want[1]) << line;
            ASSERT_EQ(std::strtod(c.c_str(), nullptr), want[2]) << line;
            ASSERT_EQ(tri + quad, 0) << "vertices after faces";
            (word == "v" ? v : vn)++;
            if (word == "v") {
                ASSERT_EQ(vn, 0) << "v after vn";
            }
        } else if (word == "vt") {
            std::string s, t;
            ls >> s >> t;
            ASSERT_NE(m.quad_texcoords, nullptr);
            ASSERT_LT(vt, 4 * m.quad_count) << "too many vt lines";
            ASSERT_EQ(std::strtod(s.c_str(), nullptr), m.quad_texcoords[2 * vt]);
            ASSERT_EQ(std::strtod(t.c_str(), nullptr), m.quad_texcoords[2 * vt + 1]);
            ++vt;
        } else if (word == "f") {
            std::vector<std::string> corners;
            while (ls >> word) corners.push_back(word);
            const bool is_tri = tri < m.tri_count;
            ASSERT_LT(quad, m.quad_count + (is_tri ? 1 : 0)) << "too many faces";
            ASSERT_EQ(corners.size(), is_tri ? 3u : 4u) << line;
            for (size_t k = 0; k < corners.size(); ++k) {
                const int32_t index = is_tri ? m.tris[3 * tri + k] : m.quads[4 * quad + k];
                const std::string i = std::to_string(index + 1);
                const std::string t = m.quad_texcoords && !is_tri ? std::to_string(4 * quad + k + 1) : "";
                ASSERT_EQ(corners[k], i + "/" + t + "/" + i) << line;
            }
            (is_tri ? tri : quad)++;
        } else {
            FAIL() << "unexpected line: " << line;
        }
    }
    EXPECT_EQ(v, m.vertex_count);
    EXPECT_EQ(vn, m.vertex_count);
    EXPECT_EQ(vt, m.quad_texcoords ? 4 * m.quad_count : 0);
    EXPECT_EQ(tri, m.tri_count);
    EXPECT_EQ(quad, m.quad_count);
}

TEST(ModelsExport, WritesEveryModelExactly)
{
    const auto dir = scratch("out");
    ASSERT_EQ(run_tool("-o " + dir.string()), 0);
    int files = 0;
    for (const auto &e : std::filesystem::directory_iterator(dir)) files += e.path().extension() == ".obj";
    EXPECT_EQ(files, MODEL_COUNT);
    for (int i = 0; i < MODEL_COUNT; ++i) {
        const StaticModel &m = static_model(static_cast<ModelId>(i));
        expect_obj_matches(dir / (std::string(m.name) + ".obj"), m);
    }
    std::filesystem::remove_all(dir);
}

TEST(ModelsExport, RefusesBadArgumentsAndUnwritablePlaces)
{
    EXPECT_EQ(run_tool(""), 1);
    EXPECT_EQ(run_tool("-x somewhere"), 1);
    // A directory that cannot exist: its parent is a plain file.
    const auto dir = scratch("blocked");
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "file") << "x";
    EXPECT_EQ(run_tool("-o " + (dir / "file" / "sub").string()), 1);
    std::filesystem::remove_all(dir);
}

} // namespace
