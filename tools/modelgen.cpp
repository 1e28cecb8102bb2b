// modelgen: builds every static model of the show from the recipes in
// data/models/ and writes what the library embeds.
//
//   modelgen <out-dir> <recipe files...>
//
// writes into out-dir (only when every model builds; a fault in a recipe is
// reported as "file:line: message" with status 1 and leaves older files alone):
//   models.bin         the models' vertices, indices and texture coordinates;
//   model_table.inc    one initializer per model for gfx/models.cpp.
#include "tools/model_build.h"

#include <cstdio>
#include <fstream>
#include <string>

static bool write_file(const std::string &path, const std::string &bytes) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: modelgen <out-dir> <recipe files...>\n");
        return 1;
    }
    std::string blob, table;
    try {
        std::vector<ModelRecipe> recipes;
        for (int i = 2; i < argc; i++) {
            std::vector<ModelRecipe> part = model_recipes_read(argv[i]);
            recipes.insert(recipes.end(), part.begin(), part.end());
        }
        std::vector<BuiltModel> models = build_models(recipes);
        blob = models_blob(models);
        table = models_table(models);
    } catch (const RecipeError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const std::string dir = argv[1];
    if (!write_file(dir + "/models.bin", blob) || !write_file(dir + "/model_table.inc", table)) {
        std::fprintf(stderr, "modelgen: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
